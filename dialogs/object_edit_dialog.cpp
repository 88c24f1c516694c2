#include "dialogs/object_edit_dialog.h"

// Will edit or create the object (fields, category, titles, encrypt flag) and write it on OK.
INT_PTR CALLBACK ObjectEditDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
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
