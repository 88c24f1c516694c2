// Command bands and command bars on comctl32's rebar and toolbar (see command_bands.h).
//
// Window structure: the owner holds the command bands container (our own class); the container
// holds the rebar and, once adornments are added, the adornment strip at the right of the first
// row. Each band of the rebar holds one toolbar, the command bar. The container is the notify
// window of the rebar and the toolbars, so button commands and notifications pass through it to
// the owner, and it answers the tooltip requests from the texts given with TB_SETTOOLTIPS.
#include "platform/command_bands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/screen_shape.h"

namespace {

// The sizes at 96 DPI; every use scales them to the system DPI (a command bar row is as high as
// on the handheld at 96 DPI).
int Scaled(int pixels) {
    static const UINT dpi = SystemDpi();
    return ScaleToDpi(pixels, dpi);
}
int BarHeight() { return Scaled(26); }
int AdornmentWidth() { return Scaled(22); }
int AdornmentHeight() { return Scaled(20); }
int ComboDropHeight() { return Scaled(200); }
// Room between two bands of a row.
const int kBandGap = 4;
// Command ids of the menu bar's buttons; they never reach the owner.
const int kMenuButtonBase = 0xFE00;

const WCHAR kAdornmentsClass[] = L"ArkelCommandAdornments";
const WCHAR kBarProp[] = L"ArkelCommandBar";
const WCHAR kOwnerProp[] = L"ArkelCommandBandsOwner";
const WCHAR kOwnerProcProp[] = L"ArkelCommandBandsOwnerProc";

enum AdornmentKind { ADORN_HELP, ADORN_OK, ADORN_CLOSE };

struct CommandBandsState {
    HWND hwndSelf = nullptr;
    HWND hwndOwner = nullptr;
    HWND hwndRebar = nullptr;
    HWND hwndAdornments = nullptr;
    std::vector<HWND> bars;
    std::vector<UINT> bandStyles;  // as the caller gave them
    bool layingOut = false;
};

struct CommandBarState {
    HWND hwndBands = nullptr;  // the container (notify window), or null
    HWND hwndOwner = nullptr;  // receives WM_COMMAND
    WNDPROC barProc = nullptr;
    HMENU hMenu = nullptr;  // menu bar's menu, owned
    int menuFirst = -1;     // button index of the first menu button
    int menuCount = 0;
    std::vector<std::wstring> menuTexts;
    std::vector<std::wstring> toolTips;
    bool hasImages = false;
};

struct AdornmentsState {
    HWND hwndOwner = nullptr;
    std::vector<int> kinds;  // left to right
    int pressed = -1;        // index of the button held down, or -1
    bool pressedInside = false;
};

// The pop-up being tracked from a menu bar (one at a time on the thread).
struct MenuTracking {
    HWND hwndBar = nullptr;
    int index = -1;  // menu button index (0-based among the menu buttons)
    int next = -1;   // pop-up to open when this one has closed, or -1
    bool byKeyboard = false;
    bool closedOnButton = false;
    HMENU hPopup = nullptr;
    HMENU hCurrent = nullptr;  // menu of the last selection
    bool currentIsPopup = false;
    HHOOK hook = nullptr;
};
MenuTracking tracking;

// The keyboard hook of the thread and the number of command bands that use it.
HHOOK getMessageHook = nullptr;
int hookUsers = 0;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

CommandBandsState *BandsState(HWND hwnd) {
    return reinterpret_cast<CommandBandsState *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

CommandBarState *BarState(HWND hwnd) {
    return static_cast<CommandBarState *>(GetPropW(hwnd, kBarProp));
}

// --- layout ---------------------------------------------------------------------------------

int AdornmentsWidth(HWND hwndAdornments) {
    if (!hwndAdornments) return 0;
    auto *st =
        reinterpret_cast<AdornmentsState *>(GetWindowLongPtrW(hwndAdornments, GWLP_USERDATA));
    return st ? static_cast<int>(st->kinds.size()) * AdornmentWidth() + 4 : 0;
}

// Fits the container to the owner's width. The rows are decided here: a band goes into the
// current row when its width fits, else it starts the next one; the first row leaves room for
// the adornments at its right end, which lie over the rebar there.
void LayoutBands(CommandBandsState *st) {
    if (st->layingOut) return;
    st->layingOut = true;
    RECT rc{};
    GetClientRect(st->hwndOwner, &rc);
    int width = rc.right - rc.left;
    int aw = AdornmentsWidth(st->hwndAdornments);
    // The rebar wraps on its own (and keeps those breaks) when a row is too narrow, so it gets
    // the new width before the rows are set.
    RECT rr{};
    GetWindowRect(st->hwndRebar, &rr);
    SetWindowPos(st->hwndRebar, nullptr, 0, 0, width, std::max<int>(rr.bottom - rr.top, 1),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // Decide the rows.
    size_t count = st->bandStyles.size();
    std::vector<bool> breaks(count, false);
    int x = 0;
    bool firstRow = true;
    for (size_t i = 0; i < count; ++i) {
        REBARBANDINFOW rb{};
        rb.cbSize = REBARBANDINFOW_V3_SIZE;
        rb.fMask = RBBIM_CHILDSIZE;
        SendMessageW(st->hwndRebar, RB_GETBANDINFOW, i, reinterpret_cast<LPARAM>(&rb));
        RECT borders{};
        SendMessageW(st->hwndRebar, RB_GETBANDBORDERS, i, reinterpret_cast<LPARAM>(&borders));
        int need = static_cast<int>(rb.cxMinChild) + borders.left + borders.right + kBandGap;
        int room = firstRow ? width - aw : width;
        bool wantsBreak = (st->bandStyles[i] & RBBS_BREAK) != 0;
        breaks[i] = x > 0 && (wantsBreak || x + need > room);
        if (breaks[i]) {
            firstRow = false;
            x = 0;
        }
        x += need;
    }
    // Apply them. The rebar does not take a break away once it has wrapped a band, so when the
    // rows must change the bands are inserted anew (their command bars stay).
    bool same = true;
    for (size_t i = 0; i < count && same; ++i) {
        REBARBANDINFOW rb{};
        rb.cbSize = REBARBANDINFOW_V3_SIZE;
        rb.fMask = RBBIM_STYLE;
        SendMessageW(st->hwndRebar, RB_GETBANDINFOW, i, reinterpret_cast<LPARAM>(&rb));
        same = ((rb.fStyle & RBBS_BREAK) != 0) == breaks[i];
    }
    if (!same) {
        std::vector<REBARBANDINFOW> infos(count);
        for (size_t i = 0; i < count; ++i) {
            REBARBANDINFOW &rb = infos[i];
            rb.cbSize = REBARBANDINFOW_V3_SIZE;
            rb.fMask =
                RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_ID | RBBIM_STYLE | RBBIM_COLORS;
            SendMessageW(st->hwndRebar, RB_GETBANDINFOW, i, reinterpret_cast<LPARAM>(&rb));
            rb.fStyle = breaks[i] ? (rb.fStyle | RBBS_BREAK) : (rb.fStyle & ~RBBS_BREAK);
        }
        SendMessageW(st->hwndRebar, WM_SETREDRAW, FALSE, 0);
        for (size_t i = count; i-- > 0;) SendMessageW(st->hwndRebar, RB_DELETEBAND, i, 0);
        for (size_t i = 0; i < count; ++i)
            SendMessageW(st->hwndRebar, RB_INSERTBANDW, i, reinterpret_cast<LPARAM>(&infos[i]));
        SendMessageW(st->hwndRebar, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(st->hwndRebar, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
    int height = static_cast<int>(SendMessageW(st->hwndRebar, RB_GETBARHEIGHT, 0, 0));
    if (height <= 0) height = st->bars.empty() ? 0 : BarHeight();
    SetWindowPos(st->hwndRebar, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (st->hwndAdornments) {
        int rowHeight = BarHeight();
        if (SendMessageW(st->hwndRebar, RB_GETROWHEIGHT, 0, 0) > 0)
            rowHeight = static_cast<int>(SendMessageW(st->hwndRebar, RB_GETROWHEIGHT, 0, 0));
        SetWindowPos(st->hwndAdornments, HWND_TOP, width - aw, 0, aw, rowHeight, SWP_NOACTIVATE);
        height = std::max(height, rowHeight);
    }
    SetWindowPos(st->hwndSelf, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    st->layingOut = false;
}

// --- tooltips -------------------------------------------------------------------------------

// The tooltip text of a button: the texts go to the non-separator buttons in order (menu bar
// buttons and combo box places do not count).
const WCHAR *ToolTipFor(HWND hwndBar, int idCommand) {
    CommandBarState *bs = BarState(hwndBar);
    if (!bs || bs->toolTips.empty()) return nullptr;
    int count = static_cast<int>(SendMessageW(hwndBar, TB_BUTTONCOUNT, 0, 0));
    size_t tip = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON b{};
        if (!SendMessageW(hwndBar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&b))) break;
        if (b.fsStyle & BTNS_SEP) continue;
        if (bs->menuCount && i >= bs->menuFirst && i < bs->menuFirst + bs->menuCount) continue;
        if (b.idCommand == idCommand)
            return tip < bs->toolTips.size() ? bs->toolTips[tip].c_str() : nullptr;
        ++tip;
    }
    return nullptr;
}

// Finds the command bar whose tooltip control is hwndTip.
HWND BarOfToolTip(CommandBandsState *st, HWND hwndTip) {
    for (HWND bar : st->bars)
        if (IsWindow(bar) &&
            reinterpret_cast<HWND>(SendMessageW(bar, TB_GETTOOLTIPS, 0, 0)) == hwndTip)
            return bar;
    return nullptr;
}

// --- menu bar -------------------------------------------------------------------------------

bool IsMenuButton(CommandBarState *bs, int buttonIndex) {
    return bs && bs->menuCount && buttonIndex >= bs->menuFirst &&
           buttonIndex < bs->menuFirst + bs->menuCount;
}

WCHAR MnemonicOf(const std::wstring &text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<WCHAR>(reinterpret_cast<UINT_PTR>(
            CharLowerW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(text[i + 1])))));
    }
    return 0;
}

// Watches the pop-up's message loop: Left/Right and the mouse over another menu button switch
// to the neighbouring pop-up, a click on the open pop-up's own button closes it.
LRESULT CALLBACK MenuFilterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_MENU && tracking.hwndBar) {
        MSG *msg = reinterpret_cast<MSG *>(lParam);
        CommandBarState *bs = BarState(tracking.hwndBar);
        int count = bs ? bs->menuCount : 0;
        if (msg->message == WM_KEYDOWN && count > 1) {
            if (msg->wParam == VK_LEFT && tracking.hCurrent == tracking.hPopup) {
                tracking.next = (tracking.index + count - 1) % count;
                tracking.byKeyboard = true;
                EndMenu();
                return TRUE;
            }
            if (msg->wParam == VK_RIGHT && !tracking.currentIsPopup) {
                tracking.next = (tracking.index + 1) % count;
                tracking.byKeyboard = true;
                EndMenu();
                return TRUE;
            }
        } else if (msg->message == WM_MOUSEMOVE || msg->message == WM_LBUTTONDOWN) {
            POINT pt = msg->pt;
            ScreenToClient(tracking.hwndBar, &pt);
            RECT rc{};
            GetClientRect(tracking.hwndBar, &rc);
            if (PtInRect(&rc, pt)) {
                int hit = static_cast<int>(
                    SendMessageW(tracking.hwndBar, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&pt)));
                if (IsMenuButton(bs, hit)) {
                    int menuIndex = hit - bs->menuFirst;
                    if (menuIndex != tracking.index) {
                        tracking.next = menuIndex;
                        tracking.byKeyboard = false;
                        EndMenu();
                        return TRUE;
                    }
                    if (msg->message == WM_LBUTTONDOWN) {
                        tracking.closedOnButton = true;
                        EndMenu();
                        return TRUE;
                    }
                }
            }
        }
    }
    return CallNextHookEx(tracking.hook, code, wParam, lParam);
}

