// Finding and copying: the search box over the list, one field to the clipboard, the clipboard
// emptied again after the set time, and field 2 hidden in the detail area.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/clipboard.h"
#include "app/shell.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kDots[] = L"\u2022\u2022\u2022\u2022\u2022\u2022";

std::string FormatBytes(const wchar_t *name) {
    std::string bytes = "<none>";
    UINT format = RegisterClipboardFormatW(name);
    if (!OpenClipboard(OtherWindow())) return "<busy>";
    if (HANDLE data = GetClipboardData(format)) {
        bytes.assign(static_cast<const char *>(GlobalLock(data)), GlobalSize(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return bytes;
}

std::wstring Detail(int n) { return WindowText(hValueText[n]); }

// The clear timer's tick, as the main window receives it when the time is up.
void ClearTimerFires() {
    SendMessageW(hMainWnd, WM_TIMER, kClipboardTimer, 0);
    PumpShellFor(20);
}

class FindCopyTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(OpenClipboard(OtherWindow()));
        EmptyClipboard();
        CloseClipboard();
    }
    void TearDown() override {
        clipboardText = nullptr;
        ShellTest::TearDown();
    }

    std::vector<std::wstring> AllRows() {
        std::vector<std::wstring> rows;
        for (int i = 0; i < Rows(); ++i) rows.push_back(Row(i));
        return rows;
    }
    // Types into the search box key by key, as the keyboard does.
    void Type(const std::wstring &text) {
        for (wchar_t c : text) PostMessageW(hSearchEdit, WM_CHAR, c, 1);
        PumpShellFor(50);
    }
    void KeyInSearch(UINT vk) {
        PostMessageW(hSearchEdit, WM_KEYDOWN, vk, 1);
        PumpShellFor(50);
    }
    void Search(const std::wstring &text) {
        SetWindowTextW(hSearchEdit, text.c_str());
        PumpShellFor(20);
    }
};

// Objects in list order: "Konto Ärzte", "Öltank", "router", "Zugang".
const std::vector<TestObject> kObjects = {
    {L"Zugang", L"Privat", L"\u00e4rger-pin", L""},
    {L"Konto \u00c4rzte", L"Bank", L"S1", L"Praxis"},
    {L"\u00d6ltank", L"", L"", L"Keller"},
    {L"router", L"Heim", L"admin", L"WLAN B\u00fcro"},
};

// ---- Search ---------------------------------------------------------------------------------

TEST_F(FindCopyTest, SearchFindsEveryFieldAndTheCategoryWithoutLetterCase) {
    Prepare(kObjects);
    settings.SetCategory(L"Privat");
    Start();
    ASSERT_EQ(AllRows(), std::vector<std::wstring>{L"Zugang"});
    MenuCommand(IDM_SEARCH);
    ASSERT_TRUE(IsWindowVisible(hSearchEdit));
    EXPECT_EQ(GetFocus(), hSearchEdit);
    // The box lies over the list, inside the window, and the list moved down under it.
    RECT box, list, client;
    GetWindowRect(hSearchEdit, &box);
    GetWindowRect(hObjectList, &list);
    GetClientRect(hMainWnd, &client);
    EXPECT_LE(box.bottom, list.top);
    EXPECT_EQ(box.right - box.left, client.right);

    struct Case {
        const char *what;
        const wchar_t *text;
        std::vector<std::wstring> rows;
    } cases[] = {
        {"a small umlaut finds the capital one (field 1) and itself (field 2)",
         L"\u00e4",
         {L"Konto \u00c4rzte", L"Zugang"}},
        {"capitals find small letters", L"\u00d6L", {L"\u00d6ltank"}},
        {"the category", L"bank", {L"Konto \u00c4rzte"}},
        {"field 3", L"b\u00fcro", {L"router"}},
        {"field 2", L"ADMIN", {L"router"}},
        {"no match", L"xyz", {}},
        {"an empty text is the filter's list", L"", {L"Zugang"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Search(c.text);
        EXPECT_EQ(AllRows(), c.rows);
        if (c.rows.empty()) {
            EXPECT_EQ(Selection(), -1);
            EXPECT_EQ(Detail(0), L"");
            EXPECT_TRUE(MenuGreyed(IDM_COPY_FIELD2));
        } else {
            // The first match is selected and shown.
            EXPECT_EQ(Selection(), 0);
            EXPECT_EQ(Detail(0), c.rows[0]);
            EXPECT_FALSE(MenuGreyed(IDM_COPY_FIELD2));
        }
    }

    // Typed key by key: each key narrows; Backspace edits the text and deletes no object.
    Search(L"");
    Type(L"zu");
    EXPECT_EQ(AllRows(), std::vector<std::wstring>{L"Zugang"});
    Type(L"x");
    EXPECT_TRUE(AllRows().empty());
    KeyInSearch(VK_BACK);
    EXPECT_EQ(WindowText(hSearchEdit), L"zu");
    EXPECT_EQ(AllRows(), std::vector<std::wstring>{L"Zugang"});
    EXPECT_EQ(StoredObjects(), 4);

    // Esc: the box goes, the filter's list comes back with the found object still selected.
    Search(L"g");  // "Zugang" (field 1), "ärger-pin" of the same object
    KeyInSearch(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(hSearchEdit));
    EXPECT_EQ(AllRows(), std::vector<std::wstring>{L"Zugang"});
    EXPECT_EQ(Selection(), 0);
    GetWindowRect(hObjectList, &list);
    EXPECT_EQ(list.top, box.top) << "the list takes the box's place again";
}

TEST_F(FindCopyTest, TheSearchListFollowsEditsAndClosesOnAnotherFilter) {
    Prepare(kObjects);
    Start();
    MenuCommand(IDM_SEARCH);
    Type(L"r");  // in "Ärzte", "Keller", "router" and "ärger-pin": all four
    ASSERT_EQ(Rows(), 4);
    Search(L"ro");
    ASSERT_EQ(AllRows(), std::vector<std::wstring>{L"router"});
    // Deleting the found object while searching: the search's list loses it.
    UiDriver ui;
    ui.answerMessageBox(IDYES);
    MenuCommand(IDM_DELETE);
    EXPECT_TRUE(AllRows().empty());
    EXPECT_EQ(StoredObjects(), 3);
    // A filter chosen in the combo box ends the search.
    Search(L"a");
    SendMessageW(hCategoryCombo, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(L"Bank"));
    SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(IDC_CATEGORY_COMBO, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(hCategoryCombo));
    PumpShellFor(20);
    EXPECT_FALSE(IsWindowVisible(hSearchEdit));
    EXPECT_EQ(AllRows(), std::vector<std::wstring>{L"Konto \u00c4rzte"});
    EXPECT_EQ(ui.unexpected(), 0);
}

// ---- One field to the clipboard ---------------------------------------------------------------

TEST_F(FindCopyTest, CtrlOneTwoThreeCopyOneFieldAloneAndNothingWithoutASelection) {
    Prepare(kObjects);
    Start();
    Select(3);  // "Zugang"
    struct Case {
        UINT key;
        const wchar_t *text;
    } cases[] = {{'1', L"Zugang"}, {'2', L"\u00e4rger-pin"}, {'3', L""}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        PutText(L"fremd");
        PressKey(c.key, true);
        EXPECT_EQ(TextOnClipboard(), c.text);
        // Marked as a secret for the clipboard managers of the X desktop.
        EXPECT_EQ(FormatBytes(L"x-kde-passwordManagerHint"), "secret");
    }
    // Without a selection (a search that found nothing): greyed, and the keys copy nothing.
    MenuCommand(IDM_SEARCH);
    Search(L"xyz");
    PutText(L"fremd");
    for (UINT id : {IDM_COPY_FIELD1, IDM_COPY_FIELD2, IDM_COPY_FIELD3}) {
        EXPECT_TRUE(MenuGreyed(id));
        MenuCommand(id);
        EXPECT_EQ(TextOnClipboard(), L"fremd");
    }
}

TEST_F(FindCopyTest, TheClearTimerEmptiesOnlyTheClipboardThatStillHoldsTheCopy) {
    Prepare(kObjects);
    Start();
    struct Case {
        const char *what;
        DWORD seconds;
        UINT command;
        std::function<void()> between;
        std::wstring left;
    } cases[] = {
        {"a field copy goes", 30, IDM_COPY_FIELD3, [] {}, L"<none>"},
        {"an object copy goes", 30, IDM_COPY, [] {}, L"<none>"},
        {"another program's newer text stays", 30, IDM_COPY_FIELD3, [] { PutText(L"von nebenan"); },
         L"von nebenan"},
        {"the object a cut put there after the copy stays (it is the only copy)", 30,
         IDM_COPY_FIELD1, [] { MenuCommand(IDM_CUT); },
         L"Name\t\u00d6ltank\r\nSeriennummer\t\r\nBemerkung\tKeller\r\n\r\n1\r\n"},
        // Row 1 is "router" now.
        {"switched off: the copy stays", 0, IDM_COPY_FIELD3, [] {}, L"WLAN B\u00fcro"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        settings.SetClipboardClear(c.seconds);
        Select(1);  // "Öltank", field 3 "Keller"
        MenuCommand(c.command);
        c.between();
        ClearTimerFires();
        EXPECT_EQ(TextOnClipboard(), c.left);
    }
    EXPECT_EQ(StoredObjects(), 3);
}

// ---- Field 2 hidden -----------------------------------------------------------------------------

TEST_F(FindCopyTest, AHiddenField2ShowsDotsUntilRevealedAndCopiesItsText) {
    Prepare(kObjects);
    settings.SetHideField2(1);
    Start();
    Select(3);  // "Zugang", field 2 "ärger-pin"
    EXPECT_EQ(Detail(1), kDots);
    PressKey('2', true);
    EXPECT_EQ(TextOnClipboard(), L"\u00e4rger-pin");
    // Ctrl+H shows it, and hides it again.
    PressKey('H', true);
    EXPECT_EQ(Detail(1), L"\u00e4rger-pin");
    PressKey('H', true);
    EXPECT_EQ(Detail(1), kDots);
    // A tap on the dots shows it, until another object is selected.
    SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(0, STN_CLICKED),
                 reinterpret_cast<LPARAM>(hValueText[1]));
    PumpShellFor(20);
    EXPECT_EQ(Detail(1), L"\u00e4rger-pin");
    Select(2);  // "router": hidden, as at every new selection
    EXPECT_EQ(Detail(1), kDots);
    Select(3);
    EXPECT_EQ(Detail(1), kDots);
    // An empty field 2 has nothing to hide.
    Select(1);
    EXPECT_EQ(Detail(1), L"");
}

// ---- The preferences
// -----------------------------------------------------------------------------

TEST_F(FindCopyTest, ThePreferencesSetTheClearTimeAndTheHiddenField) {
    Start();
    EXPECT_EQ(settings.GetClipboardClear(), 30u) << "the default";
    EXPECT_EQ(settings.GetHideField2(), 0u) << "the default";
    struct Case {
        const char *what;
        std::function<void(HWND)> change;
        DWORD clear;
        DWORD hide;
    } cases[] = {
        {"one step up and hidden",
         [](HWND d) {
             NMUPDOWN up{};
             up.hdr.hwndFrom = GetDlgItem(d, IDC_PREFS_CLEAR_SPIN);
             up.hdr.idFrom = IDC_PREFS_CLEAR_SPIN;
             up.hdr.code = UDN_DELTAPOS;
             up.iDelta = -1;
             SendMessageW(d, WM_NOTIFY, IDC_PREFS_CLEAR_SPIN, reinterpret_cast<LPARAM>(&up));
             EXPECT_EQ(ItemText(d, IDC_PREFS_CLEAR_PERIOD), L"35");
             SendDlgItemMessageW(d, IDC_PREFS_HIDE_FIELD2, BM_CLICK, 0, 0);
         },
         35, 1},
        {"switched off",
         [](HWND d) {
             EXPECT_EQ(ItemText(d, IDC_PREFS_CLEAR_PERIOD), L"35");
             EXPECT_EQ(IsDlgButtonChecked(d, IDC_PREFS_HIDE_FIELD2), BST_CHECKED);
             SendDlgItemMessageW(d, IDC_PREFS_CLEAR, BM_CLICK, 0, 0);
             EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_PREFS_CLEAR_SPIN)));
         },
         0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        UiDriver ui;
        ui.onNextDialog([&](HWND d) {
            EXPECT_EQ(WindowText(d), L"Voreinstellungen");
            c.change(d);
            PressButton(d, IDOK);
        });
        MenuCommand(IDM_PREFERENCES);
        PumpShellFor(50);
        EXPECT_EQ(ui.pendingSteps(), 0u);
        EXPECT_EQ(settings.GetClipboardClear(), c.clear);
        EXPECT_EQ(settings.GetHideField2(), c.hide);
    }
}

}  // namespace
