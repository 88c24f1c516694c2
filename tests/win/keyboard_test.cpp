// The main window from the keyboard as on a desktop: the menu bar with Alt, F10 and Alt+letter,
// Tab among the filter, the detail area, the search box and the list, Enter on a list row and on
// the detail area. The keys are real key presses (keybd_event): they come through the system's
// input path into the program's own loop step, as the user's do.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "resources/resource.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

// One key of a sequence: pressed and released, with Alt or Shift held around it.
struct Key {
    BYTE vk;
    BYTE held = 0;  // VK_MENU, VK_SHIFT or 0
};

UINT ScanOf(BYTE vk) { return MapVirtualKeyW(vk, MAPVK_VK_TO_VSC); }

void Press(BYTE vk, bool up) {
    keybd_event(vk, static_cast<BYTE>(ScanOf(vk)), up ? KEYEVENTF_KEYUP : 0, 0);
}

// Queues the keys as the keyboard does; the program's loop takes them from there (also the
// menu's own loop while a pop-up is open).
void Type(const std::vector<Key> &keys) {
    for (const Key &k : keys) {
        if (k.held) Press(k.held, false);
        Press(k.vk, false);
        Press(k.vk, true);
        if (k.held) Press(k.held, true);
    }
}

// The pop-ups that open from the menu bar, seen as the main window's WM_INITMENUPOPUP (also the
// sub-menus). A pop-up still open after some seconds is closed, so that a fault ends the case
// instead of hanging the test.
std::vector<HMENU> popups;
HHOOK popupHook;
UINT_PTR menuGuard;

LRESULT CALLBACK PopupHook(int code, WPARAM wParam, LPARAM lParam) {
    auto *cwp = reinterpret_cast<CWPSTRUCT *>(lParam);
    if (code == HC_ACTION && cwp->message == WM_INITMENUPOPUP && cwp->hwnd == hMainWnd &&
        !HIWORD(cwp->lParam))
        popups.push_back(reinterpret_cast<HMENU>(cwp->wParam));
    return CallNextHookEx(popupHook, code, wParam, lParam);
}

void CALLBACK CloseStuckMenu(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

class KeyboardTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        popups.clear();
        popupHook = SetWindowsHookExW(WH_CALLWNDPROC, PopupHook, nullptr, GetCurrentThreadId());
        menuGuard = SetTimer(nullptr, 0, 8000, CloseStuckMenu);
    }
    void TearDown() override {
        KillTimer(nullptr, menuGuard);
        UnhookWindowsHookEx(popupHook);
        // No key stays down for the next test.
        for (BYTE vk : {VK_MENU, VK_SHIFT, VK_CONTROL}) Press(vk, true);
        ResetShell();
        ResetGlobalStores();
        ShellTest::TearDown();
    }
    void StartWith(const std::vector<TestObject> &objects) {
        Prepare(objects);
        Start();
        SetForegroundWindow(hMainWnd);
        SetFocus(hObjectList);
        PumpShellFor(50);
    }
    int RowOf(const wchar_t *name) {
        for (int i = 0; i < Rows(); ++i)
            if (Row(i) == name) return i;
        return -1;
    }
    // Types the keys and runs the program's loop until the keys are taken (and a dialog they
    // open has been answered by the driver).
    void TypeAndPump(const std::vector<Key> &keys, DWORD ms = 400) {
        Type(keys);
        PumpShellFor(ms);
    }
};

// The focus place that holds the focus, as the user sees it.
std::string FocusPlace() {
    HWND f = GetFocus();
    if (!f) return "none";
    if (f == hCategoryCombo || IsChild(hCategoryCombo, f)) return "filter";
    if (f == hDetailBack) return "detail";
    if (f == hSearchEdit) return "search";
    if (f == hObjectList) return "list";
    return "elsewhere";
}

const std::vector<TestObject> kObjects = {
    {L"Anton", L"Privat", L"A-1", L"erste"},
    {L"Berta", L"Bank", L"B-2", L""},
    {L"Caesar", L"", L"C-3", L""},
};

// ---- The menu bar ----------------------------------------------------------------------------

