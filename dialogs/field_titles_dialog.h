// The field titles dialog (template 117) for field 1, 2 or 3.
#pragma once

#include <windows.h>

INT_PTR RunFieldTitlesDialog(HINSTANCE hInstance, HWND owner, int field);
INT_PTR CALLBACK FieldTitlesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
