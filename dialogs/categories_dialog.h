// The categories dialog (template 110).
#pragma once

#include <windows.h>

INT_PTR RunCategoriesDialog(HINSTANCE hInstance, HWND owner);
INT_PTR CALLBACK CategoriesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
