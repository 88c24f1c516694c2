// The main window's two shapes. On a handheld's screen it covers the work area without a caption,
// as on the device; on a desktop screen it is an ordinary top-level window with a caption, the
// program's icon, a minimum size of the handheld's window and the place the user last gave it.
#include <windows.h>

#include <algorithm>

#include "app/shell.h"
#include "platform/screen_shape.h"
#include "prefs/settings.h"
#include "resources/resource.h"

WindowShape windowShape = WindowShape::Handheld;
UINT shellDpi = 96;

int Px(int pixels) { return ScaleToDpi(pixels, shellDpi); }

namespace {

// The handheld's window: a 240x320 screen less its 26-pixel task bar.
constexpr int kHandheldClientWidth = 240;
constexpr int kHandheldClientHeight = 294;
// A desktop window first opens this many times the handheld's size, as far as the work area
// allows: the handheld's proportions at a size that is comfortable to read.
constexpr int kFirstScale = 2;
constexpr DWORD kDesktopStyle = WS_OVERLAPPEDWINDOW;

SIZE WindowSizeForClient(int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, kDesktopStyle, FALSE, 0);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE MinimumWindowSize() {
    return WindowSizeForClient(Px(kHandheldClientWidth), Px(kHandheldClientHeight));
}

// The first place of a desktop window: the handheld's proportions, as large as kFirstScale
// times the handheld's window or nine tenths of the work area's height, centred in it.
RECT FirstPlace(const RECT &work) {
    const int workWidth = static_cast<int>(work.right - work.left);
    const int workHeight = static_cast<int>(work.bottom - work.top);
    SIZE frame = WindowSizeForClient(0, 0);
    int height = Px(kHandheldClientHeight * kFirstScale);
    height = std::min(height, workHeight * 9 / 10 - static_cast<int>(frame.cy));
    height = std::max(height, Px(kHandheldClientHeight));
    int width = MulDiv(height, kHandheldClientWidth, kHandheldClientHeight);
    SIZE size = WindowSizeForClient(width, height);
    int x = static_cast<int>(work.left) + std::max(0, (workWidth - static_cast<int>(size.cx)) / 2);
    int y = static_cast<int>(work.top) + std::max(0, (workHeight - static_cast<int>(size.cy)) / 2);
    return RECT{x, y, x + size.cx, y + size.cy};
}

// The place stored at the last end, scaled when the DPI changed since; false when there is none
// or when it lies on no monitor (a monitor since taken away).
bool StoredPlace(RECT *place, bool *maximized) {
    WindowPlacement stored;
    if (!settings.GetWindowPlacement(&stored)) return false;
    RECT r{stored.left, stored.top, stored.left + stored.width, stored.top + stored.height};
    if (stored.dpi && stored.dpi != static_cast<int>(shellDpi)) {
        r.right = r.left + MulDiv(stored.width, static_cast<int>(shellDpi), stored.dpi);
        r.bottom = r.top + MulDiv(stored.height, static_cast<int>(shellDpi), stored.dpi);
    }
    // The caption must be reachable: the window's top strip has to lie on a monitor.
    RECT caption{r.left, r.top, r.right, r.top + GetSystemMetrics(SM_CYCAPTION)};
    HMONITOR monitor = MonitorFromRect(&caption, MONITOR_DEFAULTTONULL);
    if (!monitor) return false;
    // Never larger than that monitor's work area (a size scaled up to a higher DPI could be),
    // never smaller than the handheld's window.
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        const RECT &work = info.rcWork;
        if (r.right - r.left > work.right - work.left) r.right = r.left + (work.right - work.left);
        if (r.bottom - r.top > work.bottom - work.top) r.bottom = r.top + (work.bottom - work.top);
        if (r.right > work.right) OffsetRect(&r, work.right - r.right, 0);
        if (r.bottom > work.bottom) OffsetRect(&r, 0, work.bottom - r.bottom);
    }
    SIZE least = MinimumWindowSize();
    if (r.right - r.left < least.cx) r.right = r.left + least.cx;
    if (r.bottom - r.top < least.cy) r.bottom = r.top + least.cy;
    *place = r;
    *maximized = stored.maximized != 0;
    return true;
}

void SetIcons(HWND hwnd) {
    // The sizes the system asks for at its DPI, so that neither icon is a blurred stretch.
    auto load = [](int metricX, int metricY) {
        return static_cast<HICON>(LoadImageW(hInst, MAKEINTRESOURCEW(IDI_ARKEL_CHEST), IMAGE_ICON,
                                             GetSystemMetrics(metricX), GetSystemMetrics(metricY),
                                             LR_DEFAULTCOLOR));
    };
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(load(SM_CXICON, SM_CYICON)));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(load(SM_CXSMICON, SM_CYSMICON)));
}

}  // namespace

int DetailHeight() { return Px(60); }

void ChooseWindowShape(const RECT *work) {
    shellDpi = SystemDpi();
    // Without a work area the window covers the screen, as on the handheld.
    windowShape =
        work && !IsHandheldWorkArea(*work, shellDpi) ? WindowShape::Desktop : WindowShape::Handheld;
    if (windowShape == WindowShape::Handheld && shellDpi < 96) shellDpi = 96;
}

HWND CreateMainWindow(const RECT *work) {
    if (windowShape == WindowShape::Handheld) {
        // Without a work area the window covers the screen: a pop-up window given CW_USEDEFAULT
        // would be 0 x 0 pixels.
        RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (work) r = *work;
        // A top-level window without a caption, as on the handheld: the desktop would give a
        // plain WS_VISIBLE window a caption bar, and the command bands carry the close button.
        return CreateWindowExW(0, kMainClass, kAppTitle, WS_POPUP | WS_VISIBLE, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, nullptr, nullptr, hInst,
                               nullptr);
    }
    RECT place = FirstPlace(*work);
    bool maximized = false;
    StoredPlace(&place, &maximized);
    HWND hwnd = CreateWindowExW(0, kMainClass, kAppTitle, kDesktopStyle, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, nullptr,
                                nullptr, hInst, nullptr);
    if (!hwnd) return nullptr;
    SetIcons(hwnd);
    // The normal place is the one restored from a maximized window.
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(hwnd, &wp);
    wp.rcNormalPosition = place;
    wp.showCmd = maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    SetWindowPlacement(hwnd, &wp);
    return hwnd;
}

void SaveWindowPlace(HWND hwnd) {
    if (windowShape != WindowShape::Desktop) return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(hwnd, &wp)) return;
    // A minimized window keeps its last normal place; the workspace coordinates of the normal
    // place equal screen coordinates for a window without a tool window style.
    const RECT &r = wp.rcNormalPosition;
    WindowPlacement stored;
    stored.left = r.left;
    stored.top = r.top;
    stored.width = r.right - r.left;
    stored.height = r.bottom - r.top;
    stored.maximized = wp.showCmd == SW_SHOWMAXIMIZED ||
                       (wp.showCmd == SW_SHOWMINIMIZED && (wp.flags & WPF_RESTORETOMAXIMIZED));
    stored.dpi = static_cast<int>(shellDpi);
    settings.SetWindowPlacement(stored);
}

void LimitWindowSize(MINMAXINFO *info) {
    if (windowShape != WindowShape::Desktop) return;
    SIZE least = MinimumWindowSize();
    info->ptMinTrackSize.x = least.cx;
    info->ptMinTrackSize.y = least.cy;
}
