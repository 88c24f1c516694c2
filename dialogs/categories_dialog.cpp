#include "dialogs/categories_dialog.h"

#include <algorithm>
#include <cwchar>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "dialogs/field_titles_dialog.h"
#include "resources/resource.h"
#include "store/name_list.h"
#include "store/object_store.h"

namespace {

const WCHAR kEncryptQuestion[] =
    L"Soll die Verschl\u00fcsselung auch f\u00fcr die bereits vorhandenen Objekte der Kategorie %s "
    L"%saktiviert werden?";

const int kTitleCombos[3] = {IDC_CATEGORY_TITLE1, IDC_CATEGORY_TITLE2, IDC_CATEGORY_TITLE3};
const int kTitleLabels[3] = {IDC_CATEGORY_TITLE1_LABEL, IDC_CATEGORY_TITLE2_LABEL,
                             IDC_CATEGORY_TITLE3_LABEL};
const WCHAR *const kDefaultTitles[3] = {kDefaultTitle1, kDefaultTitle2, kDefaultTitle3};

bool IsFilterEntry(const WCHAR *name) {
    return wcscmp(name, kFilterAll) == 0 || wcscmp(name, kFilterNone) == 0;
}

HWND CategoryList(HWND hDlg) { return GetDlgItem(hDlg, IDC_CATEGORY_LIST); }

// The list holds the stored names only, so its positions are the store's.
void FillCategoryList(HWND hDlg) {
    HWND list = CategoryList(hDlg);
    categoryStore.fillCategoryControl(list, LB_RESETCONTENT, LB_ADDSTRING);
    SendMessageW(list, LB_DELETESTRING, 0, 0);  // " - Alle -"
    SendMessageW(list, LB_DELETESTRING, 0, 0);  // " - Ohne -"
}

// The name selected in the list; empty without a selection.
void SelectedName(HWND hDlg, WCHAR *name) {
    name[0] = 0;
    HWND list = CategoryList(hDlg);
    if (SendMessageW(list, LB_GETCOUNT, 0, 0) <= 0) return;
    int index = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
    if (index == LB_ERR || SendMessageW(list, LB_GETTEXTLEN, index, 0) > 255) return;
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(name));
}

// The selected entry of a combo box; empty without a selection.
void SelectedComboText(HWND combo, WCHAR *text) {
    text[0] = 0;
    int index = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    if (index == CB_ERR || SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) > 255) return;
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
}

void EnableTitleRows(HWND hDlg, BOOL enable) {
    for (int n = 0; n < 3; ++n) {
        EnableWindow(GetDlgItem(hDlg, kTitleLabels[n]), enable);
        EnableWindow(GetDlgItem(hDlg, kTitleCombos[n]), enable);
    }
}

void SelectTitle(HWND combo, const WCHAR *title) {
    LRESULT found = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(title));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
}

void OnInit(HWND hDlg) {
    AddCaptionButtons(hDlg);
    FillCategoryList(hDlg);
    for (int n = 0; n < 3; ++n) {
        HWND combo = GetDlgItem(hDlg, kTitleCombos[n]);
        FillTitlePicker(combo, n + 1);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
    KeepDialogOnScreen(hDlg);
}

void ShowSelectedCategory(HWND hDlg) {
    CategoryListNotify(hDlg, MAKEWPARAM(IDC_CATEGORY_LIST, LBN_SELCHANGE), 0);
}

void OnAdd(HWND hDlg) {
    WCHAR name[256] = {};
    GetDlgItemTextW(hDlg, IDC_CATEGORY_NEW, name, 255);
    if (IsFilterEntry(name)) return;
    categoryStore.addName(name);
    // A new category takes the titles shown for the category selected before, else the defaults.
    WCHAR titles[3][256];
    for (int n = 0; n < 3; ++n) {
        SelectedComboText(GetDlgItem(hDlg, kTitleCombos[n]), titles[n]);
        if (!titles[n][0]) lstrcpyW(titles[n], kDefaultTitles[n]);
    }
    categoryStore.writeCategory(name, titles[0], titles[1], titles[2], 1);
    FillCategoryCombo();
    FillCategoryList(hDlg);
    HWND list = CategoryList(hDlg);
    LRESULT found = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(name));
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
    ShowSelectedCategory(hDlg);
    SetDlgItemTextW(hDlg, IDC_CATEGORY_NEW, L"");
    SetFocus(GetDlgItem(hDlg, IDC_CATEGORY_NEW));
}

void OnDelete(HWND hDlg) {
    HWND list = CategoryList(hDlg);
    int index = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
    if (index == LB_ERR) return;
    categoryStore.deleteAt(index);
    FillCategoryCombo();
    FillCategoryList(hDlg);
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(std::min(index, count - 1)), 0);
    SetFocus(list);
    // The list may have had the focus already, so its notification does not come.
    ShowSelectedCategory(hDlg);
}

