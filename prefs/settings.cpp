#include "prefs/settings.h"

#include <cwchar>

const WCHAR kSettingsKey[] = L"Software\\Mobrix\\Arkel";

Settings settings;
DWORD autoQuitActive;
DWORD encryptActive;
DWORD autoQuitPeriod;

namespace {

HKEY openForReading() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

LONG writeValue(const WCHAR *name, DWORD type, const void *data, DWORD bytes) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), bytes);
    RegCloseKey(key);
    return rc;
}

struct ColorDefault {
    const WCHAR *name;
    COLORREF colour;
    COLORREF mono;
};

const ColorDefault kColorDefaults[] = {
    {L"ColorStatic", 0x0000FFFF, 0x00000000}, {L"BackColorStatic", 0x00A00000, 0x00FFFFFF},
    {L"ColorListe", 0x00A00000, 0x00000000},  {L"BackColorListe", 0x0080FFFF, 0x00FFFFFF},
    {L"ColorDialog", 0x00A00000, 0x00000000}, {L"BackColorDialog", 0x0000FFFF, 0x00FFFFFF},
};

}  // namespace

Settings::~Settings() = default;

int Settings::GetCategory(WCHAR *buffer) {
    buffer[0] = 0;
    HKEY key = openForReading();
    if (!key) return 0;
    // A category name has up to 255 characters. A longer value or one of another type counts as
    // missing; one stored without its terminator still ends inside the buffer.
    WCHAR value[257] = {};
    DWORD type = 0, bytes = 256 * sizeof(WCHAR);
    LONG rc = RegQueryValueExW(key, L"Kategorie", nullptr, &type, reinterpret_cast<BYTE *>(value),
                               &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ || wcsnlen(value, 256) > 255) return 0;
    lstrcpynW(buffer, value, 256);
    return 1;
}

LONG Settings::SetCategory(const WCHAR *name) {
    return writeValue(L"Kategorie", REG_SZ, name, (lstrlenW(name) + 1) * sizeof(WCHAR));
}

DWORD Settings::GetEncrypt() {
    DWORD v = 0;
    // Only a value that was read changes the run's state: a key or value that has become
    // unreadable must not switch encryption off behind the user's back.
    if (GetDwordValue(L"Encrypt", &v)) encryptActive = v;
    return v;
}

LONG Settings::SetEncrypt(DWORD value) {
    encryptActive = value;
    return writeValue(L"Encrypt", REG_DWORD, &value, sizeof value);
}

DWORD Settings::GetLockOnIdle() {
    DWORD v = 0;
    GetDwordValue(L"LockOnIdle", &v);
    return v ? 1 : 0;
}

void Settings::SetLockOnIdle(DWORD value) { SetDwordValue(L"LockOnIdle", value ? 1 : 0); }

DWORD Settings::GetKeyboard() {
    DWORD v = 0;
    GetDwordValue(L"Keyboard", &v);
    return v;
}

void Settings::SetKeyboard(DWORD value) { SetDwordValue(L"Keyboard", value); }

void Settings::GetAutoQuit() {
    DWORD v = 0;
    GetDwordValue(L"AutoQuit", &v);
    // The preferences offer no period below the minimum; a smaller stored one (written by hand or
    // by another program) would end the program before it can be used.
    if (v != 0 && v < kAutoQuitMinimum) v = kAutoQuitMinimum;
    autoQuitActive = v;
}

void Settings::SetAutoQuit(DWORD value) {
    SetDwordValue(L"AutoQuit", value);
    autoQuitActive = value;
}

bool Settings::GetWindowPlacement(WindowPlacement *place) {
    *place = WindowPlacement{};
    DWORD left, top, width, height, maximized = 0, dpi = 0;
    if (!GetDwordValue(L"WindowLeft", &left) || !GetDwordValue(L"WindowTop", &top) ||
        !GetDwordValue(L"WindowWidth", &width) || !GetDwordValue(L"WindowHeight", &height))
        return false;
    GetDwordValue(L"WindowMaximized", &maximized);
    GetDwordValue(L"WindowDpi", &dpi);
    // The place is signed (a monitor left of the primary one has negative coordinates).
    place->left = static_cast<int>(left);
    place->top = static_cast<int>(top);
    place->width = static_cast<int>(width);
    place->height = static_cast<int>(height);
    place->maximized = maximized ? 1 : 0;
    place->dpi = dpi >= 48 && dpi <= 960 ? static_cast<int>(dpi) : 0;
    if (place->width <= 0 || place->height <= 0) {
        *place = WindowPlacement{};
        return false;
    }
    return true;
}

void Settings::SetWindowPlacement(const WindowPlacement &place) {
    SetDwordValue(L"WindowLeft", static_cast<DWORD>(place.left));
    SetDwordValue(L"WindowTop", static_cast<DWORD>(place.top));
    SetDwordValue(L"WindowWidth", static_cast<DWORD>(place.width));
    SetDwordValue(L"WindowHeight", static_cast<DWORD>(place.height));
    SetDwordValue(L"WindowMaximized", place.maximized ? 1 : 0);
    SetDwordValue(L"WindowDpi", static_cast<DWORD>(place.dpi));
}

int Settings::GetDwordValue(const WCHAR *name, DWORD *value) {
    *value = 0;
    HKEY key = openForReading();
    if (!key) return 0;
    DWORD type = 0, data = 0, bytes = sizeof data;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&data), &bytes);
    RegCloseKey(key);
    // Only a 4-byte DWORD counts; anything else stands for a missing value.
    if (rc != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof data) return 0;
    *value = data;
    return 1;
}

void Settings::SetDwordValue(const WCHAR *name, DWORD value) {
    writeValue(name, REG_DWORD, &value, sizeof value);
}

COLORREF DefaultColor(const WCHAR *name, int colorBits) {
    for (const ColorDefault &d : kColorDefaults)
        if (lstrcmpW(d.name, name) == 0) return colorBits > 4 ? d.colour : d.mono;
    return 0;
}

COLORREF Settings::GetColor(const WCHAR *name) {
    DWORD v = 0;
    if (GetDwordValue(name, &v)) return v;
    HDC dc = GetDC(nullptr);
    int bits = GetDeviceCaps(dc, COLORRES);
    // Displays without a palette may report no colour resolution; their pixel depth says it.
    if (bits <= 0) bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    ReleaseDC(nullptr, dc);
    return DefaultColor(name, bits);
}

void Settings::SetColor(const WCHAR *name, COLORREF value) { SetDwordValue(name, value); }

DWORD Settings::GetClipboardClear() {
    DWORD value = 0;
    if (!GetDwordValue(L"ClipboardClear", &value)) return kClipboardClearDefault;
    return value > kClipboardClearMost ? kClipboardClearMost : value;
}

void Settings::SetClipboardClear(DWORD seconds) { SetDwordValue(L"ClipboardClear", seconds); }

DWORD Settings::GetHideField2() {
    DWORD value = 0;
    GetDwordValue(L"HideField2", &value);
    return value ? 1 : 0;
}

void Settings::SetHideField2(DWORD value) { SetDwordValue(L"HideField2", value ? 1 : 0); }
