#include "crypto/password_dialogs.h"

#include "app/shell.h"

// Will check the old password, take the new one twice and replace the store's key material.
INT_PTR CALLBACK ChangePasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}
