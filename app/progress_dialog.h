// The progress window of the long passes (legacy conversion, bulk encryption, export, import):
// the modeless dialog 114 with a progress bar and one line of text. A pass dispatches no messages
// while it runs, so the helpers below repaint what they change at once.
#pragma once

#include <windows.h>

// The dialog procedure of template 114: it only applies the dialog colours of the settings.
INT_PTR CALLBACK ProgressDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the progress window from template 114 without owner (visible, centred), sets the bar's
// range to 0..total and the caption. Returns the window, or nullptr when it cannot be created;
// the other helpers accept nullptr and do nothing.
HWND OpenProgressWindow(const WCHAR *caption, int total);

// Sets the text to "%d von %d" filled with done and total and repaints it.
void SetProgressText(HWND hProgress, int done, int total);

// Moves the bar to position and repaints it.
void SetProgressPosition(HWND hProgress, int position);

void CloseProgressWindow(HWND hProgress);
