// Preferences in the registry under HKEY_CURRENT_USER\Software\Mobrix\Arkel.
//
// One getter and one setter per value; each call opens the key anew, reads or writes one value and
// closes it again. Getters never create the key and give the value's default when it is missing.
#pragma once

#include <windows.h>

// The desktop window's last normal place in screen pixels, whether it was maximized, and the DPI
// it was measured at.
struct WindowPlacement {
    int left = 0, top = 0, width = 0, height = 0;
    int maximized = 0;
    int dpi = 0;
};

class Settings {
public:
    virtual ~Settings();

    // "Kategorie": the main window's category filter, up to 255 characters. buffer holds 256
    // units; emptied first. Non-zero only when the key opened and the value was read.
    int GetCategory(WCHAR *buffer);
    LONG SetCategory(const WCHAR *name);

    DWORD GetEncrypt();
    LONG SetEncrypt(DWORD value);

    // "LockOnIdle": 1 when the idle time locks the vault instead of ending the program (only
    // with encryption on); 0, the default, keeps the automatic quit.
    DWORD GetLockOnIdle();
    void SetLockOnIdle(DWORD value);

    DWORD GetKeyboard();
    void SetKeyboard(DWORD value);

    // "AutoQuit" in milliseconds; the getter stores it into autoQuitActive (a period below
    // kAutoQuitMinimum counts as that minimum, 0 stays off), the setter stores its value there
    // too, also when the write fails.
    void GetAutoQuit();
    void SetAutoQuit(DWORD value);

    // "ClipboardClear": seconds after a copy until the program empties the clipboard again (when
    // it still holds the copy); 0 = never. Missing: kClipboardClearDefault.
    DWORD GetClipboardClear();
    void SetClipboardClear(DWORD seconds);

    // "HideField2": the detail area shows field 2 as dots until the user reveals it. Missing: 0.
    DWORD GetHideField2();
    void SetHideField2(DWORD value);

    // "WindowLeft", "WindowTop", "WindowWidth", "WindowHeight", "WindowMaximized" and
    // "WindowDpi": where the desktop window was at the last end. The getter is true only when
    // the four of the place are there and the size is positive.
    bool GetWindowPlacement(WindowPlacement *place);
    void SetWindowPlacement(const WindowPlacement &place);

    int GetDwordValue(const WCHAR *name, DWORD *value);
    void SetDwordValue(const WCHAR *name, DWORD value);

    COLORREF GetColor(const WCHAR *name);
    void SetColor(const WCHAR *name, COLORREF value);

    COLORREF GetColorStatic() { return GetColor(L"ColorStatic"); }
    COLORREF GetBackColorStatic() { return GetColor(L"BackColorStatic"); }
    COLORREF GetColorListe() { return GetColor(L"ColorListe"); }
    COLORREF GetBackColorListe() { return GetColor(L"BackColorListe"); }
    COLORREF GetColorDialog() { return GetColor(L"ColorDialog"); }
    COLORREF GetBackColorDialog() { return GetColor(L"BackColorDialog"); }
    void SetColorStatic(COLORREF c) { SetColor(L"ColorStatic", c); }
    void SetBackColorStatic(COLORREF c) { SetColor(L"BackColorStatic", c); }
    void SetColorListe(COLORREF c) { SetColor(L"ColorListe", c); }
    void SetBackColorListe(COLORREF c) { SetColor(L"BackColorListe", c); }
    void SetColorDialog(COLORREF c) { SetColor(L"ColorDialog", c); }
    void SetBackColorDialog(COLORREF c) { SetColor(L"BackColorDialog", c); }
};

// The default of a colour value for a display with the given number of colour bits.
COLORREF DefaultColor(const WCHAR *name, int colorBits);

extern const WCHAR kSettingsKey[];

// The live auto-quit values: autoQuitActive is the "AutoQuit" setting as last read or written
// (milliseconds, 0 = off); autoQuitPeriod is the idle time the timers run with, which the
// auto-quit itself shortens to 1 so that every window of the program closes at once.
extern DWORD autoQuitActive;
extern DWORD autoQuitPeriod;

// The program's settings, in the registry under kSettingsKey.
extern Settings settings;

// The "Encrypt" setting as this run last read or wrote it. The end of the run encrypts by this
// value, not by a new read of the registry: a value that cannot be read then (a damaged or
// removed key) never leaves the store plain.
extern DWORD encryptActive;

// The clear time of the clipboard in seconds: its default, and the longest the dialog offers
// (a larger stored value counts as this).
constexpr DWORD kClipboardClearDefault = 30;
constexpr DWORD kClipboardClearMost = 600;

// The shortest auto-quit period, in milliseconds: the smallest the preferences dialog offers.
constexpr DWORD kAutoQuitMinimum = 15000;
