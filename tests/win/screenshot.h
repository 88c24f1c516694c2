// Screenshots of test windows, kept as artifacts.
#pragma once

#include <windows.h>

#include <string>

#include "harness/win/ui_driver.h"

// Writes what the screen shows of a window (frame included) as a 24-bit BMP into the folder
// ARKEL_SCREENSHOT_DIR names, when it is set; the pictures are for looking at, not for checks.
inline void SaveWindowShot(HWND window, const wchar_t *name) {
    wchar_t dir[MAX_PATH];
    if (!GetEnvironmentVariableW(L"ARKEL_SCREENSHOT_DIR", dir, MAX_PATH)) return;
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpUntil([] { return false; }, 200);
    RECT rc;
    GetWindowRect(window, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((w * 3 + 3) & ~3), size = stride * h;
    BITMAPFILEHEADER fh{0x4D42, DWORD(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                        DWORD(sizeof fh + sizeof bi.bmiHeader)};
    std::wstring path = std::wstring(dir) + L"\\" + name;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(f, &fh, sizeof fh, &written, nullptr);
        WriteFile(f, &bi.bmiHeader, sizeof bi.bmiHeader, &written, nullptr);
        WriteFile(f, bits, size, &written, nullptr);
        CloseHandle(f);
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}
