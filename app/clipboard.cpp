#include "app/clipboard.h"

// Will put CurrentObject on the clipboard as five lines of text.
void CopyObjectToClipboard(HWND /*owner*/) {}

// Will add the object that the clipboard text describes and select it in the list.
void PasteObjectFromClipboard(HWND /*owner*/) {}

// Will enable the paste command exactly when the clipboard holds a pasteable object.
void UpdatePasteState() {}
