// The search box: an edit line over the object list, opened with Ctrl+F. Every change of its
// text narrows the list to the objects that contain it; Esc closes it and gives back the list of
// the category filter.
#include <windows.h>

#include <vector>

#include "app/dialog_kit.h"
#include "app/object_rows.h"
#include "app/shell.h"
#include "platform/command_bands.h"
#include "store/object_store.h"

HWND hSearchEdit;

namespace {

constexpr DWORD kSearchStyle = WS_CHILD | WS_BORDER | ES_AUTOHSCROLL;
constexpr int kSearchHeight = 20;  // one line of the list's font and the border, at 96 DPI

WNDPROC editProc;

// The keys that leave the text: Esc closes the search, Enter and the arrow keys go on in the
// list with the first match selected.
LRESULT CALLBACK SearchEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) {
        switch (wParam) {
        case VK_ESCAPE: CloseSearch(); return 0;
        case VK_RETURN:
        case VK_DOWN:
        case VK_UP:
        case VK_NEXT:
        case VK_PRIOR: SetFocus(hObjectList); return 0;
        default: break;
        }
    }
    // Enter and Esc would beep in a one-line edit.
    if (message == WM_CHAR && (wParam == L'\r' || wParam == 27)) return 0;
    if (message == WM_GETDLGCODE) return DLGC_WANTALLKEYS;
    return CallWindowProcW(editProc, hwnd, message, wParam, lParam);
}

}  // namespace

void CreateSearchBox(HWND main) {
    hSearchEdit =
        CreateWindowExW(0, L"EDIT", L"", kSearchStyle, 0, 0, 0, 0, main, nullptr, hInst, nullptr);
    SendMessageW(hSearchEdit, WM_SETFONT, reinterpret_cast<WPARAM>(hNormalFont), FALSE);
    SendMessageW(hSearchEdit, EM_LIMITTEXT, 255, 0);
    editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hSearchEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SearchEditProc)));
    // The object list exists by now (made before the search box): its rows come from the texts
    // kept beside it, for the search's lists and the filter's alike.
    AttachObjectRows(hObjectList);
}

bool IsSearchEditingKey(const MSG *msg) {
    if (!hSearchEdit || msg->hwnd != hSearchEdit || msg->message != WM_KEYDOWN) return false;
    switch (msg->wParam) {
    case VK_BACK:
    case VK_DELETE: return true;
    case 'C':
    case 'X':
    case 'V': return GetKeyState(VK_CONTROL) < 0;
    default: return false;
    }
}

bool SearchIsOpen() { return hSearchEdit && IsWindowVisible(hSearchEdit); }

void LayoutObjectList() {
    RECT client;
    GetClientRect(GetParent(hObjectList), &client);
    int top = CommandBar_Height(hMenuBar) + DetailHeight();
    int box = SearchIsOpen() ? Px(kSearchHeight) : 0;
    MoveWindow(hSearchEdit, 0, top, client.right, Px(kSearchHeight), TRUE);
    MoveWindow(hObjectList, 0, top + box, client.right, client.bottom - top - box, TRUE);
}

void OpenSearch() {
    if (!SearchIsOpen()) {
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        objectStore.openSearch();
        SetCursor(previous);
        // The list shows the filter's rows, which the search's empty text gives too.
        ShowWindow(hSearchEdit, SW_SHOW);
        LayoutObjectList();
    }
    SetFocus(hSearchEdit);
    SendMessageW(hSearchEdit, EM_SETSEL, 0, -1);
}

void FillSearchList() {
    // The list keeps no texts of its own: a key's new rows cost a copy of their texts and one
    // LB_SETCOUNT, however many rows change.
    // Kept from key to key, so that a key reuses the memory of the last one's list.
    static std::vector<const WCHAR *> names;
    objectStore.visibleNames(&names, kEncryptedName);
    SendMessageW(hObjectList, WM_SETREDRAW, FALSE, 0);
    SetObjectRows(names);
    SendMessageW(hObjectList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hObjectList, nullptr, TRUE);
    names.clear();
}

void OnSearchChanged() {
    if (!SearchIsOpen()) return;
    WCHAR text[256] = {};
    GetWindowTextW(hSearchEdit, text, 256);
    objectStore.setSearch(text);
    SecureZeroMemory(text, sizeof text);
    FillSearchList();
    // The first match is selected and shown; no match leaves the list and the detail area empty.
    SendMessageW(hObjectList, LB_SETCURSEL, 0, 0);
    RefreshDetail();
}

void CloseSearch() {
    if (!SearchIsOpen()) return;
    // The object selected in the search stays selected when the filter's list shows it.
    CEOID selected = HasSelection() ? objectStore.currentRecord : 0;
    // Hidden first, so that emptying the text searches nothing more.
    ShowWindow(hSearchEdit, SW_HIDE);
    SetWindowTextW(hSearchEdit, L"");
    objectStore.closeSearch();
    LayoutObjectList();
    FillObjectList(objectStore, hObjectList);
    int rows = static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0));
    int row = 0;
    if (selected) {
        objectStore.currentRecord = selected;
        row = objectStore.positionOfCurrent();
        if (row >= rows) row = 0;
    }
    SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    RefreshDetail();
    SetFocus(hObjectList);
}