// Writes the selected category with the titles and the flag the dialog shows; for the check box
// also offers to give the category's objects the new flag.
void SaveSelectedCategory(HWND hDlg, bool encryptClicked) {
    WCHAR name[256], titles[3][256];
    SelectedName(hDlg, name);
    for (int n = 0; n < 3; ++n) SelectedComboText(GetDlgItem(hDlg, kTitleCombos[n]), titles[n]);
    short flag = IsDlgButtonChecked(hDlg, IDC_CATEGORY_ENCRYPT) == BST_CHECKED ? 1 : 0;
    if (!name[0]) return;
    // Typing a new name looks that name up and so clears the store's last result; the values
    // shown belong to the selected category, which is read again here. A combo without a
    // selection (a stored title that its title list lacks) keeps the stored title.
    WCHAR stored[3][256];
    short storedFlag;
    categoryStore.readCategory(name, stored[0], stored[1], stored[2], &storedFlag);
    if (!categoryStore.lastResult) return;
    for (int n = 0; n < 3; ++n)
        if (!titles[n][0]) lstrcpyW(titles[n], stored[n]);
    categoryStore.writeCategory(name, titles[0], titles[1], titles[2], flag);
    if (!encryptClicked) return;
    size_t units = lstrlenW(name) + 106;
    WCHAR *question = static_cast<WCHAR *>(LocalAlloc(LMEM_FIXED, units * sizeof(WCHAR)));
    if (!question) return;
    wsprintfW(question, kEncryptQuestion, name, flag ? L"" : L"de");
    if (MessageBoxW(hDlg, question, kAppTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
        objectStore.setEncryptFlagForCategory(name, flag);
    LocalFree(question);
}

// A title combo's selection: " Neu…" opens the field titles dialog and then shows the stored
// title again; a real title is saved.
void OnTitleChosen(HWND hDlg, int field) {
    HWND combo = GetDlgItem(hDlg, kTitleCombos[field - 1]);
    WCHAR text[256];
    SelectedComboText(combo, text);
    if (wcscmp(text, kNewTitleEntry) != 0) {
        SaveSelectedCategory(hDlg, false);
        return;
    }
    RunFieldTitlesDialog(hInst, hDlg, field);
    FillTitlePicker(combo, field);
    WCHAR name[256], titles[3][256];
    short flag;
    SelectedName(hDlg, name);
    categoryStore.readCategory(name, titles[0], titles[1], titles[2], &flag);
    LRESULT found = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(titles[field - 1]));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(std::max<LRESULT>(found, 1)), 0);
}

}  // namespace

INT_PTR RunCategoriesDialog(HINSTANCE /*hInstance*/, HWND owner) {
    return RunDialog(owner, IDD_CATEGORIES, CategoriesDlgProc, 0);
}

BOOL CategoryListNotify(HWND hDlg, WPARAM wParam, LPARAM /*lParam*/) {
    UINT code = HIWORD(wParam);
    if (code != LBN_SELCHANGE && code != LBN_SETFOCUS && code != LBN_KILLFOCUS) return FALSE;
    WCHAR name[256], titles[3][256];
    short flag;
    SelectedName(hDlg, name);
    categoryStore.readCategory(name, titles[0], titles[1], titles[2], &flag);
    BOOL enable = name[0] && !IsFilterEntry(name);
    EnableWindow(GetDlgItem(hDlg, IDC_CATEGORY_DELETE), enable);
    EnableTitleRows(hDlg, enable);
    EnableWindow(GetDlgItem(hDlg, IDC_CATEGORY_ENCRYPT), enable);
    for (int n = 0; n < 3; ++n) SelectTitle(GetDlgItem(hDlg, kTitleCombos[n]), titles[n]);
    CheckDlgButton(hDlg, IDC_CATEGORY_ENCRYPT, flag ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

BOOL CategoryEditNotify(HWND hDlg, WPARAM wParam, LPARAM /*lParam*/) {
    if (HIWORD(wParam) != EN_CHANGE) return FALSE;
    WCHAR name[256];
    StripLeadingBlanks(GetDlgItem(hDlg, IDC_CATEGORY_NEW), name);
    if (name[0] && !categoryStore.findName(name) && !IsFilterEntry(name)) {
        EnableWindow(GetDlgItem(hDlg, IDC_CATEGORY_ADD), TRUE);
        EnableTitleRows(hDlg, FALSE);
        return TRUE;
    }
    EnableWindow(GetDlgItem(hDlg, IDC_CATEGORY_ADD), FALSE);
    SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_CATEGORY_LIST, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(CategoryList(hDlg)));
    return TRUE;
}

INT_PTR CALLBACK CategoriesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (DialogKitMessage(hDlg, message, wParam, lParam,
                         kKitIdle | kKitColours | kKitListColours | kKitSettingChange,
                         kHelpCategories, &result))
        return result;
    switch (message) {
    case WM_INITDIALOG: OnInit(hDlg); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CATEGORY_NEW: return CategoryEditNotify(hDlg, wParam, lParam);
        case IDC_CATEGORY_LIST: return CategoryListNotify(hDlg, wParam, lParam);
        case IDC_CATEGORY_ADD: OnAdd(hDlg); return TRUE;
        case IDC_CATEGORY_DELETE: OnDelete(hDlg); return TRUE;
        case IDC_CATEGORY_TITLE1:
        case IDC_CATEGORY_TITLE2:
        case IDC_CATEGORY_TITLE3:
            if (HIWORD(wParam) != CBN_SELCHANGE) return FALSE;
            OnTitleChosen(hDlg, LOWORD(wParam) - IDC_CATEGORY_TITLE1 + 1);
            return FALSE;
        case IDC_CATEGORY_ENCRYPT:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            SaveSelectedCategory(hDlg, true);
            return FALSE;
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
