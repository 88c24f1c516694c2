// The object list's rows. The list box keeps no texts of its own (LBS_NODATA with
// LBS_OWNERDRAWFIXED): it knows how many rows there are, and each row is drawn from the texts kept
// here. Filling the list is then one LB_SETCOUNT, however many objects it shows.
#pragma once

#include <windows.h>

#include <vector>

// Takes over the list box's messages that need its texts: LB_GETTEXT and LB_GETTEXTLEN answer
// from the kept texts, LB_RESETCONTENT wipes them, WM_CHAR selects by first letter, and
// WM_SETFONT makes the row height follow the font. Called once the list box exists.
void AttachObjectRows(HWND list);

// The list shows these texts, in this order (copied; the caller's may go). No row is selected
// afterwards and the first row is at the top.
void SetObjectRows(const std::vector<const WCHAR *> &texts);

// A row's text; empty outside the rows.
const WCHAR *ObjectRowText(int row);

// Draws a row of the object list for the main window's WM_DRAWITEM, as a list box of texts
// draws its rows (the colours the list's WM_CTLCOLORLISTBOX set, the selection's system colours,
// the focus rectangle). False for any other control's item.
bool DrawObjectRow(const DRAWITEMSTRUCT *item);
