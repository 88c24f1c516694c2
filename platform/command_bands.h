// Windows CE command bands and command bars for desktop Windows.
//
// On the handheld the main window's menu, tool buttons and combo box live in a "command bands"
// control: a rebar whose bands each hold a command bar (a toolbar that can also carry a menu bar
// and combo boxes), plus the adornments (close, help, OK) at the right end of the first row.
// Desktop Windows has rebars and toolbars but none of the command bar calls, so this layer
// provides them with their Windows CE names, signatures and constant values on comctl32's rebar
// and toolbar. The layer only draws and routes; band widths, button order, command ids and
// tooltip texts are the caller's.
//
// What callers can rely on:
// - CommandBands_Create makes the control as a child of the owner at the top of its client area,
//   as wide as the client area. It follows the owner's size by itself (the layer watches the
//   owner's WM_SIZE), so the owner needs no code for it.
// - CommandBands_AddBands adds one band per REBARBANDINFO, in order, and creates a command bar in
//   each (any RBBIM_CHILD given is ignored). Fields read: cbSize (at least 76, i.e.
//   REBARBANDINFOW_V3_SIZE; sizeof(REBARBANDINFOW) is fine), fMask, and per mask fStyle, cx, wID,
//   lpText, clrFore/clrBack, cxMinChild. A band keeps its width (it never shrinks below cx); bands
//   that do not fit next to each other go to the next row, the first row keeping room for the
//   adornments (a 240-pixel screen gets three rows, a wide one a single row).
// - CommandBands_GetCommandBar returns the command bar of band uBand (0-based index in the order
//   the bands were added), or NULL.
// - Command bars are toolbars: TB_ADDBUTTONSW, TB_ENABLEBUTTON, TB_ISBUTTONENABLED ... work as on
//   the desktop. Their WM_COMMAND (buttons, and notifications of combo boxes inserted into them)
//   reach the owner of the command bands. TB_SETTOOLTIPS has its Windows CE meaning on command
//   bars: wParam is the number of texts, lParam an array of LPCWSTR, one per non-separator button
//   in button order, menu bar buttons not counted (see CommandBar_AddToolTips); texts are copied.
// - CommandBar_InsertMenubar loads the menu resource and shows one drop-down button per pop-up.
//   A click, Alt (pressed and released alone), F10 or Alt+mnemonic opens a pop-up (from the
//   keyboard with its first item selected; Alt and F10 open the first pop-up); while a pop-up
//   is open Left/Right move to the neighbouring pop-up, the mouse moving over another menu button
//   opens that one, Esc closes. Alt and F10 count only when pressed and released alone (no other
//   key or mouse button in between), whichever window of the owner has the focus: the layer
//   watches the thread's messages for them, also where a child takes the key itself (a combo
//   box's Alt+Down). The chosen command reaches the owner as WM_COMMAND (wParam = id,
//   lParam = 0), after the pop-up has closed. CommandBar_GetMenu returns the loaded menu; items
//   enabled, greyed or checked in it show so the next time a pop-up opens.
// - CommandBands_AddAdornments puts the buttons at the right end of the first row: close always
//   (sends WM_CLOSE to the owner), help with CMDBAR_HELP (sends WM_HELP with a HELPINFO),
//   OK with CMDBAR_OK (sends WM_COMMAND IDOK, lParam 0); WM_CLOSE and IDOK are posted, WM_HELP
//   is sent. Other flag bits and the band description are ignored.
// - CommandBar_Height returns, for a command bar inside command bands, the height of the whole
//   command bands control (all rows, adornments included), i.e. the y where the owner's own
//   children may start; for any other window its window height.
// - The control and its command bars are destroyed with the owner (or earlier with
//   DestroyWindow); the loaded menu and the copied texts are freed then.
#pragma once

#include <windows.h>

#include <commctrl.h>

// Adornment flags of CommandBands_AddAdornments (Windows CE values).
#define CMDBAR_HELP 0x0001
#define CMDBAR_OK 0x0002

// The standard images (STD_CUT .. STD_PRINT), HINST_COMMCTRL and IDB_STD_SMALL_COLOR come from
// <commctrl.h> with the same values as on Windows CE.

// Class name of the command bands control (a container around the rebar and the adornments).
#define COMMANDBANDS_CLASSW L"ArkelCommandBands"

HWND CommandBands_Create(HINSTANCE hinst, HWND hwndParent, UINT wID, DWORD dwStyles,
                         HIMAGELIST himl);
BOOL CommandBands_AddBands(HWND hwndCmdBands, HINSTANCE hinst, UINT cBands, LPREBARBANDINFOW prbbi);
HWND CommandBands_GetCommandBar(HWND hwndCmdBands, UINT uBand);
BOOL CommandBands_AddAdornments(HWND hwndCmdBands, HINSTANCE hinst, DWORD dwFlags,
                                LPREBARBANDINFOW prbbi);

// Inserts the menu bar of menu resource idMenu before button iButton of the command bar.
BOOL CommandBar_InsertMenubar(HWND hwndCB, HINSTANCE hInst, WORD idMenu, WORD iButton);
// The menu of the menu bar (iButton is the menu bar's button index, 0 for the usual case).
HMENU CommandBar_GetMenu(HWND hwndCB, int iButton);
// Adds a bitmap of button images (TB_SETBITMAPSIZE when a size is given, then TB_ADDBITMAP);
// returns the index of its first image or -1. hInst HINST_COMMCTRL selects the standard images.
int CommandBar_AddBitmap(HWND hwndCB, HINSTANCE hInst, int idBitmap, int iNumImages,
                         int iImageWidth, int iImageHeight);
// Adds buttons (TB_ADDBUTTONSW); returns TRUE on success.
BOOL CommandBar_AddButtons(HWND hwndCB, UINT uNumButtons, LPTBBUTTON lpButtons);
// Sets the tooltip texts, one per non-separator button in button order (copied).
BOOL CommandBar_AddToolTips(HWND hwndCB, UINT uNumToolTips, LPCWSTR *lpToolTips);
// Creates a combo box of width iWidth at button position iButton (a separator holds its place);
// its notifications reach the owner as WM_COMMAND with idComboBox. Returns NULL on failure.
HWND CommandBar_InsertComboBox(HWND hwndCB, HINSTANCE hInst, int iWidth, UINT dwStyle,
                               WORD idComboBox, WORD iButton);
int CommandBar_Height(HWND hwndCB);
