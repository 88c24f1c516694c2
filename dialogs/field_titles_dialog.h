// The field titles dialog (template 117) for field 1, 2 or 3, and what the three editing dialogs
// share about the title lists.
#pragma once

#include <windows.h>

class NameList;

// The field number (1, 2 or 3) of the open field titles dialog; it selects the title list.
extern int titleDialogField;

// The picker entry that opens the field titles dialog: a blank, "Neu" and an ellipsis (U+2026).
// Its leading blank sorts it before every title, since no title may start with a blank.
extern const WCHAR kNewTitleEntry[];

// The title list of field 1, 2 or 3 (FieldTitleList1 to FieldTitleList3).
NameList &TitleListOf(int field);

// Fills a sorted combo box with the titles of a field, followed by kNewTitleEntry.
void FillTitlePicker(HWND combo, int field);

// Removes what an edit's text starts with that is a blank or a control character (U+0020 or
// lower) and puts the rest back, caret at its end. text (256 units) receives the edit's text.
void StripLeadingBlanks(HWND edit, WCHAR *text);

// Moves and, when it is larger, shrinks the dialog so that it lies whole inside the work area;
// the templates of 134 dialog units come out a pixel wider than the 240-pixel screen.
void KeepDialogOnScreen(HWND hDlg);

// Runs the dialog for one field with owner's timer 1 stopped; returns the dialog's result.
INT_PTR RunFieldTitlesDialog(HINSTANCE hInstance, HWND owner, int field);
INT_PTR CALLBACK FieldTitlesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
// The handlers of the dialog's edit (1069) and list (1070) commands.
BOOL TitleEditNotify(HWND hDlg, WPARAM wParam, LPARAM lParam);
BOOL TitleListNotify(HWND hDlg, WPARAM wParam, LPARAM lParam);
