// The About box: name and version, the maker's notices, two icons and the number of objects.
#include <windows.h>

#include "app/shell.h"
#include "resources/resource.h"
#include "store/object_store.h"

namespace {

const WCHAR kVersion[] = L" 3.01";

void SetItemFont(HWND hDlg, int id, HFONT font) {
    SendDlgItemMessageW(hDlg, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (autoQuitActive) SetTimer(hDlg, 1, autoQuitPeriod, nullptr);
    switch (message) {
    case WM_INITDIALOG: {
        SetItemFont(hDlg, IDC_ABOUT_VERSION, hBoldFont);
        SetItemFont(hDlg, IDC_ABOUT_NOTICE, hNormalFont);
        SetItemFont(hDlg, IDC_ABOUT_RIGHTS, hNormalFont);
        SetItemFont(hDlg, IDC_ABOUT_COUNT, hNormalFont);
        WCHAR line[64];
        lstrcpyW(line, kAppTitle);
        lstrcatW(line, kVersion);
        SetDlgItemTextW(hDlg, IDC_ABOUT_VERSION, line);
        int count = objectStore.recordCount();
        line[0] = 0;
        if (count != 0) {
            wsprintfW(line, L"%d ", count);
            lstrcatW(line, count == 1 ? L"Datensatz" : L"Datens\u00e4tze");
        }
        SetDlgItemTextW(hDlg, IDC_ABOUT_COUNT, line);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, 1);
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        // Left open past the idle time: close, and the main window ends the program at once.
        {
            HWND active = GetActiveWindow();
            if ((active && active != hDlg) || !autoQuitActive) return TRUE;
        }
        autoQuitPeriod = 1;
        EndDialog(hDlg, 1);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        SetTextColor(reinterpret_cast<HDC>(wParam), clrWindowText);
        SetBkColor(reinterpret_cast<HDC>(wParam), clrWindowBack);
        return reinterpret_cast<INT_PTR>(hbrWindowBack);
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(hbrWindowBack);
    default: return FALSE;
    }
}
