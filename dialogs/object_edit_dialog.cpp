#include "dialogs/object_edit_dialog.h"

#include "app/shell.h"

// Will edit or create the object (fields, category, titles, encrypt flag) and write it on OK.
INT_PTR CALLBACK ObjectEditDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}
