// The password dialogs (templates 113, 115, 116); each hands an accepted password to the store.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ChangePasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