// Drops the pop-ups of the menu bar, starting with menu button menuIndex, until one is closed
// or a command chosen; the command then goes to the owner.
void TrackMenuBar(HWND hwndBar, int menuIndex, bool byKeyboard) {
    CommandBarState *bs = BarState(hwndBar);
    if (!bs || !bs->hMenu || tracking.hwndBar) return;
    HWND owner = bs->hwndOwner;
    UINT command = 0;
    tracking = MenuTracking{};
    tracking.hwndBar = hwndBar;
    tracking.hook = SetWindowsHookExW(WH_MSGFILTER, MenuFilterProc, nullptr, GetCurrentThreadId());
    while (menuIndex >= 0 && menuIndex < bs->menuCount) {
        int button = bs->menuFirst + menuIndex;
        HMENU popup = GetSubMenu(bs->hMenu, menuIndex);
        tracking.index = menuIndex;
        tracking.next = -1;
        tracking.hPopup = tracking.hCurrent = popup;
        tracking.currentIsPopup = false;
        tracking.closedOnButton = false;
        if (!popup) break;
        RECT rc{};
        SendMessageW(hwndBar, TB_GETITEMRECT, button, reinterpret_cast<LPARAM>(&rc));
        MapWindowPoints(hwndBar, nullptr, reinterpret_cast<POINT *>(&rc), 2);
        SendMessageW(hwndBar, TB_PRESSBUTTON, kMenuButtonBase + menuIndex, TRUE);
        UpdateWindow(hwndBar);
        // Opened from the keyboard, the pop-up starts with its first item selected.
        if (byKeyboard) PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 0);
        TPMPARAMS tpm{sizeof tpm, rc};
        command = static_cast<UINT>(TrackPopupMenuEx(
            popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_VERTICAL,
            rc.left, rc.bottom, owner, &tpm));
        if (IsWindow(hwndBar))
            SendMessageW(hwndBar, TB_PRESSBUTTON, kMenuButtonBase + menuIndex, FALSE);
        if (command || tracking.next < 0 || !IsWindow(hwndBar)) break;
        menuIndex = tracking.next;
        byKeyboard = tracking.byKeyboard;
    }
    if (tracking.hook) UnhookWindowsHookEx(tracking.hook);
    tracking = MenuTracking{};
    if (command && IsWindow(owner)) SendMessageW(owner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

// The first menu bar among the command bars of a container.
HWND MenuBarOf(CommandBandsState *st) {
    for (HWND bar : st->bars) {
        CommandBarState *bs = IsWindow(bar) ? BarState(bar) : nullptr;
        if (bs && bs->menuCount) return bar;
    }
    return nullptr;
}

// The menu button that a key opens: 0 (Alt alone, F10) the first, else the one whose mnemonic
// it is; -1 for none.
int MenuIndexForKey(HWND hwndBar, WCHAR key) {
    CommandBarState *bs = BarState(hwndBar);
    if (!bs || !bs->menuCount) return -1;
    if (key == 0) return 0;
    WCHAR lower = static_cast<WCHAR>(reinterpret_cast<UINT_PTR>(
        CharLowerW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(key)))));
    for (int i = 0; i < bs->menuCount; ++i)
        if (MnemonicOf(bs->menuTexts[i]) == lower) return i;
    return -1;
}

