#include "crypto/password_dialogs.h"

// Will check the old password, take the new one twice and replace the store's key material.
INT_PTR CALLBACK ChangePasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
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
