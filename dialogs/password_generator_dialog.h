// "Passwort erzeugen" (template 118): a password of a chosen length from chosen character groups,
// drawn from the system's random generator, shown before it is taken.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Runs the dialog over owner. On "Übernehmen" the password is in out (256 units) and the result is
// true; Cancel, the close button and the idle time give false and leave out empty.
bool RunPasswordGenerator(HWND owner, WCHAR *out);

INT_PTR CALLBACK PasswordGeneratorDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// Random bytes from the system's generator (BCryptGenRandom); false when it fails.
bool SystemRandomBytes(std::uint8_t *bytes, std::size_t count);
