// The two shapes of the program's windows: a handheld's screen, where the main window covers the
// work area as on the device, and a desktop screen, where it is an ordinary top-level window.
#pragma once

#include <windows.h>

// The most a work area measures, in pixels at 96 DPI, for the program to take it as a handheld's
// screen: 480 on its shorter side and 640 on its longer one, so 240x320 and 480x640 (portrait or
// landscape) are handhelds and 800x600 or any desktop monitor is not.
constexpr int kHandheldShortSide = 480;
constexpr int kHandheldLongSide = 640;

// Whether a work area of this size in pixels, at dpi dots per inch, is a handheld's screen.
bool IsHandheldWorkArea(const RECT &work, UINT dpi);

// Whether the primary monitor's work area (SPI_GETWORKAREA) is a handheld's screen at the system
// DPI; true when it cannot be read.
bool HandheldScreen();

// The system DPI (96 when unknown) and a length of 96-DPI pixels scaled to it.
UINT SystemDpi();
int ScaleToDpi(int pixels, UINT dpi);
