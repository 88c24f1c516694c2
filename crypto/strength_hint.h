// The strength hint under a new password in the set-password and change-password dialogs.
#pragma once

#include <windows.h>

// The hint for a password, e.g. "Stärke: 37 von 144 Bit – schwach"; empty for an empty password.
// out holds 64 units.
void FormatStrengthHint(const WCHAR *password, WCHAR *out);

// When the message is the change of the password edit editId, shows the hint for its text in the
// dialog's static IDC_PASSWORD_STRENGTH and returns true.
bool StrengthHintMessage(HWND hDlg, UINT message, WPARAM wParam, int editId);
