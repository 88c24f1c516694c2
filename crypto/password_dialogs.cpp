#include "crypto/password_dialogs.h"

#include "app/shell.h"

// Will ask for the store's password and hand it to setPassword.
INT_PTR CALLBACK EnterPasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}

// Will take a new password twice and hand it to setPassword.
INT_PTR CALLBACK SetPasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}

// Will check the old password, take the new one twice and replace the store's key material.
INT_PTR CALLBACK ChangePasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}
