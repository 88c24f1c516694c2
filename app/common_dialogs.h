// The system's file and colour dialogs, in a shape that fits the screen.
//
// On a desktop screen these are the system's own dialogs (the Explorer-style file dialogs, the
// stock colour dialog). On a handheld's screen (HandheldScreen() at the moment the dialog opens)
// those come out wider than the 240-pixel screen, with their buttons off it; there the dialogs
// are built from templates of the program (IDD_FILE_HANDHELD, IDD_COLOUR_HANDHELD) laid out for
// 240x320, and kept inside the work area.
#pragma once

#include <windows.h>

#include <commdlg.h>

// Runs the save (save true) or open dialog as GetSaveFileNameW and GetOpenFileNameW do, with
// the same result in ofn (the chosen path in lpstrFile, the filter left selected in
// nFilterIndex). On a handheld's screen the dialog is the older, template-based style, and this
// function gives it what the Explorer style does by itself: the default extension (that of the
// chosen filter when it names one, else lpstrDefExt) for a name typed without one, and the
// question before an existing file is replaced (OFN_OVERWRITEPROMPT).
BOOL RunFileDialog(OPENFILENAMEW &ofn, bool save);

// Runs the colour dialog as ChooseColorW does. On a handheld's screen its template stacks the
// basic and custom colours above the buttons, and "Farben definieren >>" opens the mixer beside
// them, all within 240 pixels.
BOOL RunColourDialog(CHOOSECOLORW &cc);

// Moves a window (not resizing it) by the least amount that puts it inside the work area; as
// far up and left as it goes when it is larger.
void KeepInsideWorkArea(HWND window);
