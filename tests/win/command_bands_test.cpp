// Command bands: a host window built the way the main window builds its bands, then driven with
// clicks and keys as Windows delivers them; what reaches the owner is checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/command_bands.h"
#include "tests/win/screenshot.h"
#include "harness/win/ui_driver.h"

namespace {

const int kTestMenu = 900;
const int kComboId = 3;

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the host saw, and keys to post each time a pop-up opens (as a user types after seeing it).
std::vector<Received> received;
HWND quietChild;    // the host's list; its own notifications are not recorded
POINT hoverTarget;  // where a scripted WM_MOUSEMOVE puts the cursor (screen)
std::vector<HMENU> popupsOpened;
std::vector<std::vector<std::pair<UINT, WPARAM>>> keysPerPopup;

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam && reinterpret_cast<HWND>(lParam) == quietChild) return 0;
        [[fallthrough]];
    case WM_CLOSE: received.push_back({message, wParam, lParam}); return 0;
    case WM_HELP:
        received.push_back(
            {message, wParam, lParam ? reinterpret_cast<HELPINFO *>(lParam)->iContextType : -1});
        return 1;
    case WM_INITMENUPOPUP:
        popupsOpened.push_back(reinterpret_cast<HMENU>(wParam));
        if (popupsOpened.size() <= keysPerPopup.size())
            for (auto [msg, key] : keysPerPopup[popupsOpened.size() - 1]) {
                if (msg == WM_MOUSEMOVE) SetCursorPos(hoverTarget.x, hoverTarget.y);
                PostMessageW(hwnd, msg, key, 0);
            }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The tool buttons of the main window: image, command, initial state.