// --- command bar (toolbar subclass) ---------------------------------------------------------

LRESULT CALLBACK CommandBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CommandBarState *bs = BarState(hwnd);
    WNDPROC proc = bs->barProc;
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        int hit =
            static_cast<int>(SendMessageW(hwnd, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&pt)));
        if (IsMenuButton(bs, hit)) {
            TrackMenuBar(hwnd, hit - bs->menuFirst, false);
            return 0;
        }
        break;
    }
    case WM_COMMAND:
        // Notifications of the combo boxes placed on the bar.
        if (lParam && GetParent(reinterpret_cast<HWND>(lParam)) == hwnd && bs->hwndOwner)
            return SendMessageW(bs->hwndOwner, WM_COMMAND, wParam, lParam);
        break;
    case TB_SETTOOLTIPS: {
        // The handheld's meaning: wParam texts in the array at lParam.
        bs->toolTips.clear();
        auto *texts = reinterpret_cast<LPCWSTR *>(lParam);
        for (WPARAM i = 0; texts && i < wParam; ++i)
            bs->toolTips.emplace_back(texts[i] ? texts[i] : L"");
        return TRUE;
    }
    case WM_NCDESTROY: {
        LRESULT result = CallWindowProcW(proc, hwnd, message, wParam, lParam);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
        RemovePropW(hwnd, kBarProp);
        if (bs->hMenu) DestroyMenu(bs->hMenu);
        delete bs;
        return result;
    }
    }
    return CallWindowProcW(proc, hwnd, message, wParam, lParam);
}

