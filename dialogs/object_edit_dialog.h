// The object edit dialog (template 105), in mode 101 (new object) or 40004 (edit the current one).
#pragma once

#include <windows.h>

#include "platform/cedb.h"

// The mode of the last opened edit dialog, its creation parameter: 101 or 40004.
extern unsigned objectEditMode;

INT_PTR CALLBACK ObjectEditDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// True when the dialog's texts, category, titles or flag differ from what it opened with: in the
// edit mode the selected object (CurrentObject), in the new mode the dialog's first contents.
bool ObjectEditChanged(HWND hDlg);

// A dialog that an idle lock ends keeps what it shows, in memory for the time of the lock: the
// texts, what its change test compares with, its mode and the record it edits. The dialog opened
// again in that mode after the unlock shows the held texts and drops them. False when nothing is
// held.
bool HeldObjectEdit(unsigned *mode, CEOID *record);
// When the dialog is an object edit dialog, holds what it shows as an idle lock does (for a lock
// that ends it from outside, as at the end of the session). False for any other dialog.
bool HoldIfObjectEdit(HWND hDlg);
// Wipes what is held (also when the lock ends without the dialog opening again).
void DropHeldObjectEdit();
