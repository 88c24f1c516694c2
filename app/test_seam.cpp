#include "app/test_seam.h"

ULONGLONG (*ShellSystemTime)() = ReadSystemTime;
BOOL (*ShellWorkArea)(RECT *work) = ReadWorkArea;

INT_PTR CALLBACK PendingDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hDlg, LOWORD(wParam) == IDOK ? 1 : 0);
        return TRUE;
    }
    return FALSE;
}