HWND CreateCommandBar(HWND hwndParent, HWND hwndBands, HWND hwndOwner, UINT id, HINSTANCE hinst) {
    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS |
                                   TBSTYLE_FLAT | TBSTYLE_TRANSPARENT | TBSTYLE_TOOLTIPS |
                                   CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN,
                               0, 0, 0, BarHeight(), hwndParent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), hinst, nullptr);
    if (!bar) return nullptr;
    SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    if (hwndBands) SendMessageW(bar, TB_SETPARENT, reinterpret_cast<WPARAM>(hwndBands), 0);
    auto *bs = new CommandBarState;
    bs->hwndBands = hwndBands;
    bs->hwndOwner = hwndOwner;
    SetPropW(bar, kBarProp, bs);
    bs->barProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CommandBarProc)));
    return bar;
}

// --- adornments -----------------------------------------------------------------------------

RECT AdornmentRect(HWND hwnd, int index) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    int top = (rc.bottom - AdornmentHeight()) / 2;
    int left = 2 + index * AdornmentWidth();
    return RECT{left, top, left + AdornmentWidth() - 2, top + AdornmentHeight()};
}

int AdornmentAt(HWND hwnd, AdornmentsState *st, POINT pt) {
    for (size_t i = 0; i < st->kinds.size(); ++i) {
        RECT rc = AdornmentRect(hwnd, static_cast<int>(i));
        if (PtInRect(&rc, pt)) return static_cast<int>(i);
    }
    return -1;
}

// Draws the glyphs itself: the caption glyph font (Marlett) is not everywhere.
void PaintAdornments(HWND hwnd, AdornmentsState *st, HDC hdc) {
    HGDIOBJ oldFont = SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    HPEN pen = CreatePen(PS_SOLID, Scaled(2), GetSysColor(COLOR_BTNTEXT));
    for (size_t i = 0; i < st->kinds.size(); ++i) {
        RECT rc = AdornmentRect(hwnd, static_cast<int>(i));
        bool down = st->pressed == static_cast<int>(i) && st->pressedInside;
        DrawFrameControl(hdc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : 0));
        if (down) OffsetRect(&rc, 1, 1);
        switch (st->kinds[i]) {
        case ADORN_OK: DrawTextW(hdc, L"OK", 2, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE); break;
        case ADORN_HELP:
            DrawTextW(hdc, L"?", 1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            break;
        case ADORN_CLOSE: {
            HGDIOBJ oldPen = SelectObject(hdc, pen);
            int cx = (rc.left + rc.right) / 2, cy = (rc.top + rc.bottom) / 2;
            const int arm = Scaled(4);
            MoveToEx(hdc, cx - arm, cy - arm, nullptr);
            LineTo(hdc, cx + arm, cy + arm);
            MoveToEx(hdc, cx + arm, cy - arm, nullptr);
            LineTo(hdc, cx - arm, cy + arm);
            SelectObject(hdc, oldPen);
            break;
        }
        }
    }
    DeleteObject(pen);
    SelectObject(hdc, oldFont);
}

