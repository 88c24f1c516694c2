// The main window's keys as on a desktop. Tab and Shift+Tab move the focus among the places of the
// window in their order from top to bottom: the category filter, the detail area, the search box
// (while it is open) and the list. Enter on a list row edits the object (as Ctrl+O). The detail
// area shows a dotted frame while it has the focus; there Enter does what a tap on the area does
// and Space what a tap on field 2 does (shows a hidden field 2, else the same as Enter).
//
// The menu bar's keys (Alt, F10, Alt+letter) are the command bands' own.
#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "resources/resource.h"

namespace {

const UINT_PTR kFrameSubclass = 0x4B42;  // id of the detail windows' subclass

// The windows that make up the detail area; each draws its part of the focus frame.
std::vector<HWND> DetailWindows() {
    return {hDetailBack,   hTitleLabel[0], hTitleLabel[1], hTitleLabel[2],
            hValueText[0], hValueText[1],  hValueText[2]};
}

// The frame around the detail area, drawn by window w over what it has just painted. Siblings do
// not clip one another here, so the background and each row draw the part that lies in them; the
// frame is drawn solid (not inverted), so drawing a part twice changes nothing.
void DrawFocusFrame(HWND w) {
    RECT frame{};
    GetClientRect(hDetailBack, &frame);
    MapWindowPoints(hDetailBack, w, reinterpret_cast<POINT *>(&frame), 2);
    InflateRect(&frame, -1, -1);
    HDC dc = GetDC(w);
    if (!dc) return;
    LOGBRUSH lb{BS_SOLID, ReadableTextColor(clrDetailText, clrDetailBack), 0};
    HPEN pen = ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &lb, 0, nullptr);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, frame.left, frame.top, frame.right, frame.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    ReleaseDC(w, dc);
}

LRESULT CALLBACK DetailWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR) {
    switch (message) {
    case WM_PAINT: {
        LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        if (GetFocus() == hDetailBack) DrawFocusFrame(hwnd);
        return result;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        // The background first: it paints over the rows, which then paint on top of it.
        RedrawWindow(hDetailBack, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        for (HWND w : DetailWindows())
            if (w != hDetailBack)
                RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return result;
    }
    case WM_NCDESTROY: RemoveWindowSubclass(hwnd, DetailWindowProc, id); break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// Gives the detail area the focus; its windows learn to draw the frame first (setting the
// subclass again only renews it).
void FocusDetailArea() {
    for (HWND w : DetailWindows())
        if (w) SetWindowSubclass(w, DetailWindowProc, kFrameSubclass, 0);
    SetFocus(hDetailBack);
}

// The places Tab visits, from top to bottom.
std::vector<HWND> FocusPlaces() {
    std::vector<HWND> places{hCategoryCombo, hDetailBack};
    if (SearchIsOpen()) places.push_back(hSearchEdit);
    places.push_back(hObjectList);
    return places;
}

// The place that holds window w (a place or a window inside it), or -1.
int PlaceOf(const std::vector<HWND> &places, HWND w) {
    if (IsDetailWindow(w)) w = hDetailBack;
    for (size_t i = 0; i < places.size(); ++i)
        if (w == places[i] || IsChild(places[i], w)) return static_cast<int>(i);
    return -1;
}

void MoveFocus(bool backwards) {
    std::vector<HWND> places = FocusPlaces();
    int count = static_cast<int>(places.size());
    int from = PlaceOf(places, GetFocus());
    // Drop-down list open: it closes as it would on a click elsewhere.
    if (places[0] && SendMessageW(places[0], CB_GETDROPPEDSTATE, 0, 0))
        SendMessageW(places[0], CB_SHOWDROPDOWN, FALSE, 0);
    int to = from < 0 ? (backwards ? count - 1 : 0) : (from + (backwards ? count - 1 : 1)) % count;
    // The filter, losing the focus, ends its selection (CBN_SELENDCANCEL), and the main window
    // answers that by giving the list the focus; the second call moves it on from there.
    for (int attempt = 0; attempt < 2 && GetFocus() != places[to]; ++attempt) {
        if (places[to] == hDetailBack)
            FocusDetailArea();
        else
            SetFocus(places[to]);
    }
}

bool KeyDown(const MSG *msg, UINT vk) { return msg->message == WM_KEYDOWN && msg->wParam == vk; }

bool Held(int vk) { return GetKeyState(vk) < 0; }

}  // namespace

bool IsDetailWindow(HWND w) {
    if (!w) return false;
    if (w == hDetailBack) return true;
    for (int n = 0; n < 3; ++n)
        if (w == hTitleLabel[n] || w == hValueText[n]) return true;
    return false;
}

bool HandleShellKey(const MSG *msg) {
    if (!hMainWnd || !msg->hwnd || msg->message != WM_KEYDOWN) return false;
    if (GetAncestor(msg->hwnd, GA_ROOT) != hMainWnd || !IsWindowEnabled(hMainWnd)) return false;
    if (Held(VK_CONTROL) || Held(VK_MENU)) return false;
    if (KeyDown(msg, VK_TAB)) {
        MoveFocus(Held(VK_SHIFT));
        return true;
    }
    if (Held(VK_SHIFT)) return false;
    if (msg->hwnd == hObjectList && KeyDown(msg, VK_RETURN)) {
        // As the accelerator Ctrl+O: nothing without a selected row.
        SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(IDM_EDIT_OBJECT, 1), 0);
        return true;
    }
    if (IsDetailWindow(msg->hwnd) && (KeyDown(msg, VK_RETURN) || KeyDown(msg, VK_SPACE))) {
        // A tap: on the area for Enter, on the value of field 2 for Space.
        HWND tapped = msg->wParam == VK_SPACE ? hValueText[1] : hDetailBack;
        SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(0, STN_CLICKED),
                     reinterpret_cast<LPARAM>(tapped));
        return true;
    }
    return false;
}
