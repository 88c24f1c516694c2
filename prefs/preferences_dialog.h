// The preferences dialog (template 112): encryption on or off, the auto-quit period.
#pragma once

#include <windows.h>

INT_PTR CALLBACK PreferencesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
