// The settings in the registry: defaults, round trips, and values that are not what we wrote.
#include <gtest/gtest.h>

#include <string>

#include "app/shell.h"
#include "prefs/settings.h"
#include "harness/win/test_env.h"

namespace {

class SettingsTest : public FreshStore {};

HKEY openKey() {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
}

struct ColorCase {
    const wchar_t *name;
    COLORREF colour;
    COLORREF mono;
};
const ColorCase kColors[] = {
    {L"ColorStatic", 0x0000FFFF, 0x00000000}, {L"BackColorStatic", 0x00A00000, 0x00FFFFFF},
    {L"ColorListe", 0x00A00000, 0x00000000},  {L"BackColorListe", 0x0080FFFF, 0x00FFFFFF},
    {L"ColorDialog", 0x00A00000, 0x00000000}, {L"BackColorDialog", 0x0000FFFF, 0x00FFFFFF},
};

TEST_F(SettingsTest, WithoutAKeyEveryValueHasItsDefaultAndNoKeyIsCreated) {
    WCHAR category[256];
    lstrcpyW(category, L"stale");
    EXPECT_EQ(settings.GetCategory(category), 0);
    EXPECT_STREQ(category, L"");
    EXPECT_EQ(settings.GetEncrypt(), 0u);
    EXPECT_EQ(settings.GetKeyboard(), 0u);
    autoQuitActive = 77;
    settings.GetAutoQuit();
    EXPECT_EQ(autoQuitActive, 0u);
    // The test display has more than 4 colour bits.
    for (const ColorCase &c : kColors)
        EXPECT_EQ(settings.GetColor(c.name), c.colour) << Utf8(c.name);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(SettingsTest, ColourDefaultsFollowTheColourResolution) {
    for (const ColorCase &c : kColors) {
        for (int bits : {1, 2, 4})
            EXPECT_EQ(DefaultColor(c.name, bits), c.mono) << Utf8(c.name) << bits;
        for (int bits : {5, 8, 16, 24})
            EXPECT_EQ(DefaultColor(c.name, bits), c.colour) << Utf8(c.name) << bits;
    }
}

TEST_F(SettingsTest, ValuesRoundTrip) {
    EXPECT_EQ(settings.SetCategory(L"Bank!"), ERROR_SUCCESS);
    WCHAR category[256];
    EXPECT_NE(settings.GetCategory(category), 0);
    EXPECT_STREQ(category, L"Bank!");
    HKEY key = openKey();
    DWORD type = 0, bytes = 0;
    RegQueryValueExW(key, L"Kategorie", nullptr, &type, nullptr, &bytes);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, 12u) << "five characters and the terminator";
    RegCloseKey(key);

    EXPECT_EQ(settings.SetEncrypt(1), ERROR_SUCCESS);
    EXPECT_EQ(settings.GetEncrypt(), 1u);
    settings.SetKeyboard(1);
    EXPECT_EQ(settings.GetKeyboard(), 1u);
    autoQuitActive = 0;
    settings.SetAutoQuit(90000);
    EXPECT_EQ(autoQuitActive, 90000u);
    autoQuitActive = 0;
    settings.GetAutoQuit();
    EXPECT_EQ(autoQuitActive, 90000u);
    settings.SetColorListe(0x00123456);
    EXPECT_EQ(settings.GetColorListe(), 0x00123456u);
    EXPECT_EQ(settings.GetBackColorListe(), 0x0080FFFFu) << "the others keep their defaults";
    DWORD any = 5;
    EXPECT_EQ(settings.GetDwordValue(L"Missing", &any), 0);
    EXPECT_EQ(any, 0u);
}

// The longest category name the program makes, 255 characters, comes back whole.
TEST_F(SettingsTest, AFilterOf255CharactersIsRemembered) {
    const std::wstring name(255, L'\u00e4');
    ASSERT_EQ(settings.SetCategory(name.c_str()), ERROR_SUCCESS);
    WCHAR category[256];
    EXPECT_NE(settings.GetCategory(category), 0);
    EXPECT_EQ(std::wstring(category), name);
}

// A stored auto-quit period below what the preferences offer counts as their minimum; 0 is off.
TEST_F(SettingsTest, AutoQuitBelowTheMinimumCountsAsTheMinimum) {
    const DWORD cases[][2] = {{0, 0}, {1, 15000}, {14999, 15000}, {15000, 15000}, {90000, 90000}};
    for (const auto &c : cases) {
        settings.SetAutoQuit(c[0]);
        autoQuitActive = 77;
        settings.GetAutoQuit();
        EXPECT_EQ(autoQuitActive, c[1]) << c[0];
    }
}

// Values written by someone else: another type, another size, no terminator, too long.
TEST_F(SettingsTest, ForeignValuesNeverOverflowAndCountAsMissing) {
    HKEY key = openKey();
    RegSetValueExW(key, L"Encrypt", 0, REG_SZ, reinterpret_cast<const BYTE *>(L"1"), 4);
    const BYTE eight[8] = {1, 0, 0, 0, 1, 0, 0, 0};
    RegSetValueExW(key, L"AutoQuit", 0, REG_BINARY, eight, 8);
    RegSetValueExW(key, L"ColorListe", 0, REG_QWORD, eight, 8);
    std::wstring longName(300, L'k');
    RegSetValueExW(key, L"Kategorie", 0, REG_SZ, reinterpret_cast<const BYTE *>(longName.c_str()),
                   static_cast<DWORD>((longName.size() + 1) * 2));
    EXPECT_EQ(settings.GetEncrypt(), 0u);
    settings.GetAutoQuit();
    EXPECT_EQ(autoQuitActive, 0u);
    EXPECT_EQ(settings.GetColorListe(), 0x00A00000u);
    WCHAR category[257];
    category[256] = L'#';
    EXPECT_EQ(settings.GetCategory(category), 0);
    EXPECT_EQ(category[256], L'#') << "nothing written past 256 units";
    EXPECT_STREQ(category, L"");

    // A value of 255 units without terminator is a whole name; one of 256 is too long.
    struct Case {
        size_t units;
        int read;
        size_t length;
    };
    for (const Case &c : {Case{255, 1, 255}, Case{256, 0, 0}}) {
        std::wstring full(c.units, L'z');
        RegSetValueExW(key, L"Kategorie", 0, REG_SZ, reinterpret_cast<const BYTE *>(full.c_str()),
                       static_cast<DWORD>(c.units * 2));
        category[256] = L'#';
        EXPECT_EQ(settings.GetCategory(category), c.read) << c.units;
        EXPECT_EQ(category[256], L'#');
        EXPECT_EQ(wcslen(category), c.length);
    }
    RegCloseKey(key);
}

}  // namespace