const TBBUTTON kButtons[8] = {
    {STD_FILENEW, 101, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
    {STD_FILEOPEN, 40004, 0, BTNS_BUTTON, {}, 0, 0},
    {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
    {STD_CUT, 40013, 0, BTNS_BUTTON, {}, 0, 0},
    {STD_COPY, 40010, 0, BTNS_BUTTON, {}, 0, 0},
    {STD_PASTE, 40011, 0, BTNS_BUTTON, {}, 0, 0},
    {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
    {STD_DELETE, 40005, 0, BTNS_BUTTON, {}, 0, 0},
};
const wchar_t *const kToolTips[6] = {L"Neu",      L"Bearbeiten",    L"Ausschneiden",
                                     L"Kopieren", L"Einf\u00fcgen", L"L\u00f6schen"};

class CommandBandsTest : public ::testing::Test {
protected:
    HWND host = nullptr, bands = nullptr, menuBar = nullptr, toolBar = nullptr, comboBar = nullptr;
    HWND combo = nullptr;
    HWND list = nullptr;  // has the focus, as the object list in the main window
    HMENU menu = nullptr;

    void SetUp() override {
        received.clear();
        popupsOpened.clear();
        keysPerPopup.clear();
        HINSTANCE hinst = GetModuleHandleW(nullptr);
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_COOL_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        static ATOM atom = [hinst] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = HostProc;
            wc.hInstance = hinst;
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = L"BandsHost";
            return RegisterClassW(&wc);
        }();
        ASSERT_NE(atom, 0);
        RECT rc{0, 0, 240, 294};
        AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
        host = CreateWindowExW(0, L"BandsHost", L"The Arkel", WS_OVERLAPPEDWINDOW, 0, 0,
                               rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, hinst,
                               nullptr);
        ASSERT_NE(host, nullptr);

        // As the main window's WM_CREATE builds them.
        bands = CommandBands_Create(hinst, host, 1, 0x1000, nullptr);
        ASSERT_NE(bands, nullptr);
        REBARBANDINFOW info[3]{};
        const UINT widths[3] = {110, 155, 189};
        for (UINT i = 0; i < 3; ++i) {
            info[i].cbSize = sizeof(REBARBANDINFOW);
            info[i].fMask = RBBIM_ID | RBBIM_SIZE | RBBIM_STYLE;
            info[i].fStyle = RBBS_NOGRIPPER;
            info[i].wID = i + 1;
            info[i].cx = widths[i];
        }
        ASSERT_TRUE(CommandBands_AddBands(bands, hinst, 3, info));
        menuBar = CommandBands_GetCommandBar(bands, 0);
        toolBar = CommandBands_GetCommandBar(bands, 1);
        comboBar = CommandBands_GetCommandBar(bands, 2);
        ASSERT_TRUE(menuBar && toolBar && comboBar);
        EXPECT_EQ(CommandBands_GetCommandBar(bands, 3), nullptr);
        ASSERT_TRUE(CommandBar_InsertMenubar(menuBar, hinst, kTestMenu, 0));
        menu = CommandBar_GetMenu(menuBar, 0);
        ASSERT_NE(menu, nullptr);
        EXPECT_GE(CommandBar_AddBitmap(toolBar, HINST_COMMCTRL, IDB_STD_SMALL_COLOR, 0, 0, 0), 0);
        TBBUTTON buttons[8];
        std::copy(std::begin(kButtons), std::end(kButtons), buttons);
        ASSERT_TRUE(SendMessageW(toolBar, TB_ADDBUTTONSW, 8, reinterpret_cast<LPARAM>(buttons)));
        combo = CommandBar_InsertComboBox(comboBar, hinst, 189, 0x200103, kComboId, 0);
        ASSERT_NE(combo, nullptr);
        ASSERT_TRUE(CommandBands_AddAdornments(bands, hinst, 11, nullptr));
        SendMessageW(toolBar, TB_SETTOOLTIPS, 6, reinterpret_cast<LPARAM>(kToolTips));

        list = CreateWindowExW(
            WS_EX_CLIENTEDGE, L"LISTBOX", nullptr, WS_CHILD | WS_VISIBLE | LBS_NOTIFY, 0,
            CommandBar_Height(menuBar) + 60, 240, 100, host, nullptr, hinst, nullptr);
        quietChild = list;
        ShowWindow(host, SW_SHOW);
        UpdateWindow(host);
        SetForegroundWindow(host);
        SetFocus(list);
        PumpUntil([] { return false; }, 50);
    }

    void TearDown() override {
        if (host) DestroyWindow(host);
        PumpUntil([] { return false; }, 20);
    }

    int ClientWidth() {
        RECT rc;
        GetClientRect(host, &rc);
        return rc.right;
    }

    // A window's rectangle in the host's client coordinates.
    RECT InHost(HWND w) {
        RECT rc;
        GetWindowRect(w, &rc);
        MapWindowPoints(nullptr, host, reinterpret_cast<POINT *>(&rc), 2);
        return rc;
    }

    // A click as the mouse delivers it, at a point of a window's client area.
    static void Click(HWND w, POINT pt) {
        PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
        PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
    }

    POINT ButtonCenter(HWND bar, int index) {
        RECT rc{};
        SendMessageW(bar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc));
        return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    }

    std::vector<Received> Commands() {
        std::vector<Received> out;
        for (const Received &r : received)
            if (r.message == WM_COMMAND) out.push_back(r);
        return out;
    }

    void SaveScreenshot(const wchar_t *name) { SaveWindowShot(host, name); }
};

TEST_F(CommandBandsTest, BandsFitTheOwnerAndCommandBarHeightIsWhereTheOwnersChildrenStart) {
    SaveScreenshot(L"command_bands_240.bmp");
    // At 240 pixels the bands cannot share a row; at 640 they can. Either way every part of the
    // bands lies above CommandBar_Height and inside the client width.
    for (int width : {640, 240, 640}) {
        SCOPED_TRACE(width);
        RECT rc{0, 0, width, 294};
        AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(host, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                     SWP_NOZORDER | SWP_NOMOVE);
        PumpUntil([] { return false; }, 50);
        ASSERT_EQ(ClientWidth(), width);

        int cbh = CommandBar_Height(menuBar);
        EXPECT_EQ(CommandBar_Height(toolBar), cbh);
        RECT whole = InHost(bands);
        EXPECT_EQ(whole.top, 0);
        EXPECT_EQ(whole.bottom, cbh);
        EXPECT_EQ(whole.right - whole.left, width) << "the bands follow the owner's width";
        HWND adornments = ChildWindowFromPointEx(bands, POINT{width - 3, 12}, CWP_SKIPINVISIBLE);
        for (HWND part : {menuBar, toolBar, comboBar, combo, adornments}) {
            RECT r = InHost(part);
            EXPECT_GE(r.top, 0);
            EXPECT_LE(r.bottom, cbh);
            EXPECT_GE(r.left, 0);
            EXPECT_LE(r.right, width);
            EXPECT_GT(r.right - r.left, 0);
        }
        // Both menu buttons show in full.
        RECT bar = InHost(menuBar), b{};
        SendMessageW(menuBar, TB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&b));
        EXPECT_LE(bar.left + b.right, bar.right);
        // The adornments sit at the right end of the first row.
        RECT a = InHost(adornments);
        EXPECT_EQ(a.top, 0);
        EXPECT_EQ(a.right, width);
        if (width == 240) {
            EXPECT_GT(InHost(toolBar).top, InHost(menuBar).top) << "the tool band wraps";
            EXPECT_GT(InHost(comboBar).top, InHost(toolBar).top) << "the combo band wraps";
        } else {
            EXPECT_EQ(InHost(toolBar).top, InHost(menuBar).top) << "one row when there is room";
            EXPECT_EQ(InHost(comboBar).top, InHost(menuBar).top);
            EXPECT_LE(cbh, 32);
        }
    }
    SaveScreenshot(L"command_bands_640.bmp");
}