// Alt, F10 and Alt+letter open the menus of the command bar, the arrow keys move in and between
// them, and the chosen item runs its command as a click does; Esc leaves with the focus where it
// was.
TEST_F(KeyboardTest, AltF10AndMnemonicsOpenTheMenusAndTheChosenItemRunsItsCommand) {
    const BYTE A = VK_MENU;
    struct Case {
        const char *name;
        std::vector<Key> keys;
        std::vector<int> popups;  // 0 Datei, 1 Bearb.
        const wchar_t *dialog;    // caption of the dialog the command opens, or nullptr
        bool searchOpen;
    };
    const Case cases[] = {
        {"Alt+D opens Datei, Enter takes Neues Objekt",
         {{'D', A}, {VK_RETURN}},
         {0},
         L"Neues Objekt",
         false},
        {"F10, Right to Bearb., Up twice to Kategorienliste, Enter",
         {{VK_F10}, {VK_RIGHT}, {VK_UP}, {VK_UP}, {VK_RETURN}},
         {0, 1},
         L"Kategorien",
         false},
        {"Alt alone, Right, then the item's own letter: Suchen",
         {{VK_MENU}, {VK_RIGHT}, {'C'}},
         {0, 1},
         nullptr,
         true},
        {"Alt+B, O: Objekt bearbeiten on the selected row",
         {{'B', A}, {'O'}},
         {1},
         L"Objekt bearbeiten",
         false},
        {"Alt+D, Esc leaves without a command", {{'D', A}, {VK_ESCAPE}}, {0}, nullptr, false},
        {"F10, Esc leaves without a command", {{VK_F10}, {VK_ESCAPE}}, {0}, nullptr, false},
        {"Alt+letter of no menu opens nothing", {{'X', A}}, {}, nullptr, false},
    };
    StartWith(kObjects);
    HMENU menus[2] = {GetSubMenu(hMenu, 0), GetSubMenu(hMenu, 1)};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Select(RowOf(L"Berta"));
        SetFocus(hObjectList);
        popups.clear();
        UiDriver ui;
        if (c.dialog) ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
        TypeAndPump(c.keys);
        if (c.dialog) PumpShellUntil([&] { return !ui.seen().empty(); }, 3000);
        ASSERT_EQ(popups.size(), c.popups.size());
        for (size_t i = 0; i < c.popups.size(); ++i) EXPECT_EQ(popups[i], menus[c.popups[i]]);
        if (c.dialog) {
            ASSERT_EQ(ui.seen().size(), 1u);
            EXPECT_EQ(ui.seen()[0].caption, c.dialog);
            if (std::wstring(c.dialog) == L"Objekt bearbeiten") {
                EXPECT_STREQ(CurrentObject.field1, L"Berta");
            }
        } else {
            EXPECT_TRUE(ui.seen().empty());
        }
        EXPECT_EQ(SearchIsOpen(), c.searchOpen);
        if (!c.searchOpen && !c.dialog) {
            // Nothing ran: the focus is still on the list, whose type-ahead takes the next key.
            EXPECT_EQ(FocusPlace(), "list");
            TypeAndPump({{'C'}}, 200);
            EXPECT_EQ(Row(Selection()), L"Caesar");
        }
        if (SearchIsOpen()) CloseSearch();
    }
}