void RunAdornment(AdornmentsState *st, HWND hwnd, int kind) {
    HWND owner = st->hwndOwner;
    switch (kind) {
    case ADORN_HELP: {
        HELPINFO hi{};
        hi.cbSize = sizeof hi;
        hi.iContextType = HELPINFO_WINDOW;
        hi.hItemHandle = GetParent(hwnd);
        hi.iCtrlId = GetDlgCtrlID(GetParent(hwnd));
        GetCursorPos(&hi.MousePos);
        SendMessageW(owner, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
        break;
    }
    // Posted: the owner may destroy the bands (and this window) in answer.
    case ADORN_OK: PostMessageW(owner, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0); break;
    case ADORN_CLOSE: PostMessageW(owner, WM_CLOSE, 0, 0); break;
    }
}

LRESULT CALLBACK AdornmentsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *st = reinterpret_cast<AdornmentsState *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        auto *cs = reinterpret_cast<CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        break;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        if (st) PaintAdornments(hwnd, st, hdc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        int hit = AdornmentAt(hwnd, st, pt);
        if (hit >= 0) {
            st->pressed = hit;
            st->pressedInside = true;
            SetCapture(hwnd);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    }
    case WM_MOUSEMOVE:
        if (st->pressed >= 0) {
            POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            bool inside = AdornmentAt(hwnd, st, pt) == st->pressed;
            if (inside != st->pressedInside) {
                st->pressedInside = inside;
                InvalidateRect(hwnd, nullptr, TRUE);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (st->pressed >= 0) {
            int kind = st->pressedInside ? st->kinds[st->pressed] : -1;
            st->pressed = -1;
            st->pressedInside = false;
            ReleaseCapture();
            InvalidateRect(hwnd, nullptr, TRUE);
            if (kind >= 0) RunAdornment(st, hwnd, kind);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (st && st->pressed >= 0) {
            st->pressed = -1;
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete st;
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// --- container and owner --------------------------------------------------------------------

LRESULT CALLBACK CommandBandsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CommandBandsState *st = BandsState(hwnd);
    switch (message) {
    case WM_NCCREATE: {
        auto *cs = reinterpret_cast<CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        break;
    }
    case WM_COMMAND:
        if (st) return SendMessageW(st->hwndOwner, message, wParam, lParam);
        break;
    case WM_NOTIFY: {
        if (!st) break;
        auto *hdr = reinterpret_cast<NMHDR *>(lParam);
        if (hdr->code == TBN_GETINFOTIPW) {
            auto *tip = reinterpret_cast<NMTBGETINFOTIPW *>(lParam);
            const WCHAR *text = ToolTipFor(hdr->hwndFrom, tip->iItem);
            if (text && tip->pszText && tip->cchTextMax > 0)
                lstrcpynW(tip->pszText, text, tip->cchTextMax);
            return 0;
        }
        if (hdr->code == TTN_GETDISPINFOW) {
            HWND bar = BarOfToolTip(st, hdr->hwndFrom);
            const WCHAR *text = bar ? ToolTipFor(bar, static_cast<int>(hdr->idFrom)) : nullptr;
            if (text) {
                auto *di = reinterpret_cast<NMTTDISPINFOW *>(lParam);
                di->lpszText = const_cast<LPWSTR>(text);
                di->hinst = nullptr;
                return 0;
            }
        }
        if (hdr->hwndFrom == st->hwndRebar && hdr->code == RBN_HEIGHTCHANGE) {
            LayoutBands(st);
            return 0;
        }
        return SendMessageW(st->hwndOwner, message, wParam, lParam);
    }
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_NCDESTROY:
        if (st) {
            if (IsWindow(st->hwndOwner) && GetPropW(st->hwndOwner, kOwnerProp) == hwnd) {
                RemovePropW(st->hwndOwner, kOwnerProp);
                // Unhook from the owner unless someone subclassed it after us; then our
                // procedure stays in the chain and only passes messages on.
                if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(st->hwndOwner, GWLP_WNDPROC)) ==
                    OwnerProc) {
                    SetWindowLongPtrW(
                        st->hwndOwner, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(GetPropW(st->hwndOwner, kOwnerProcProp)));
                    RemovePropW(st->hwndOwner, kOwnerProcProp);
                }
            }
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            delete st;
            if (--hookUsers == 0 && getMessageHook) {
                UnhookWindowsHookEx(getMessageHook);
                getMessageHook = nullptr;
            }
        }
        break;
    default:
        // Rebar messages sent to the command bands go to the rebar.
        if (st && message >= WM_USER && message < WM_USER + 0x100)
            return SendMessageW(st->hwndRebar, message, wParam, lParam);
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The owner's subclass: keeps the bands fitted to its width and gives the menu bar the keyboard
// (Alt, F10 and Alt+mnemonic arrive as WM_SYSCOMMAND SC_KEYMENU).
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto proc = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kOwnerProcProp));
    HWND bands = static_cast<HWND>(GetPropW(hwnd, kOwnerProp));
    CommandBandsState *st = bands ? BandsState(bands) : nullptr;
    if (!proc) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
        RemovePropW(hwnd, kOwnerProcProp);
        RemovePropW(hwnd, kOwnerProp);
    }
    if (!st) return CallWindowProcW(proc, hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        // The bands first, so that the owner lays its own children out under their new height.
        if (IsWindow(bands)) LayoutBands(st);
        return CallWindowProcW(proc, hwnd, message, wParam, lParam);
    case WM_MENUSELECT:
        if (tracking.hwndBar) {
            tracking.hCurrent = reinterpret_cast<HMENU>(lParam);
            tracking.currentIsPopup = (HIWORD(wParam) & MF_POPUP) != 0 && HIWORD(wParam) != 0xFFFF;
        }
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU && lParam != L' ') {
            HWND bar = MenuBarOf(st);
            int index = bar ? MenuIndexForKey(bar, static_cast<WCHAR>(lParam)) : -1;
            if (index >= 0) {
                TrackMenuBar(bar, index, true);
                return 0;
            }
        }
        break;
    }
    return CallWindowProcW(proc, hwnd, message, wParam, lParam);
}

