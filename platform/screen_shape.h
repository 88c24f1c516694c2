// The two shapes of the program's windows: a handheld's screen, where the main window covers the
// work area as on the device, and a desktop screen, where it is an ordinary top-level window.
#pragma once

#include <windows.h>

// The most a work area measures on either side, in pixels at 96 DPI, for the program to take it
// as a handheld's screen: 240x320 at 96 DPI and 480x640 at 192 DPI, portrait or landscape, are
// handhelds; 640x480 or 800x600 at 96 DPI, 1280x800 at 192 DPI and any desktop monitor are not.
constexpr int kHandheldSide = 480;

// Whether a work area of this size in pixels, at dpi dots per inch, is a handheld's screen.
bool IsHandheldWorkArea(const RECT &work, UINT dpi);

// Whether the primary monitor's work area (SPI_GETWORKAREA) is a handheld's screen at the system
// DPI; true when it cannot be read.
bool HandheldScreen();

// The system DPI (96 when unknown) and a length of 96-DPI pixels scaled to it.
UINT SystemDpi();
int ScaleToDpi(int pixels, UINT dpi);