TEST_F(CommandBandsTest, ToolButtonsSendTheirCommandsAndDisabledOnesStaySilent) {
    const int commands[6] = {101, 40004, 40013, 40010, 40011, 40005};
    const int indexes[6] = {0, 1, 3, 4, 5, 7};
    // Initially only "Neu" is enabled.
    for (int i = 0; i < 6; ++i) Click(toolBar, ButtonCenter(toolBar, indexes[i]));
    PumpUntil([] { return false; }, 100);
    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(LOWORD(Commands()[0].wParam), 101);
    EXPECT_EQ(Commands()[0].lParam, reinterpret_cast<LPARAM>(toolBar));

    received.clear();
    for (int command : commands) SendMessageW(toolBar, TB_ENABLEBUTTON, command, TRUE);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(commands[i]);
        received.clear();
        Click(toolBar, ButtonCenter(toolBar, indexes[i]));
        ASSERT_TRUE(PumpUntil([this] { return !Commands().empty(); }, 2000));
        EXPECT_EQ(LOWORD(Commands()[0].wParam), commands[i]);
        EXPECT_EQ(HIWORD(Commands()[0].wParam), 0);
    }
}

TEST_F(CommandBandsTest, ToolTipsFollowTheButtonsInOrderSkippingSeparators) {
    HWND tip = reinterpret_cast<HWND>(SendMessageW(toolBar, TB_GETTOOLTIPS, 0, 0));
    ASSERT_NE(tip, nullptr);
    const int commands[6] = {101, 40004, 40013, 40010, 40011, 40005};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(commands[i]);
        // The request the tooltip control makes when the mouse rests on the button.
        NMTTDISPINFOW di{};
        di.lpszText = di.szText;
        di.hdr.hwndFrom = tip;
        di.hdr.idFrom = commands[i];
        di.hdr.code = TTN_GETDISPINFOW;
        SendMessageW(toolBar, WM_NOTIFY, commands[i], reinterpret_cast<LPARAM>(&di));
        std::wstring text =
            di.lpszText && di.lpszText != LPSTR_TEXTCALLBACKW ? di.lpszText : di.szText;
        EXPECT_EQ(text, kToolTips[i]);
    }
}

