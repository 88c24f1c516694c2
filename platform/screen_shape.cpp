#include "platform/screen_shape.h"

#include <algorithm>

bool IsHandheldWorkArea(const RECT &work, UINT dpi) {
    if (dpi == 0) dpi = 96;
    const int width = MulDiv(work.right - work.left, 96, static_cast<int>(dpi));
    const int height = MulDiv(work.bottom - work.top, 96, static_cast<int>(dpi));
    return std::max(width, height) <= kHandheldSide;
}

bool HandheldScreen() {
    RECT work;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return true;
    return IsHandheldWorkArea(work, SystemDpi());
}

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    if (!screen) return 96;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int ScaleToDpi(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), 96); }
