// The shell's process-wide state and its operations: start-up, shutdown and the window procedures.
// One thread runs the whole program; everything here lives for the whole run.
#pragma once

#include <windows.h>

#include "app/test_seam.h"        // ShellSystemTime, ShellWorkArea: the clock and the screen
#include "prefs/settings.h"       // autoQuitActive, autoQuitPeriod
#include "resources/app_title.h"  // kAppTitle
#include "store/object_store.h"   // ObjectRecord, kFilterAll, kFilterNone

class NameList;
class FieldTitleList1;
class FieldTitleList2;
class FieldTitleList3;

extern HINSTANCE hInst;
extern HWND hMainWnd;
extern HMENU hMenu;
extern HWND hObjectList;
extern HACCEL hAccel;

// Children of the main window, made in its WM_CREATE.
extern HWND hCommandBands;
extern HWND hMenuBar, hToolBar, hComboBar;  // command bars of bands 1, 2 and 3
extern HWND hCategoryCombo;
extern HWND hDetailBack;
extern HWND hTitleLabel[3];
extern HWND hValueText[3];
extern HWND hCategoryText;

// The selected object as the detail area shows it (empty texts and flag 1 without a selection).
extern ObjectRecord CurrentObject;

// Category filter of the object list: a category name, " - Alle -" or " - Ohne -".
extern WCHAR currentCategory[256];

extern COLORREF clrDetailText, clrDetailBack;  // "ColorStatic", "BackColorStatic"
extern COLORREF clrWindowText, clrWindowBack;  // "ColorDialog", "BackColorDialog"
extern COLORREF clrListText, clrListBack;      // "ColorListe", "BackColorListe"
extern HBRUSH hbrListText, hbrListBack, hbrDetailText, hbrDetailBack, hbrWindowText, hbrWindowBack;
extern COLORREF customColors[16];

extern HFONT hBoldFont;
extern HFONT hNormalFont;

extern ULONGLONG lastTickTime;  // system time of the last one-second tick (100-ns units, UTC)

// The clipboard's memory of the last object copied: the clipboard owns it, the program keeps the
// handle only to know that it copied something. Never freed by the program.
extern HGLOBAL clipboardText;

// The global objects, constructed in this order before WinMain runs (the settings object is
// prefs/settings.h's).
extern NameList categoryStore;
extern FieldTitleList1 titleList1;
extern FieldTitleList2 titleList2;
extern FieldTitleList3 titleList3;
extern ObjectStore objectStore;

// Repaints the list and the detail area after their colours changed.
void RepaintInNewColours();

// Closes the object store, the category store and the title lists (the last close checkpoints
// the store's journal) and returns them to their state before start-up.
void CloseStores();

extern const WCHAR kMainClass[];  // "Arkel"

extern const WCHAR kArrowClass[];     // "PFEIL"
extern const WCHAR kEncryptedName[];  // list text of an object that is still encrypted

// The main window's shape, chosen once at start from the work area: the handheld's (the window
// covers the work area, without a caption) or the desktop's (an ordinary top-level window).
enum class WindowShape { Handheld, Desktop };
extern WindowShape windowShape;
// The DPI the program lays itself out for (the system DPI, never below 96), and a length given
// in pixels at 96 DPI scaled to it.
extern UINT shellDpi;
int Px(int pixels);
// Chooses the shape and the DPI from the work area (null when it cannot be read).
void ChooseWindowShape(const RECT *work);
// Creates the main window in the chosen shape: over the work area (else the screen), or at the
// desktop window's stored place (else its first place), with the program's icon.
HWND CreateMainWindow(const RECT *work);
// Stores the desktop window's place for the next start (nothing on the handheld).
void SaveWindowPlace(HWND hwnd);
// WM_GETMINMAXINFO: the desktop window is never smaller than the handheld's.
void LimitWindowSize(MINMAXINFO *info);
// The height of the detail area under the command bands.
int DetailHeight();
// Lays the children out from the main window's client size.
void LayoutMainWindow();

ATOM RegisterMainClass(HINSTANCE hInstance);
BOOL InitInstance(HINSTANCE hInstance, int nCmdShow);
void ReleaseDrawingObjects();
// Adds every category and field title that an object uses to the category store and the title
// lists; run at start and whenever the categories or field titles dialog closes.
void MergeNamesFromObjects();
LRESULT CALLBACK MainWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// One message of the main loop: an accelerator key runs its command and goes no further; any other
// message is translated and dispatched.
void DispatchShellMessage(MSG *msg);
// The main window's own keys (app/keyboard.cpp): Tab and Shift+Tab among the filter, the detail
// area, the search box and the list; Enter on a list row; Enter and Space on the detail area.
// True when the key was taken.
bool HandleShellKey(const MSG *msg);
// The detail area: its background, the three title labels and the three values.
bool IsDetailWindow(HWND w);

// Object list, filter and detail area.
void FillObjectList(ObjectStore &store, HWND hList);
void FillCategoryCombo();
void RefreshDetail();
void DeleteSelectedObject(HWND owner);
// "Feld 2 verdecken": true while the detail area shows field 2 of the selected object as dots.
bool Field2Hidden();
// Shows field 2 of the selected object in clear until another object is selected, or hides it
// again.
void RevealField2();

// The search box over the object list (Ctrl+F).
extern HWND hSearchEdit;
void CreateSearchBox(HWND main);
bool SearchIsOpen();
// The keys that edit the search text (Backspace, Entf, Strg+C, Strg+X, Strg+V): in the search box
// they reach the box, not the commands they name in the list.
bool IsSearchEditingKey(const MSG *msg);
// Shows the box (the list moves down under it) and puts the focus into it.
void OpenSearch();
// Narrows the list to the box's text and selects the first match.
void OnSearchChanged();
// Fills the list with the search's visible set (FillObjectList does so while the box is open).
void FillSearchList();
// Hides the box and gives back the category filter's list, the found object still selected
// when the filter shows it.
void CloseSearch();
// Places the search box (when open) and the list under the detail area.
void LayoutObjectList();
// The commands that act on the selected object (cut, copy, edit, delete, duplicate).
bool IsSelectionCommand(UINT command);
// The change-password command is offered only while the store is encrypted.
void EnablePasswordCommand(bool enable);
bool HasSelection();  // the list has a selected row
// The selected row is an object still in its encrypted form ("Verschlüsselt! Nicht bearbeiten!").
bool SelectedRowEncrypted();
int MeasureText(HWND hwnd, const WCHAR *text, HFONT font);
void FitTextToWindow(HWND hwnd, const WCHAR *text, WCHAR *out, HFONT font);

// Auto-quit: timer 1 of the main window quits after the idle period, timer 2 watches the clock.
void StartIdleTimers();
void StopIdleTimers();
void OnMainWindowTimer(HWND hwnd, UINT_PTR timer);

// Modal dialogs from the stored templates, and the arrow control of the object edit dialog.
INT_PTR RunDialog(HWND owner, int templateId, DLGPROC dlgProc, LPARAM param);
LRESULT CALLBACK ArrowWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
