// The OK button in dialog captions (WS_EX_CAPTIONOKBTN) for desktop Windows.
//
// Windows CE dialogs ask for an OK button in their caption with the extended style
// WS_EX_CAPTIONOKBTN, usually set in WM_INITDIALOG:
//     SetWindowLongW(hDlg, GWL_EXSTYLE,
//                    GetWindowLongW(hDlg, GWL_EXSTYLE) | WS_EX_CAPTIONOKBTN | WS_EX_CONTEXTHELP);
// Desktop Windows has no such style. InstallCaptionButtons, called once at start-up on the UI
// thread, installs a thread hook (WH_CBT) that subclasses every dialog of that thread at its
// creation and so watches its WM_INITDIALOG and WM_STYLECHANGED; other windows and their
// messages are not touched. A dialog (class #32770) with a caption that
// carries WS_EX_CAPTIONOKBTN gets, with no further code of its own:
// - an "OK" button drawn in the caption, left of the help ("?") and close buttons, so that the
//   dialog's items keep their template positions;
// - hit testing and a pressed look: pressing the left mouse button on it and releasing it there
//   sends WM_COMMAND (wParam IDOK, lParam 0) to the dialog, like a press of an OK button.
// The frame is redrawn when the style is set, so a WS_EX_CONTEXTHELP added at the same time shows
// its "?" button too on Windows (Wine draws none; the OK button then takes its place). F1 and the
// "?" button reach the dialog as WM_HELP, as on the desktop. Clearing the style again removes
// the button. Dialogs without a caption get no button.
#pragma once

#include <windows.h>

#define WS_EX_CAPTIONOKBTN 0x80000000L

// Installs the hook for the calling thread; 0 on success (also when already installed).
int InstallCaptionButtons();
// Removes the hook of the calling thread (dialogs already equipped keep their button).
void RemoveCaptionButtons();
// The OK button's rectangle in screen coordinates; FALSE when hDlg has none.
BOOL GetCaptionOkButtonRect(HWND hDlg, RECT *rc);
