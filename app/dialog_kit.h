// What every dialog of the program shares, so that a dialog procedure holds only what is its own:
// its template from the resources, the auto-quit idle rule, the colours of the settings, the help
// viewer with an anchor and the caption buttons.
//
// A dialog procedure starts with
//     INT_PTR result;
//     if (DialogKitMessage(hDlg, message, wParam, lParam, kKitIdle | kKitColours, L"new", &result))
//         return result;
// and then switches on the messages that are its own.
#pragma once

#include <windows.h>

// Timer 1 is the auto-quit timer, of the main window and of every dialog that follows the idle
// rule.
constexpr UINT_PTR kIdleTimerId = 1;

// The help anchors of the program's windows; every one of them is a section of the help file.
extern const WCHAR kHelpMain[];            // "arkel_help": the main window
extern const WCHAR kHelpNew[];             // "new": the object edit dialog creating an object
extern const WCHAR kHelpModify[];          // "modify": the object edit dialog editing an object
extern const WCHAR kHelpPassword[];        // "password": the three password dialogs
extern const WCHAR kHelpSettings[];        // "settings": the preferences dialog
extern const WCHAR kHelpCategories[];      // "categories": the categories dialog
extern const WCHAR kHelpTitles[];          // "titles": the field titles dialog
extern const WCHAR kHelpAbout[];           // "about": the About box
extern const WCHAR kHelpSearch[];          // "search": the search box of the main window
extern const WCHAR kHelpGenerator[];       // "generator": the password generator
extern const WCHAR *const kHelpAnchors[];  // all of the above, ended by nullptr

// What DialogKitMessage does for a dialog.
enum DialogKitRules : unsigned {
    // At every message re-arm timer 1 while auto-quit is on; on WM_TIMER, while auto-quit is on
    // and no other window of the program is active (a message box, a nested dialog), set the
    // period to 1 and end the dialog with 1, so that the main window quits at once.
    kKitIdle = 1,
    // Static texts in clrWindowText on clrWindowBack, the dialog's background in that brush.
    kKitColours = 2,
    // WM_SETTINGCHANGE answered with TRUE and nothing else.
    kKitSettingChange = 4,
    // List boxes in clrListText on clrListBack, as the main window's list (the categories and
    // field titles dialogs); without it they keep the system colours.
    kKitListColours = 8,
};

// Whether a WM_TIMER of a dialog following kKitIdle ends it now: auto-quit is on and no other
// window of the program is active. A dialog that must keep something through an idle lock looks
// before the kit ends it.
bool IdleTimerEnds(HWND hDlg);
// Whether the idle time locks the vault instead of ending the program (the preference is on and
// a lock is possible). Defined with the lock (app/lock.cpp).
bool IdleLocks();

// Handles the messages that the kit owns for a dialog following the given rules; helpAnchor, when
// not null, is started in the help viewer on WM_HELP. Returns true when the message was the kit's,
// with the dialog procedure's answer in *result; false when the dialog handles it itself.
bool DialogKitMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam, unsigned rules,
                      const WCHAR *helpAnchor, INT_PTR *result);

// The colour answer of the dialogs (WM_CTLCOLORSTATIC and WM_CTLCOLORDLG in the window colours,
// WM_CTLCOLORLISTBOX in the list colours); 0 for other messages.
INT_PTR DialogColour(UINT message, WPARAM wParam);

// The colour text is drawn in on the background: the chosen one, unless it is (nearly) the
// background's own, as when every colour is set to 0; then black or white, whichever shows.
COLORREF ReadableTextColor(COLORREF text, COLORREF back);

// The dialog template of the program's resources, exactly as stored; nullptr when it is missing.
LPCDLGTEMPLATEW LoadDialogTemplate(int templateId);

// Runs a modal dialog from its stored template with the given owner (may be null), without the
// main window's timer and focus steps of RunDialog. -1 when the template is missing.
INT_PTR ShowDialog(HWND owner, int templateId, DLGPROC dlgProc, LPARAM param);

// Creates a modeless dialog from its stored template without owner; nullptr on failure.
HWND CreateModelessDialog(int templateId, DLGPROC dlgProc, LPARAM param);

// Adds the OK and help buttons to the dialog's caption (WS_EX_CAPTIONOKBTN, WS_EX_CONTEXTHELP).
void AddCaptionButtons(HWND hDlg);

// Starts the help viewer PegHelp.exe, which lies beside the program, at an anchor of the help file
// "arkel.htp" (its command line is "arkel.htp#anchor"). Nothing is reported when it cannot start.
void StartHelp(const WCHAR *anchor);

// The folder of the running program with a trailing backslash, for files shipped beside it.
void ProgramFolder(WCHAR *out, DWORD size);