// Alt+letter typed in a child of the owner (the focus is usually in one) comes as WM_SYSCHAR to
// that child, whose default handling does not ask the owner. This hook turns such a character,
// when it is a menu mnemonic, into the owner's SC_KEYMENU before it is dispatched.
LRESULT CALLBACK GetMessageProc(int code, WPARAM wParam, LPARAM lParam) {
    MSG *msg = reinterpret_cast<MSG *>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_SYSCHAR &&
        (HIWORD(msg->lParam) & KF_ALTDOWN) && msg->hwnd) {
        HWND root = GetAncestor(msg->hwnd, GA_ROOT);
        HWND bands =
            root && root != msg->hwnd ? static_cast<HWND>(GetPropW(root, kOwnerProp)) : nullptr;
        CommandBandsState *st = bands ? BandsState(bands) : nullptr;
        HWND bar = st ? MenuBarOf(st) : nullptr;
        if (bar && MenuIndexForKey(bar, static_cast<WCHAR>(msg->wParam)) >= 0) {
            msg->lParam = static_cast<LPARAM>(msg->wParam);
            msg->hwnd = root;
            msg->message = WM_SYSCOMMAND;
            msg->wParam = SC_KEYMENU;
        }
    }
    return CallNextHookEx(getMessageHook, code, wParam, lParam);
}

bool RegisterClasses(HINSTANCE hinst) {
    WNDCLASSW wc{};
    if (!GetClassInfoW(hinst, COMMANDBANDS_CLASSW, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = CommandBandsProc;
        wc.hInstance = hinst;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = COMMANDBANDS_CLASSW;
        if (!RegisterClassW(&wc)) return false;
    }
    if (!GetClassInfoW(hinst, kAdornmentsClass, &wc)) {
        wc = WNDCLASSW{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = AdornmentsProc;
        wc.hInstance = hinst;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kAdornmentsClass;
        if (!RegisterClassW(&wc)) return false;
    }
    return true;
}

}  // namespace

HWND CommandBands_Create(HINSTANCE hinst, HWND hwndParent, UINT wID, DWORD dwStyles,
                         HIMAGELIST himl) {
    // The classes belong to this module, whatever instance the caller names.
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (!IsWindow(hwndParent) || !RegisterClasses(module)) return nullptr;
    if (GetPropW(hwndParent, kOwnerProp)) return nullptr;  // one command bands per owner
    auto *st = new CommandBandsState;
    st->hwndOwner = hwndParent;
    HWND self = CreateWindowExW(
        0, COMMANDBANDS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
        0, 0, 0, 0, hwndParent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(wID)), module, st);
    if (!self) {
        delete st;
        return nullptr;
    }
    st->hwndSelf = self;
    // Only the rebar styles the desktop knows in the low word; the layer places the rebar itself.
    DWORD rebarStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | CCS_NODIVIDER |
                       CCS_NORESIZE | CCS_NOPARENTALIGN | RBS_VARHEIGHT |
                       (dwStyles & (RBS_BANDBORDERS | RBS_FIXEDORDER | RBS_DBLCLKTOGGLE));
    st->hwndRebar = CreateWindowExW(0, REBARCLASSNAMEW, nullptr, rebarStyle, 0, 0, 0, 0, self,
                                    nullptr, hinst, nullptr);
    if (!st->hwndRebar) {
        DestroyWindow(self);
        return nullptr;
    }
    if (himl) {
        REBARINFO ri{sizeof ri, RBIM_IMAGELIST, himl};
        SendMessageW(st->hwndRebar, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&ri));
    }
    SetPropW(hwndParent, kOwnerProp, self);
    if (hookUsers++ == 0)
        getMessageHook =
            SetWindowsHookExW(WH_GETMESSAGE, GetMessageProc, nullptr, GetCurrentThreadId());
    // The owner's own procedure is kept in a property, so that our procedure can pass messages on
    // even after the bands are gone (when it had to stay in the chain).
    if (!GetPropW(hwndParent, kOwnerProcProp))
        SetPropW(hwndParent, kOwnerProcProp,
                 reinterpret_cast<HANDLE>(SetWindowLongPtrW(
                     hwndParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OwnerProc))));
    LayoutBands(st);
    return self;
}

