// One object as clipboard text: copy, paste and the paste command's state.
#pragma once

#include <windows.h>

void CopyObjectToClipboard(HWND owner);
void PasteObjectFromClipboard(HWND owner);
void UpdatePasteState();
