#include "dialogs/field_titles_dialog.h"

#include <algorithm>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "resources/resource.h"
#include "store/field_title_list.h"

int titleDialogField = 1;
const WCHAR kNewTitleEntry[] = L" Neu\u2026";

namespace {

const WCHAR kCaptionStart[] = L"Titel f\u00fcr Feld ";

NameList &FieldList() { return TitleListOf(titleDialogField); }

void FillTitleListBox(HWND hDlg) {
    FieldList().fillControl(GetDlgItem(hDlg, IDC_TITLE_LIST), LB_RESETCONTENT, LB_ADDSTRING);
}

// Delete is enabled exactly while a title is selected.
void UpdateDeleteButton(HWND hDlg) {
    HWND list = GetDlgItem(hDlg, IDC_TITLE_LIST);
    BOOL selected = SendMessageW(list, LB_GETCOUNT, 0, 0) > 0 &&
                    SendMessageW(list, LB_GETCURSEL, 0, 0) != LB_ERR;
    EnableWindow(GetDlgItem(hDlg, IDC_TITLE_DELETE), selected);
}

void OnInit(HWND hDlg, LPARAM field) {
    titleDialogField = field >= 1 && field <= 3 ? static_cast<int>(field) : 1;
    AddCaptionButtons(hDlg);
    WCHAR caption[32];
    wsprintfW(caption, L"%s%d", kCaptionStart, titleDialogField);
    SetWindowTextW(hDlg, caption);
    FillTitleListBox(hDlg);
    KeepDialogOnScreen(hDlg);
}

void OnAdd(HWND hDlg) {
    WCHAR title[256] = {};
    GetDlgItemTextW(hDlg, IDC_TITLE_NEW, title, 255);
    FieldList().addName(title);
    FillTitleListBox(hDlg);
    UpdateDeleteButton(hDlg);
    SetDlgItemTextW(hDlg, IDC_TITLE_NEW, L"");
    SetFocus(GetDlgItem(hDlg, IDC_TITLE_NEW));
}

void OnDelete(HWND hDlg) {
    HWND list = GetDlgItem(hDlg, IDC_TITLE_LIST);
    int index = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
    if (index == LB_ERR) return;
    FieldList().deleteAt(index);
    FillTitleListBox(hDlg);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    if (count > 0)
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(std::min(index, count - 1)), 0);
    SetFocus(list);
    // The list may have had the focus already, so its notification does not come.
    UpdateDeleteButton(hDlg);
}

}  // namespace

NameList &TitleListOf(int field) {
    switch (field) {
    case 2: return titleList2;
    case 3: return titleList3;
    default: return titleList1;
    }
}

void FillTitlePicker(HWND combo, int field) {
    TitleListOf(field).fillControl(combo, CB_RESETCONTENT, CB_ADDSTRING);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kNewTitleEntry));
}

void StripLeadingBlanks(HWND edit, WCHAR *text) {
    text[0] = 0;
    GetWindowTextW(edit, text, 256);
    int skip = 0;
    while (text[skip] && text[skip] <= L' ') ++skip;
    if (skip == 0) return;
    MoveMemory(text, text + skip, (lstrlenW(text + skip) + 1) * sizeof(WCHAR));
    // Setting the text notifies again; that nested round sees the stripped text and decides the
    // same as this one.
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    int length = lstrlenW(text);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
}

void KeepDialogOnScreen(HWND hDlg) {
    RECT work, rc;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) || !GetWindowRect(hDlg, &rc)) return;
    int width = std::min(rc.right - rc.left, work.right - work.left);
    int height = std::min(rc.bottom - rc.top, work.bottom - work.top);
    int x = std::clamp(static_cast<int>(rc.left), static_cast<int>(work.left),
                       static_cast<int>(work.right) - width);
    int y = std::clamp(static_cast<int>(rc.top), static_cast<int>(work.top),
                       static_cast<int>(work.bottom) - height);
    if (x != rc.left || y != rc.top || width != rc.right - rc.left || height != rc.bottom - rc.top)
        SetWindowPos(hDlg, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR RunFieldTitlesDialog(HINSTANCE /*hInstance*/, HWND owner, int field) {
    return RunDialog(owner, IDD_FIELD_TITLES, FieldTitlesDlgProc, field);
}

BOOL TitleEditNotify(HWND hDlg, WPARAM wParam, LPARAM /*lParam*/) {
    if (HIWORD(wParam) != EN_CHANGE) return FALSE;
    WCHAR title[256];
    StripLeadingBlanks(GetDlgItem(hDlg, IDC_TITLE_NEW), title);
    BOOL canAdd = title[0] && !FieldList().findName(title);
    EnableWindow(GetDlgItem(hDlg, IDC_TITLE_ADD), canAdd);
    return TRUE;
}

BOOL TitleListNotify(HWND hDlg, WPARAM wParam, LPARAM /*lParam*/) {
    switch (HIWORD(wParam)) {
    case LBN_SELCHANGE:
    case LBN_SETFOCUS:
    case LBN_KILLFOCUS: UpdateDeleteButton(hDlg); return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK FieldTitlesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (DialogKitMessage(hDlg, message, wParam, lParam,
                         kKitIdle | kKitColours | kKitListColours | kKitSettingChange, kHelpTitles,
                         &result))
        return result;
    switch (message) {
    case WM_INITDIALOG: OnInit(hDlg, lParam); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_TITLE_NEW: return TitleEditNotify(hDlg, wParam, lParam);
        case IDC_TITLE_LIST: return TitleListNotify(hDlg, wParam, lParam);
        case IDC_TITLE_ADD: OnAdd(hDlg); return TRUE;
        case IDC_TITLE_DELETE: OnDelete(hDlg); return TRUE;
        case IDOK:
        case IDCANCEL:
            MergeNamesFromObjects();
            EndDialog(hDlg, 1);
            return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}