BOOL CommandBands_AddBands(HWND hwndCmdBands, HINSTANCE hinst, UINT cBands,
                           LPREBARBANDINFOW prbbi) {
    CommandBandsState *st = IsWindow(hwndCmdBands) ? BandsState(hwndCmdBands) : nullptr;
    if (!st || !prbbi) return FALSE;
    for (UINT i = 0; i < cBands; ++i) {
        const REBARBANDINFOW &in = prbbi[i];
        if (in.cbSize < REBARBANDINFOW_V3_SIZE) return FALSE;
        UINT id = (in.fMask & RBBIM_ID) ? in.wID : 0;
        HWND bar = CreateCommandBar(st->hwndRebar, hwndCmdBands, st->hwndOwner, id, hinst);
        if (!bar) return FALSE;
        REBARBANDINFOW rb{};
        rb.cbSize = REBARBANDINFOW_V3_SIZE;
        rb.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_ID | RBBIM_STYLE;
        rb.fStyle = (in.fMask & RBBIM_STYLE) ? in.fStyle : 0;
        rb.wID = id;
        rb.hwndChild = bar;
        rb.cx = (in.fMask & RBBIM_SIZE) ? in.cx : 100;
        // A band never gets narrower than asked: a row that has no room for it wraps.
        rb.cxMinChild = (in.fMask & RBBIM_CHILDSIZE) ? in.cxMinChild : rb.cx;
        rb.cyMinChild = BarHeight();
        // The bands take the face colour unless the caller gives colours.
        rb.fMask |= RBBIM_COLORS;
        rb.clrFore = (in.fMask & RBBIM_COLORS) ? in.clrFore : GetSysColor(COLOR_BTNTEXT);
        rb.clrBack = (in.fMask & RBBIM_COLORS) ? in.clrBack : GetSysColor(COLOR_BTNFACE);
        if ((in.fMask & RBBIM_TEXT) && in.lpText) {
            rb.fMask |= RBBIM_TEXT;
            rb.lpText = in.lpText;
        }
        if (!SendMessageW(st->hwndRebar, RB_INSERTBANDW, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(&rb))) {
            DestroyWindow(bar);
            return FALSE;
        }
        st->bars.push_back(bar);
        st->bandStyles.push_back(rb.fStyle);
    }
    LayoutBands(st);
    return TRUE;
}

HWND CommandBands_GetCommandBar(HWND hwndCmdBands, UINT uBand) {
    CommandBandsState *st = IsWindow(hwndCmdBands) ? BandsState(hwndCmdBands) : nullptr;
    if (!st || uBand >= st->bars.size() || !IsWindow(st->bars[uBand])) return nullptr;
    return st->bars[uBand];
}

BOOL CommandBands_AddAdornments(HWND hwndCmdBands, HINSTANCE, DWORD dwFlags, LPREBARBANDINFOW) {
    CommandBandsState *st = IsWindow(hwndCmdBands) ? BandsState(hwndCmdBands) : nullptr;
    if (!st || st->hwndAdornments) return FALSE;
    auto *as = new AdornmentsState;
    as->hwndOwner = st->hwndOwner;
    if (dwFlags & CMDBAR_HELP) as->kinds.push_back(ADORN_HELP);
    if (dwFlags & CMDBAR_OK) as->kinds.push_back(ADORN_OK);
    as->kinds.push_back(ADORN_CLOSE);
    st->hwndAdornments =
        CreateWindowExW(0, kAdornmentsClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                        hwndCmdBands, nullptr, GetModuleHandleW(nullptr), as);
    if (!st->hwndAdornments) {
        delete as;
        return FALSE;
    }
    LayoutBands(st);
    return TRUE;
}

