#include "platform/message_box_fit.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kTextId = 0xFFFF;  // the static that holds a message box's text
constexpr int kIconId = 0x0014;  // the static that holds its icon
constexpr int kMargin = 8;
constexpr int kGap = 6;
constexpr UINT_PTR kFitTimer = 0x4D42;  // "MB"

thread_local HHOOK hook = nullptr;

bool isMessageBox(HWND w) {
    WCHAR cls[16] = {};
    GetClassNameW(w, cls, 16);
    return lstrcmpW(cls, L"#32770") == 0 && GetDlgItem(w, kTextId) != nullptr;
}

RECT childRect(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

bool inside(const RECT &inner, const RECT &outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// A box wider or taller than the area, or one whose own layout leaves a part of its text or a
// button outside its client area (as the system's layout can on a narrow screen).
bool needsFit(HWND box, const RECT &win, const RECT &client, const RECT &area) {
    if (win.right - win.left > area.right - area.left) return true;
    if (win.bottom - win.top > area.bottom - area.top) return true;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c) && !inside(childRect(box, c), client)) return true;
    return false;
}

// Runs once the box's modal loop is running: Wine still changes the box's size after showing it,
// so the fit waits for the loop's first round.
void CALLBACK fitLater(HWND box, UINT, UINT_PTR id, DWORD) {
    KillTimer(box, id);
    RECT area;
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) FitMessageBox(box, area);
}

// Every dialog window of the thread is watched from its creation (a message box is one); the
// thread's other windows and messages cost nothing.
constexpr UINT_PTR kWatchId = 0x4D424654;  // "MBFT"

LRESULT CALLBACK watchBox(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                          DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(box, watchBox, id);
        return DefSubclassProc(box, message, wParam, lParam);
    }
    LRESULT result = DefSubclassProc(box, message, wParam, lParam);
    if (message == WM_SHOWWINDOW && wParam && isMessageBox(box))
        SetTimer(box, kFitTimer, 0, fitLater);
    return result;
}

LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto hwnd = reinterpret_cast<HWND>(wParam);
        WCHAR cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        if (lstrcmpW(cls, L"#32770") == 0) SetWindowSubclass(hwnd, watchBox, kWatchId, 0);
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

void FitMessageBox(HWND box, const RECT &area) {
    RECT win;
    GetWindowRect(box, &win);
    RECT client;
    GetClientRect(box, &client);
    if (!needsFit(box, win, client, area)) return;

    HWND text = GetDlgItem(box, kTextId);
    HWND icon = GetDlgItem(box, kIconId);
    const int width = std::min<int>(win.right - win.left, area.right - area.left);
    const int frameX = (win.right - win.left) - client.right;
    const int frameY = (win.bottom - win.top) - client.bottom;
    const int clientWidth = width - frameX;

    // The text starts where the system put it (right of the icon) and wraps at the new width.
    RECT textRect = childRect(box, text);
    const int textLeft = std::min<int>(textRect.left, clientWidth / 3);
    const int textWidth = std::max(clientWidth - textLeft - kMargin, 16);
    WCHAR buffer[1024];
    GetWindowTextW(text, buffer, 1024);
    HDC dc = GetDC(text);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
    RECT measure{0, 0, textWidth, 0};
    DrawTextW(dc, buffer, -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(text, dc);
    const int textHeight = measure.bottom - measure.top;
    MoveWindow(text, textLeft, textRect.top, textWidth, textHeight, FALSE);

    int below = textRect.top + textHeight;
    if (icon) below = std::max<int>(below, childRect(box, icon).bottom);
    below += kMargin;

    // The buttons keep their order and size, in one centred row; a row too wide shrinks evenly.
    std::vector<HWND> buttons;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        WCHAR cls[16] = {};
        GetClassNameW(c, cls, 16);
        if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(c)) buttons.push_back(c);
    }
    std::sort(buttons.begin(), buttons.end(),
              [&](HWND a, HWND b) { return childRect(box, a).left < childRect(box, b).left; });
    int buttonWidth = 0, buttonHeight = 0;
    for (HWND b : buttons) {
        RECT r = childRect(box, b);
        buttonWidth = std::max<int>(buttonWidth, r.right - r.left);
        buttonHeight = std::max<int>(buttonHeight, r.bottom - r.top);
    }
    const int count = static_cast<int>(buttons.size());
    if (count) {
        const int room = clientWidth - 2 * kMargin - (count - 1) * kGap;
        buttonWidth = std::min(buttonWidth, room / count);
        int x = (clientWidth - (count * buttonWidth + (count - 1) * kGap)) / 2;
        for (HWND b : buttons) {
            MoveWindow(b, x, below, buttonWidth, buttonHeight, FALSE);
            x += buttonWidth + kGap;
        }
        below += buttonHeight + kMargin;
    }

    const int height = std::min<int>(below + frameY, area.bottom - area.top);
    const int left = area.left + ((area.right - area.left) - width) / 2;
    const int top = area.top + ((area.bottom - area.top) - height) / 2;
    MoveWindow(box, left, top, width, height, TRUE);
    // The children were moved without painting; the text must not keep its old, wider lines.
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

int InstallMessageBoxFit() {
    if (hook) return 0;
    hook = SetWindowsHookExW(WH_CBT, hookProc, nullptr, GetCurrentThreadId());
    return hook ? 0 : -1;
}

void RemoveMessageBoxFit() {
    if (hook) UnhookWindowsHookEx(hook);
    hook = nullptr;
}