TEST_F(CommandBandsTest, ComboBoxNotificationsReachTheOwnerWithItsId) {
    for (const wchar_t *name : {L" - Alle -", L" - Ohne -", L"Bank"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    SetFocus(combo);
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(combo, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageW(combo, WM_KEYDOWN, VK_RETURN, 0);
    PumpUntil([] { return false; }, 100);
    bool focus = false, selEndOk = false;
    for (const Received &r : Commands()) {
        EXPECT_EQ(LOWORD(r.wParam), kComboId);
        EXPECT_EQ(r.lParam, reinterpret_cast<LPARAM>(combo));
        focus |= HIWORD(r.wParam) == CBN_SETFOCUS;
        selEndOk |= HIWORD(r.wParam) == CBN_SELENDOK;
    }
    EXPECT_TRUE(focus);
    EXPECT_TRUE(selEndOk);
    wchar_t text[64];
    GetWindowTextW(combo, text, 64);
    EXPECT_STREQ(text, L" - Ohne -");
}

TEST_F(CommandBandsTest, AdornmentsSendHelpOkAndClose) {
    HWND adornments =
        ChildWindowFromPointEx(bands, POINT{ClientWidth() - 3, 12}, CWP_SKIPINVISIBLE);
    ASSERT_NE(adornments, nullptr);
    ASSERT_NE(adornments, menuBar);
    RECT rc;
    GetClientRect(adornments, &rc);
    // From the right: close, OK, help; each about 22 pixels wide.
    struct Case {
        int fromRight;
        UINT message;
        WPARAM wParam;
    } cases[] = {{12, WM_CLOSE, 0}, {34, WM_COMMAND, IDOK}, {56, WM_HELP, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        received.clear();
        Click(adornments, POINT{rc.right - c.fromRight, rc.bottom / 2});
        ASSERT_TRUE(PumpUntil([] { return !received.empty(); }, 2000));
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].message, c.message);
        EXPECT_EQ(received[0].wParam, c.wParam);
        if (c.message == WM_HELP) {
            EXPECT_EQ(received[0].lParam, HELPINFO_WINDOW);
        }
    }
    // Pressed on a button and released elsewhere: nothing.
    received.clear();
    PostMessageW(adornments, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rc.right - 12, rc.bottom / 2));
    PostMessageW(adornments, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(rc.right - 60, rc.bottom + 30));
    PostMessageW(adornments, WM_LBUTTONUP, 0, MAKELPARAM(rc.right - 60, rc.bottom + 30));
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(received.empty());
}

// The menu bar from the keyboard and the mouse: which pop-ups open, which command arrives.
TEST_F(CommandBandsTest, MenuBarOpensFromKeysAndClicksAndSendsTheChosenCommand) {
    const WPARAM none = 0;
    struct Case {
        const char *name;
        std::vector<std::pair<UINT, WPARAM>> start;  // posted to the focused list
        int clickButton;                             // or a click on this menu button
        std::vector<std::vector<std::pair<UINT, WPARAM>>> keys;
        std::vector<int> popups;  // 0 Datei, 1 Bearb., 2 Einstellungen
        WPARAM command;
    };
    const UINT KD = WM_KEYDOWN;
    const Case cases[] = {
        {"F10 opens Datei, Enter takes the first item",
         {{WM_SYSKEYDOWN, VK_F10}, {WM_SYSKEYUP, VK_F10}},
         -1,
         {{{KD, VK_RETURN}}},
         {0},
         101},
        {"Alt alone, then Right to Bearb.",
         {{WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYUP, VK_MENU}},
         -1,
         {{{KD, VK_RIGHT}}, {{KD, VK_DOWN}, {KD, VK_RETURN}}},
         {0, 1},
         40010},
        {"Alt+B opens Bearb. by its mnemonic",
         {{WM_SYSCHAR, 'b'}},
         -1,
         {{{KD, VK_RETURN}}},
         {1},
         40013},
        {"Left from Datei wraps to Bearb., Esc closes",
         {{WM_SYSKEYDOWN, VK_F10}, {WM_SYSKEYUP, VK_F10}},
         -1,
         {{{KD, VK_LEFT}}, {{KD, VK_ESCAPE}}},
         {0, 1},
         none},
        {"Right on a sub-menu item opens the sub-menu",
         {{WM_SYSKEYDOWN, VK_F10}, {WM_SYSKEYUP, VK_F10}},
         -1,
         {{{KD, VK_DOWN}, {KD, VK_DOWN}, {KD, VK_RIGHT}}, {{KD, VK_RETURN}}},
         {0, 2},
         40014},
        {"the mouse moving onto Bearb. opens it instead of Datei",
         {},
         0,
         {{{WM_MOUSEMOVE, 0}}, {{KD, VK_DOWN}, {KD, VK_RETURN}}},
         {0, 1},
         40013},
        {"a click drops Bearb.", {}, 1, {{{KD, VK_DOWN}, {KD, VK_RETURN}}}, {1}, 40013},
        {"greyed items send nothing",
         {},
         1,
         {{{KD, VK_UP}, {KD, VK_UP}, {KD, VK_RETURN}, {KD, VK_ESCAPE}}},
         {1},
         none},
    };
    HMENU popups[3] = {GetSubMenu(menu, 0), GetSubMenu(menu, 1),
                       GetSubMenu(GetSubMenu(menu, 0), 3)};
    hoverTarget = ButtonCenter(menuBar, 1);
    ClientToScreen(menuBar, &hoverTarget);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        received.clear();
        popupsOpened.clear();
        keysPerPopup = c.keys;
        SetFocus(list);
        for (auto [msg, key] : c.start) {
            // The key flags Windows sets: Alt held down (context code) and key releases.
            LPARAM flags =
                msg == WM_SYSCHAR || (msg == WM_SYSKEYDOWN && key == VK_MENU) ? 0x20000001 : 1;
            if (msg == WM_SYSKEYUP) flags |= 0xC0000000;
            PostMessageW(list, msg, key, flags);
        }
        if (c.clickButton >= 0) Click(menuBar, ButtonCenter(menuBar, c.clickButton));
        PumpUntil(
            [&] {
                return popupsOpened.size() >= c.popups.size() &&
                       (!c.command || !Commands().empty());
            },
            3000);
        PumpUntil([] { return false; }, 100);
        ASSERT_EQ(popupsOpened.size(), c.popups.size());
        for (size_t i = 0; i < c.popups.size(); ++i)
            EXPECT_EQ(popupsOpened[i], popups[c.popups[i]]);
        std::vector<Received> commands = Commands();
        if (c.command) {
            ASSERT_EQ(commands.size(), 1u);
            EXPECT_EQ(commands[0].wParam, c.command);
            EXPECT_EQ(commands[0].lParam, 0) << "menu commands come with lParam 0";
        } else {
            EXPECT_TRUE(commands.empty());
        }
    }
}