BOOL CommandBar_InsertMenubar(HWND hwndCB, HINSTANCE hInst, WORD idMenu, WORD iButton) {
    CommandBarState *bs = IsWindow(hwndCB) ? BarState(hwndCB) : nullptr;
    if (!bs || bs->hMenu) return FALSE;
    HMENU menu = LoadMenuW(hInst, MAKEINTRESOURCEW(idMenu));
    if (!menu) return FALSE;
    int count = GetMenuItemCount(menu);
    int buttons = static_cast<int>(SendMessageW(hwndCB, TB_BUTTONCOUNT, 0, 0));
    int first = std::min<int>(iButton, buttons);
    // Text buttons beside image buttons: list style, text only where asked for.
    SetWindowLongPtrW(hwndCB, GWL_STYLE, GetWindowLongPtrW(hwndCB, GWL_STYLE) | TBSTYLE_LIST);
    SendMessageW(hwndCB, TB_SETEXTENDEDSTYLE, 0,
                 SendMessageW(hwndCB, TB_GETEXTENDEDSTYLE, 0, 0) | TBSTYLE_EX_MIXEDBUTTONS);
    // A bar without images keeps no room for one in front of the menu texts.
    if (!bs->hasImages) SendMessageW(hwndCB, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    bs->menuTexts.clear();
    for (int i = 0; i < count; ++i) {
        WCHAR text[256] = L"";
        GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
        bs->menuTexts.emplace_back(text);
    }
    for (int i = 0; i < count; ++i) {
        TBBUTTON b{};
        b.iBitmap = I_IMAGENONE;
        b.idCommand = kMenuButtonBase + i;
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        b.iString = reinterpret_cast<INT_PTR>(bs->menuTexts[i].c_str());
        if (!SendMessageW(hwndCB, TB_INSERTBUTTONW, first + i, reinterpret_cast<LPARAM>(&b))) {
            for (int j = 0; j < i; ++j) SendMessageW(hwndCB, TB_DELETEBUTTON, first, 0);
            DestroyMenu(menu);
            bs->menuTexts.clear();
            return FALSE;
        }
    }
    bs->hMenu = menu;
    bs->menuFirst = first;
    bs->menuCount = count;
    return TRUE;
}

HMENU CommandBar_GetMenu(HWND hwndCB, int iButton) {
    CommandBarState *bs = IsWindow(hwndCB) ? BarState(hwndCB) : nullptr;
    if (!bs || !bs->hMenu) return nullptr;
    if (iButton != 0 && !IsMenuButton(bs, iButton)) return nullptr;
    return bs->hMenu;
}

int CommandBar_AddBitmap(HWND hwndCB, HINSTANCE hInst, int idBitmap, int iNumImages,
                         int iImageWidth, int iImageHeight) {
    if (!IsWindow(hwndCB)) return -1;
    // Without a size the images are 16 by 16, as the standard ones.
    if (iImageWidth <= 0 || iImageHeight <= 0) iImageWidth = iImageHeight = 16;
    SendMessageW(hwndCB, TB_SETBITMAPSIZE, 0, MAKELPARAM(iImageWidth, iImageHeight));
    if (CommandBarState *bs = BarState(hwndCB)) bs->hasImages = true;
    int images = iNumImages;
    if (images <= 0 && hInst != HINST_COMMCTRL) {
        // Count the images of the bitmap from its width.
        HBITMAP bmp = static_cast<HBITMAP>(
            LoadImageW(hInst, MAKEINTRESOURCEW(idBitmap), IMAGE_BITMAP, 0, 0, 0));
        BITMAP bm{};
        if (bmp && GetObjectW(bmp, sizeof bm, &bm)) images = bm.bmWidth / iImageWidth;
        if (bmp) DeleteObject(bmp);
    }
    TBADDBITMAP ab{hInst, static_cast<UINT_PTR>(idBitmap)};
    return static_cast<int>(
        SendMessageW(hwndCB, TB_ADDBITMAP, std::max(images, 1), reinterpret_cast<LPARAM>(&ab)));
}

BOOL CommandBar_AddButtons(HWND hwndCB, UINT uNumButtons, LPTBBUTTON lpButtons) {
    if (!IsWindow(hwndCB)) return FALSE;
    return SendMessageW(hwndCB, TB_ADDBUTTONSW, uNumButtons, reinterpret_cast<LPARAM>(lpButtons)) !=
           0;
}

BOOL CommandBar_AddToolTips(HWND hwndCB, UINT uNumToolTips, LPCWSTR *lpToolTips) {
    if (!IsWindow(hwndCB) || !BarState(hwndCB)) return FALSE;
    return SendMessageW(hwndCB, TB_SETTOOLTIPS, uNumToolTips,
                        reinterpret_cast<LPARAM>(lpToolTips)) != 0;
}

HWND CommandBar_InsertComboBox(HWND hwndCB, HINSTANCE hInst, int iWidth, UINT dwStyle,
                               WORD idComboBox, WORD iButton) {
    CommandBarState *bs = IsWindow(hwndCB) ? BarState(hwndCB) : nullptr;
    if (!bs || iWidth <= 0) return nullptr;
    int buttons = static_cast<int>(SendMessageW(hwndCB, TB_BUTTONCOUNT, 0, 0));
    int index = std::min<int>(iButton, buttons);
    // A separator as wide as the combo box keeps its place among the buttons.
    TBBUTTON sep{};
    sep.iBitmap = iWidth;
    sep.idCommand = idComboBox;
    sep.fsState = TBSTATE_ENABLED;
    sep.fsStyle = BTNS_SEP;
    if (!SendMessageW(hwndCB, TB_INSERTBUTTONW, index, reinterpret_cast<LPARAM>(&sep)))
        return nullptr;
    if (bs->menuCount && index <= bs->menuFirst) ++bs->menuFirst;
    RECT rc{};
    SendMessageW(hwndCB, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc));
    HWND combo = CreateWindowExW(
        0, L"COMBOBOX", nullptr, (dwStyle & ~(WS_POPUP | WS_OVERLAPPED)) | WS_CHILD | WS_VISIBLE,
        rc.left, 0, iWidth, ComboDropHeight(), hwndCB,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(idComboBox)), hInst, nullptr);
    if (!combo) {
        SendMessageW(hwndCB, TB_DELETEBUTTON, index, 0);
        return nullptr;
    }
    SendMessageW(combo, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    RECT cr{};
    GetWindowRect(combo, &cr);
    int top = std::max<int>(0, (BarHeight() - (cr.bottom - cr.top)) / 2);
    SetWindowPos(combo, nullptr, rc.left, top, iWidth, ComboDropHeight(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return combo;
}

int CommandBar_Height(HWND hwndCB) {
    if (!IsWindow(hwndCB)) return 0;
    CommandBarState *bs = BarState(hwndCB);
    HWND bands = bs ? bs->hwndBands : nullptr;
    RECT rc{};
    GetWindowRect(bands && IsWindow(bands) ? bands : hwndCB, &rc);
    return rc.bottom - rc.top;
}
