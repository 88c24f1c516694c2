// The search box: an edit line over the object list, opened with Ctrl+F. Every change of its
// text narrows the list to the objects that contain it; Esc closes it and gives back the list of
// the category filter.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "platform/command_bands.h"
#include "store/object_store.h"

HWND hSearchEdit;

namespace {

constexpr DWORD kSearchStyle = WS_CHILD | WS_BORDER | ES_AUTOHSCROLL;
constexpr int kSearchHeight = 20;  // one line of the list's font and the border, at 96 DPI

WNDPROC editProc;

// What the list shows while searching: each row's place in the database order, as the store
// gave them in its entries of generation shownGeneration; empty rows with shownKnown false when
// the list was filled otherwise.
std::vector<size_t> shownOrder;
unsigned shownGeneration;
bool shownKnown;

// A list box moves every row after a deleted or inserted one: changing a row of a full list
// costs about as much as adding some thousand rows. Below this many moved rows a change is made
// row by row, above it the list is filled anew.
constexpr size_t kMostRowMoves = 4000000;

// The rows to delete and insert to go from the shown rows to the new ones (both in database
// order); their number, or SIZE_MAX when it exceeds limit.
size_t RowChanges(const std::vector<size_t> &from, const std::vector<size_t> &to, size_t limit) {
    size_t i = 0, j = 0, changes = 0;
    while (i < from.size() || j < to.size()) {
        if (i < from.size() && j < to.size() && from[i] == to[j]) {
            ++i, ++j;
            continue;
        }
        if (j == to.size() || (i < from.size() && from[i] < to[j]))
            ++i;
        else
            ++j;
        if (++changes > limit) return SIZE_MAX;
    }
    return changes;
}

// Changes the list row by row from the shown rows to the new ones, from the end, so that every
// position still to be changed stays valid.
void ChangeRows(const std::vector<size_t> &to, const std::vector<const WCHAR *> &names) {
    size_t i = shownOrder.size(), j = to.size();
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && shownOrder[i - 1] == to[j - 1]) {
            --i, --j;
        } else if (j == 0 || (i > 0 && shownOrder[i - 1] > to[j - 1])) {
            SendMessageW(hObjectList, LB_DELETESTRING, i - 1, 0);
            --i;
        } else {
            SendMessageW(hObjectList, LB_INSERTSTRING, i, reinterpret_cast<LPARAM>(names[j - 1]));
            --j;
        }
    }
}

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
        std::vector<const WCHAR *> names;
        objectStore.visibleNames(&names, kEncryptedName, &shownOrder);
        shownGeneration = objectStore.searchGeneration();
        shownKnown =
            static_cast<size_t>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0)) == shownOrder.size();
        ShowWindow(hSearchEdit, SW_SHOW);
        LayoutObjectList();
    }
    SetFocus(hSearchEdit);
    SendMessageW(hSearchEdit, EM_SETSEL, 0, -1);
}

void FillSearchList() {
    std::vector<const WCHAR *> names;
    std::vector<size_t> order;
    objectStore.visibleNames(&names, kEncryptedName, &order);
    SendMessageW(hObjectList, WM_SETREDRAW, FALSE, 0);
    // A key that changes few rows (the filter's list and the objects holding a common letter
    // differ little) changes those rows; any other fills the list anew.
    const size_t rows = std::max(shownOrder.size(), order.size());
    const bool comparable =
        shownKnown && shownGeneration == objectStore.searchGeneration() &&
        static_cast<size_t>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0)) == shownOrder.size();
    if (comparable && RowChanges(shownOrder, order, kMostRowMoves / (rows + 1)) != SIZE_MAX) {
        ChangeRows(order, names);
    } else {
        SendMessageW(hObjectList, LB_RESETCONTENT, 0, 0);
        size_t characters = 0;
        for (const WCHAR *name : names) characters += lstrlenW(name) + 1;
        SendMessageW(hObjectList, LB_INITSTORAGE, names.size(), characters * sizeof(WCHAR));
        for (const WCHAR *name : names)
            SendMessageW(hObjectList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    shownOrder = std::move(order);
    shownGeneration = objectStore.searchGeneration();
    shownKnown = true;
    SendMessageW(hObjectList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hObjectList, nullptr, TRUE);
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
    shownOrder = std::vector<size_t>();
    shownKnown = false;
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
