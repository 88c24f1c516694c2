// Message boxes that fit the handheld's screen.
//
// The desktop sizes a message box for a desktop screen: on the 240-pixel screen a box with a
// sentence of text comes out wider than the screen, and its caption, the end of its text and its
// buttons are cut off. InstallMessageBoxFit, called once at start-up on the UI thread, installs a
// thread hook (WH_CBT) that subclasses every dialog window of that thread at its creation and so
// looks at every message box of that thread once it is shown
// and its modal loop runs. A box
// wider than the work area, or one whose own layout leaves a part of it outside its client area,
// is laid out again within the work area: the text wraps at the new width (the box
// grows in height instead), the buttons keep their order and stand centred in one row below the
// text, and the box is centred in the work area. Boxes that fit are left as the system made them.
#pragma once

#include <windows.h>

// Installs the hook for the calling thread; 0 on success (also when already installed).
int InstallMessageBoxFit();
// Removes the hook of the calling thread.
void RemoveMessageBoxFit();
// Lays one message box out within the given rectangle (screen coordinates) when it does not fit.
void FitMessageBox(HWND box, const RECT &area);
