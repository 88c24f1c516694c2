// The shell's process-wide state and its operations: start-up, shutdown and the window procedures.
// One thread runs the whole program; everything here lives for the whole run.
#pragma once

#include <windows.h>

class Settings;
class NameList;
class FieldTitleList1;
class FieldTitleList2;
class FieldTitleList3;
class ObjectStore;

extern HINSTANCE hInst;
extern HWND hMainWnd;
extern HMENU hMenu;
extern HWND hObjectList;
extern HACCEL hAccel;

// Category filter of the object list: a category name, " - Alle -" or " - Ohne -".
extern WCHAR currentCategory[256];

extern COLORREF clrDetailText, clrDetailBack;  // "ColorStatic", "BackColorStatic"
extern COLORREF clrWindowText, clrWindowBack;  // "ColorDialog", "BackColorDialog"
extern COLORREF clrListText, clrListBack;      // "ColorListe", "BackColorListe"
extern HBRUSH hbrListText, hbrListBack, hbrDetailText, hbrDetailBack, hbrWindowText, hbrWindowBack;
extern COLORREF customColors[16];

extern HFONT hBoldFont;
extern HFONT hNormalFont;

extern DWORD autoQuitActive;
extern DWORD autoQuitPeriod;

extern HLOCAL clipboardText;

// The global objects, constructed in this order before WinMain runs.
extern Settings settings;
extern NameList categoryStore;
extern FieldTitleList1 titleList1;
extern FieldTitleList2 titleList2;
extern FieldTitleList3 titleList3;
extern ObjectStore objectStore;

extern const WCHAR kMainClass[];  // "Arkel"
extern const WCHAR kAppTitle[];   // "The Arkel"
extern const WCHAR kFilterAll[];  // " - Alle -"
extern const WCHAR kFilterNone[]; // " - Ohne -"

ATOM RegisterMainClass(HINSTANCE hInstance);
BOOL InitInstance(HINSTANCE hInstance, int nCmdShow);
void ReleaseDrawingObjects();
// Adds every category and field title that an object uses to the category store and the title
// lists; run at start and whenever the categories or field titles dialog closes.
void MergeNamesFromObjects();
LRESULT CALLBACK MainWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
