#include "dialogs/categories_dialog.h"

#include "app/shell.h"
#include "resources/resource.h"

INT_PTR RunCategoriesDialog(HINSTANCE /*hInstance*/, HWND owner) {
    return RunDialog(owner, IDD_CATEGORIES, CategoriesDlgProc, 0);
}

// Will add and delete categories and edit their default titles and encrypt flag.
INT_PTR CALLBACK CategoriesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}
