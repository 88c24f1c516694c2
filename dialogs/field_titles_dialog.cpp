#include "dialogs/field_titles_dialog.h"

#include "app/shell.h"
#include "resources/resource.h"

INT_PTR RunFieldTitlesDialog(HINSTANCE /*hInstance*/, HWND owner, int field) {
    return RunDialog(owner, IDD_FIELD_TITLES, FieldTitlesDlgProc, field);
}

// Will add titles to and delete titles from the title list of the field it was opened for.
INT_PTR CALLBACK FieldTitlesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    return PendingDlgProc(hDlg, message, wParam, lParam);
}
