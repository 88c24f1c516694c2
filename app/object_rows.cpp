// The texts behind the owner-data object list, and the list box's messages that read them.
#include "app/object_rows.h"

#include <cwchar>

namespace {

HWND rowList;
WNDPROC listProc;

// Every row's text, one after the other with terminators; row i begins at starts[i].
std::vector<WCHAR> texts;
std::vector<size_t> starts;

const WCHAR kNoText[] = L"";

void WipeRows() {
    if (!texts.empty()) SecureZeroMemory(texts.data(), texts.size() * sizeof(WCHAR));
    texts.clear();
    starts.clear();
}

int RowCount() { return static_cast<int>(starts.size()); }

// The height of a row in the list's font, measured as a list box of texts measures it.
int RowHeight(HWND list) {
    static const WCHAR kAlphabet[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    HFONT font = reinterpret_cast<HFONT>(CallWindowProcW(listProc, list, WM_GETFONT, 0, 0));
    HDC hdc = GetDCEx(list, nullptr, DCX_CACHE);
    if (!hdc) return 16;
    HGDIOBJ old = font ? SelectObject(hdc, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32W(hdc, kAlphabet, 52, &size);
    if (old) SelectObject(hdc, old);
    ReleaseDC(list, hdc);
    return size.cy > 0 ? size.cy : 16;
}

void FollowFont(HWND list) {
    CallWindowProcW(listProc, list, LB_SETITEMHEIGHT, 0, RowHeight(list));
}

WCHAR Lower(WCHAR c) {
    CharLowerBuffW(&c, 1);
    return c;
}

// The first row after the caret (around to the top) whose text begins with the letter in any
// letter case; a text in brackets ("[x" or "[-x") also counts by the letter after them. -1: none.
int RowByFirstLetter(HWND list, WCHAR letter) {
    int count = RowCount();
    if (!count) return -1;
    WCHAR wanted = Lower(letter);
    int start = static_cast<int>(CallWindowProcW(listProc, list, LB_GETCARETINDEX, 0, 0)) + 1;
    if (start < 0 || start >= count) start = 0;
    for (int i = 0, row = start; i < count; ++i, ++row) {
        if (row == count) row = 0;
        const WCHAR *text = ObjectRowText(row);
        if (Lower(text[0]) == wanted) return row;
        if (text[0] == L'[') {
            if (Lower(text[1]) == wanted) return row;
            if (text[1] == L'-' && Lower(text[2]) == wanted) return row;
        }
    }
    return -1;
}

LRESULT CALLBACK RowListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case LB_GETTEXTLEN:
    case LB_GETTEXT: {
        int row = static_cast<int>(wParam);
        if (row < 0 || row >= RowCount()) return LB_ERR;
        const WCHAR *text = ObjectRowText(row);
        size_t length = wcslen(text);
        if (message == LB_GETTEXT && lParam)
            wmemcpy(reinterpret_cast<WCHAR *>(lParam), text, length + 1);
        return static_cast<LRESULT>(length);
    }
    case LB_RESETCONTENT: WipeRows(); break;
    case WM_SETFONT: {
        LRESULT result = CallWindowProcW(listProc, hwnd, message, wParam, lParam);
        FollowFont(hwnd);
        return result;
    }
    case WM_CHAR: {
        // A list box without texts finds no row by its letter: the kept texts do.
        int row = RowByFirstLetter(hwnd, static_cast<WCHAR>(wParam));
        if (row >= 0) {
            CallWindowProcW(listProc, hwnd, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
            SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(hwnd));
        }
        return 0;
    }
    case WM_NCDESTROY: {
        WipeRows();
        WNDPROC previous = listProc;
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        rowList = nullptr;
        return CallWindowProcW(previous, hwnd, message, wParam, lParam);
    }
    default: break;
    }
    return CallWindowProcW(listProc, hwnd, message, wParam, lParam);
}

}  // namespace

void AttachObjectRows(HWND list) {
    WipeRows();
    rowList = list;
    listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RowListProc)));
    FollowFont(list);
}

void SetObjectRows(const std::vector<const WCHAR *> &rows) {
    if (!rowList) return;
    SendMessageW(rowList, LB_RESETCONTENT, 0, 0);
    size_t characters = 0;
    for (const WCHAR *text : rows) characters += wcslen(text) + 1;
    texts.reserve(characters);
    starts.reserve(rows.size());
    for (const WCHAR *text : rows) {
        starts.push_back(texts.size());
        texts.insert(texts.end(), text, text + wcslen(text) + 1);
    }
    SendMessageW(rowList, LB_SETCOUNT, rows.size(), 0);
}

const WCHAR *ObjectRowText(int row) {
    if (row < 0 || row >= RowCount()) return kNoText;
    return texts.data() + starts[static_cast<size_t>(row)];
}

bool DrawObjectRow(const DRAWITEMSTRUCT *item) {
    if (item->CtlType != ODT_LISTBOX || !rowList || item->hwndItem != rowList) return false;
    HDC hdc = item->hDC;
    RECT rect = item->rcItem;
    if (item->itemAction == ODA_FOCUS) {
        DrawFocusRect(hdc, &rect);
        return true;
    }
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    COLORREF oldBack = 0, oldText = 0;
    if (selected) {
        oldBack = SetBkColor(hdc, GetSysColor(COLOR_HIGHLIGHT));
        oldText = SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    }
    const WCHAR *text = ObjectRowText(static_cast<int>(item->itemID));
    ExtTextOutW(hdc, rect.left + 1, rect.top, ETO_OPAQUE | ETO_CLIPPED, &rect, text,
                static_cast<UINT>(wcslen(text)), nullptr);
    if (selected) {
        SetBkColor(hdc, oldBack);
        SetTextColor(hdc, oldText);
    }
    if (item->itemState & ODS_FOCUS) DrawFocusRect(hdc, &rect);
    return true;
}
