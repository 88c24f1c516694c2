// The About box: name and version, the maker's notices, two icons and the number of objects.
#include <windows.h>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "resources/resource.h"
#include "store/object_store.h"

namespace {

const WCHAR kVersion[] = L" 3.01";

void SetItemFont(HWND hDlg, int id, HFONT font) {
    SendDlgItemMessageW(hDlg, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (DialogKitMessage(hDlg, message, wParam, lParam, kKitIdle | kKitColours, kHelpAbout,
                         &result))
        return result;
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
    default: return FALSE;
    }
}
