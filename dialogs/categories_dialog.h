// The categories dialog (template 110): adds and deletes categories and edits, per category, the
// three default titles and the default-encrypt flag. Every change is written at once.
#pragma once

#include <windows.h>

INT_PTR RunCategoriesDialog(HINSTANCE hInstance, HWND owner);
INT_PTR CALLBACK CategoriesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
// The handlers of the dialog's edit (1038) and list (1039) commands.
BOOL CategoryEditNotify(HWND hDlg, WPARAM wParam, LPARAM lParam);
BOOL CategoryListNotify(HWND hDlg, WPARAM wParam, LPARAM lParam);
