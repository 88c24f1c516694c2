// The object edit dialog (template 105), in mode 101 (new object) or 40004 (edit the current one).
#pragma once

#include <windows.h>

// The mode of the last opened edit dialog, its creation parameter: 101 or 40004.
extern unsigned objectEditMode;

INT_PTR CALLBACK ObjectEditDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// True when the dialog's texts, category, titles or flag differ from what it opened with: in the
// edit mode the selected object (CurrentObject), in the new mode the dialog's first contents.
bool ObjectEditChanged(HWND hDlg);
