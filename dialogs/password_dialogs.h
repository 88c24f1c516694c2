// The password dialogs (templates 113, 115, 116); each hands an accepted password to the object
// store's setPassword and ends with 1, or ends with 0 when the user cancels (the key material is
// then unchanged). The creation parameter is the window title (const WCHAR *) or 0 for
// "The Arkel"; the change-password dialog always shows "The Arkel".
//
// Run them from their templates with the kit: ShowDialog(owner, IDD_SET_PASSWORD,
// SetPasswordDlgProc, reinterpret_cast<LPARAM>(title)).
#pragma once

#include <windows.h>

INT_PTR CALLBACK EnterPasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SetPasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ChangePasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
