#include "prefs/preferences_dialog.h"

#include "app/shell.h"

// Will switch encryption and the auto-quit period and write them to the settings on OK.
INT_PTR CALLBACK PreferencesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}
