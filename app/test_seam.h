// The test seam of the shell: the hooks that only tests set, kept apart from the shell's code.
// The shell reads the clock and the screen's work area only through these pointers, so that a
// test can move the clock or give the screen another shape without touching the machine's; each
// one starts as the real call, and the program itself never changes it.
#pragma once

#include <windows.h>

// The system time as a FILETIME value (100-ns units, UTC). Starts as ReadSystemTime.
extern ULONGLONG (*ShellSystemTime)();
ULONGLONG ReadSystemTime();

// The work area (SPI_GETWORKAREA); FALSE when unreadable. Starts as ReadWorkArea.
extern BOOL (*ShellWorkArea)(RECT *work);
BOOL ReadWorkArea(RECT *work);

// For tests of the dialog kit: a dialog procedure that opens and closes with OK (result 1) or
// Cancel (result 0) and does nothing else. The program runs no dialog on it.
INT_PTR CALLBACK PendingDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