// The menu from wherever the focus is: the filter and the search line give Alt+letter and F10 to
// the menu bar as the list does, and Esc leaves the focus where it was.
TEST_F(KeyboardTest, TheMenuOpensFromTheFilterAndTheSearchLineAndEscLeavesTheFocusThere) {
    struct Case {
        const char *name;
        bool search;  // from the search line, else from the filter
        std::vector<Key> keys;
        const wchar_t *dialog;
    };
    const Case cases[] = {
        {"Alt+D in the filter, Enter", false, {{'D', VK_MENU}, {VK_RETURN}}, L"Neues Objekt"},
        {"F10 in the filter, Esc", false, {{VK_F10}, {VK_ESCAPE}}, nullptr},
        {"Alt+B in the search line, Esc", true, {{'B', VK_MENU}, {VK_ESCAPE}}, nullptr},
        {"Alt in the search line, Enter", true, {{VK_MENU}, {VK_RETURN}}, L"Neues Objekt"},
    };
    StartWith(kObjects);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.search) OpenSearch();
        SetFocus(c.search ? hSearchEdit : hCategoryCombo);
        popups.clear();
        UiDriver ui;
        if (c.dialog) ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
        TypeAndPump(c.keys);
        if (c.dialog) PumpShellUntil([&] { return !ui.seen().empty(); }, 3000);
        EXPECT_EQ(popups.size(), 1u);
        if (c.dialog) {
            ASSERT_EQ(ui.seen().size(), 1u);
            EXPECT_EQ(ui.seen()[0].caption, c.dialog);
        } else {
            EXPECT_TRUE(ui.seen().empty());
            EXPECT_EQ(FocusPlace(), c.search ? "search" : "filter");
            EXPECT_FALSE(SendMessageW(hCategoryCombo, CB_GETDROPPEDSTATE, 0, 0));
        }
        EXPECT_EQ(SearchIsOpen(), c.search) << "the search line stays open";
        if (SearchIsOpen()) CloseSearch();
    }
}

// Alt held for a key of its own (Alt+Down drops the filter's list) is not Alt pressed alone:
// letting it go opens no menu.
TEST_F(KeyboardTest, AltUsedWithAnotherKeyOpensNoMenu) {
    StartWith(kObjects);
    SetFocus(hCategoryCombo);
    TypeAndPump({{VK_DOWN, VK_MENU}});
    EXPECT_TRUE(popups.empty()) << "a menu opened when Alt was let go";
    EXPECT_TRUE(SendMessageW(hCategoryCombo, CB_GETDROPPEDSTATE, 0, 0));
    TypeAndPump({{VK_ESCAPE}});
    EXPECT_TRUE(popups.empty());
}

// ---- Tab among the places --------------------------------------------------------------------

