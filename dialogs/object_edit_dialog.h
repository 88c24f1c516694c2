// The object edit dialog (template 105), in mode 101 (new object) or 40004 (edit the current one).
#pragma once

#include <windows.h>

INT_PTR CALLBACK ObjectEditDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
