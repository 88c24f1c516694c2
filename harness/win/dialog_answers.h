// Steps that answer the program's own dialogs, for UiDriver::onNextDialog: a file dialog and the
// password dialogs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Answers a file dialog: types the name, picks the filter (1-based; 0 leaves it), presses OK.
// caption, when given, receives the dialog's title.
std::function<void(HWND)> ChooseFile(const std::wstring &path, int filter,
                                     std::wstring *caption = nullptr);

// Answers a password dialog: both edits of the set-password dialog, or the one of the
// enter-password dialog, then OK. The dialog hands the password to setPassword; the step does
// the same, so that it also works with a dialog that does not yet.
std::function<void(HWND)> AnswerPassword(const std::wstring &password,
                                         std::wstring *caption = nullptr);
