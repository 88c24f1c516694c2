#include "app/progress_dialog.h"

#include <commctrl.h>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "resources/resource.h"

INT_PTR CALLBACK ProgressDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (DialogKitMessage(hDlg, message, wParam, lParam, kKitColours, nullptr, &result))
        return result;
    switch (message) {
    case WM_INITDIALOG: return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, 1);
            return 1;
        }
        return 0;
    default: return 0;
    }
}

HWND OpenProgressWindow(const WCHAR *caption, int total) {
    HWND hProgress = CreateModelessDialog(IDD_PROGRESS, ProgressDlgProc, 0);
    if (!hProgress) return nullptr;
    HWND bar = GetDlgItem(hProgress, IDC_PROGRESS_BAR);
    if (total < 0) total = 0;
    if (total <= 0xFFFF)
        SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, total));
    else
        SendMessageW(bar, PBM_SETRANGE32, 0, total);
    SetWindowTextW(hProgress, caption);
    // Nothing is dispatched while the pass runs: paint the frame and the controls now.
    RedrawWindow(hProgress, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return hProgress;
}

void SetProgressText(HWND hProgress, int done, int total) {
    if (!hProgress) return;
    WCHAR text[64];
    wsprintfW(text, L"%d von %d", done, total);
    HWND item = GetDlgItem(hProgress, IDC_PROGRESS_TEXT);
    SetWindowTextW(item, text);
    UpdateWindow(item);
}

void SetProgressPosition(HWND hProgress, int position) {
    if (!hProgress) return;
    HWND bar = GetDlgItem(hProgress, IDC_PROGRESS_BAR);
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    UpdateWindow(bar);
}

void CloseProgressWindow(HWND hProgress) {
    if (hProgress) DestroyWindow(hProgress);
}