TEST_F(CommandBandsTest, MenuStatesSetThroughTheMenuHandleShowInThePopups) {
    // The caller greys and enables items on the handle; a chosen greyed item sends nothing, the
    // same item enabled does.
    EnableMenuItem(menu, 40013, MF_BYCOMMAND | MF_GRAYED);
    keysPerPopup = {{{WM_KEYDOWN, VK_RETURN}, {WM_KEYDOWN, VK_ESCAPE}}};
    PostMessageW(host, WM_SYSCHAR, 'b', 0x20000000);
    PumpUntil([] { return popupsOpened.size() >= 1; }, 3000);
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(Commands().empty());

    EnableMenuItem(menu, 40013, MF_BYCOMMAND | MF_ENABLED);
    popupsOpened.clear();
    keysPerPopup = {{{WM_KEYDOWN, VK_RETURN}}};
    PostMessageW(host, WM_SYSCHAR, 'b', 0x20000000);
    ASSERT_TRUE(PumpUntil([this] { return !Commands().empty(); }, 3000));
    EXPECT_EQ(Commands()[0].wParam, 40013u);
}

TEST_F(CommandBandsTest, DestroyingTheMenuBarFirstLeavesTheOwnerWorking) {
    // The main window destroys the menu bar before itself on quit.
    DestroyWindow(menuBar);
    EXPECT_EQ(CommandBands_GetCommandBar(bands, 0), nullptr);
    SetWindowPos(host, nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOMOVE);
    PumpUntil([] { return false; }, 50);
    EXPECT_GT(CommandBar_Height(toolBar), 0);
    EXPECT_EQ(InHost(bands).right, ClientWidth());
    // Gone before their owner, the bands leave the owner's own procedure behind.
    DestroyWindow(bands);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(host, GWLP_WNDPROC)), HostProc);
    SetWindowPos(host, nullptr, 0, 0, 300, 300, SWP_NOZORDER | SWP_NOMOVE);
    DestroyWindow(host);
    host = nullptr;
}

}  // namespace
