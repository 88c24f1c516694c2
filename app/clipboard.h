// One object as clipboard text: copy, paste and the paste command's state.
//
// The text is five lines: "title<TAB>value" for the three fields, the category, the encrypt
// flag, each ended by CR LF. Any program can read it, and text of that layout typed elsewhere
// pastes as an object.
#pragma once

#include <windows.h>

// Puts CurrentObject on the clipboard. On failure (the clipboard is busy, no memory) shows a
// message owned by owner and leaves the clipboard as it was. TRUE when the text is on the
// clipboard. The paste state is read again either way.
BOOL CopyObjectToClipboard(HWND owner);

// Puts field 1, 2 or 3 of CurrentObject on the clipboard, as text alone. On failure shows a
// message owned by owner. TRUE when the text is on the clipboard.
BOOL CopyFieldToClipboard(HWND owner, int field);

// The clear timer (timer 3 of the main window): after the "Zwischenablage leeren nach" time
// the clipboard is emptied when it still holds the text of the last copy. Armed after a copy
// (0 seconds: never).
constexpr UINT_PTR kClipboardTimer = 3;
void ArmClipboardClear();
void OnClipboardClearTimer();

// Fills the eight buffers (256 units each) from the clipboard text and sets the paste command's
// state. 1 when the text is a pasteable object (titles 1 to 3 and values 1 and 2 not empty). The
// text is read by readClipboardText (exchange/clipboard_text.h), field by field with
// NextClipboardField.
int ReadClipboardObject(WCHAR *value1, WCHAR *value2, WCHAR *value3, WCHAR *category, WCHAR *flag,
                        WCHAR *title1, WCHAR *title2, WCHAR *title3);

// Adds the clipboard's object (its categories and titles to their lists) and selects it in the
// list. 1 when an object was added, 0 when the clipboard holds no pasteable object, -1 when the
// object could not be written (a message owned by owner says so).
int PasteObjectFromClipboard(HWND owner);

// Enables the paste command exactly when the clipboard holds a pasteable object.
void UpdatePasteState();

// At the end of the program: empties the clipboard when it still holds the text of the last copy
// and nothing newer, so that no object stays behind in it.
void RemoveObjectFromClipboard();