TEST_F(KeyboardTest, TabAndShiftTabCycleTheFilterTheDetailAreaTheSearchBoxAndTheList) {
    struct Case {
        const char *name;
        bool search;
        bool backwards;
        std::vector<std::string> places;  // after each Tab, starting in the list
    };
    const Case cases[] = {
        {"Tab", false, false, {"filter", "detail", "list", "filter"}},
        {"Shift+Tab", false, true, {"detail", "filter", "list", "detail"}},
        {"Tab, search open", true, false, {"filter", "detail", "search", "list", "filter"}},
        {"Shift+Tab, search open", true, true, {"search", "detail", "filter", "list"}},
    };
    StartWith(kObjects);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.search) OpenSearch();
        SetFocus(hObjectList);
        std::vector<std::string> seen;
        for (size_t i = 0; i < c.places.size(); ++i) {
            TypeAndPump({{VK_TAB, static_cast<BYTE>(c.backwards ? VK_SHIFT : 0)}}, 150);
            seen.push_back(FocusPlace());
        }
        EXPECT_EQ(seen, c.places);
        if (c.search) CloseSearch();
    }
    // The filter's list open: Tab closes it and goes on.
    SetFocus(hCategoryCombo);
    SendMessageW(hCategoryCombo, CB_SHOWDROPDOWN, TRUE, 0);
    TypeAndPump({{VK_TAB}}, 150);
    EXPECT_FALSE(SendMessageW(hCategoryCombo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(FocusPlace(), "detail");
}

// The detail area shows that it has the focus: a dotted frame along its edge in the detail text
// colour, drawn by the background and by the rows that lie over the edge.
TEST_F(KeyboardTest, TheDetailAreaShowsAFrameWhileItHasTheFocus) {
    StartWith(kObjects);
    Select(0);
    RECT rc;
    GetClientRect(hDetailBack, &rc);
    const COLORREF ink = ReadableTextColor(clrDetailText, clrDetailBack);
    // Frame pixels on the top edge (above the rows) and on the left edge (through the labels).
    auto framePixels = [&](bool top) {
        PumpShellFor(100);
        HDC dc = GetDC(hMainWnd);
        POINT origin{0, 0};
        MapWindowPoints(hDetailBack, hMainWnd, &origin, 1);
        int n = 0;
        for (int i = 4; i < (top ? rc.right - 4 : rc.bottom - 4); ++i) {
            int x = origin.x + (top ? i : 1), y = origin.y + (top ? 1 : i);
            if (GetPixel(dc, x, y) == ink) ++n;
        }
        ReleaseDC(hMainWnd, dc);
        return n;
    };
    EXPECT_EQ(framePixels(true), 0);
    EXPECT_EQ(framePixels(false), 0);
    SetFocus(hCategoryCombo);
    TypeAndPump({{VK_TAB}}, 150);
    ASSERT_EQ(FocusPlace(), "detail");
    EXPECT_GT(framePixels(true), (rc.right - 8) / 3) << "no frame along the top edge";
    EXPECT_GT(framePixels(false), (rc.bottom - 8) / 3) << "no frame along the left edge";
    // A new selection repaints the rows: the frame stays whole.
    Select(1);
    EXPECT_GT(framePixels(false), (rc.bottom - 8) / 3);
    TypeAndPump({{VK_TAB}}, 150);
    EXPECT_EQ(framePixels(true), 0) << "the frame stays after the focus left";
    EXPECT_EQ(framePixels(false), 0);
}

// ---- Enter and Space -------------------------------------------------------------------------

TEST_F(KeyboardTest, EnterOnARowAndOnTheDetailAreaOpensTheObject) {
    struct Case {
        const char *name;
        const wchar_t *select;  // row selected first, or nullptr for none
        bool onDetail;          // Tab to the detail area first
        BYTE key;
        const wchar_t *dialog;  // caption, or nullptr: none opens
        const wchar_t *field1;  // the dialog's field 1
    };
    const Case cases[] = {
        {"Enter on a row", L"Berta", false, VK_RETURN, L"Objekt bearbeiten", L"Berta"},
        {"Enter on the list without a selection", nullptr, false, VK_RETURN, nullptr, nullptr},
        {"Enter on the detail area", L"Caesar", true, VK_RETURN, L"Objekt bearbeiten", L"Caesar"},
        {"Space on the detail area", L"Anton", true, VK_SPACE, L"Objekt bearbeiten", L"Anton"},
        {"Enter on the detail area without a selection", nullptr, true, VK_RETURN, L"Neues Objekt",
         L""},
    };
    StartWith(kObjects);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.select)
            Select(RowOf(c.select));
        else
            SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0), RefreshDetail();
        SetFocus(c.onDetail ? hCategoryCombo : hObjectList);
        if (c.onDetail) TypeAndPump({{VK_TAB}}, 150);
        UiDriver ui;
        std::wstring field1;
        if (c.dialog)
            ui.onNextDialog([&](HWND d) {
                field1 = ItemText(d, IDC_EDIT_FIELD1);
                PressButton(d, IDCANCEL);
            });
        TypeAndPump({{c.key}});
        if (c.dialog) PumpShellUntil([&] { return !ui.seen().empty(); }, 3000);
        PumpShellFor(100);
        if (!c.dialog) {
            EXPECT_TRUE(ui.seen().empty());
            continue;
        }
        ASSERT_EQ(ui.seen().size(), 1u);
        EXPECT_EQ(ui.seen()[0].caption, c.dialog);
        EXPECT_EQ(field1, c.field1);
        EXPECT_EQ(ui.unexpected(), 0);
    }
}

// With "Feld 2 verdecken" Space on the detail area does what a tap on the dots does: field 2
// shows, and no dialog opens; Enter still opens the object.
TEST_F(KeyboardTest, SpaceOnTheDetailAreaShowsAHiddenField2) {
    settings.SetHideField2(1);
    StartWith(kObjects);
    Select(RowOf(L"Berta"));
    ASSERT_TRUE(Field2Hidden());
    SetFocus(hCategoryCombo);
    TypeAndPump({{VK_TAB}}, 150);
    UiDriver ui;
    TypeAndPump({{VK_SPACE}});
    EXPECT_FALSE(Field2Hidden());
    EXPECT_TRUE(ui.seen().empty());
    EXPECT_EQ(FocusPlace(), "detail");
    ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
    TypeAndPump({{VK_RETURN}});
    PumpShellUntil([&] { return !ui.seen().empty(); }, 3000);
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].caption, L"Objekt bearbeiten");
}

}  // namespace
