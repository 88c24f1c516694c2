// The object list keeps no texts of its own: its rows come from the texts kept beside it. What a
// list box of texts did by itself must still hold: the rows read back, first-letter selection,
// the row height of the list's font, and rows drawn in the list's colours.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/object_rows.h"
#include "app/shell.h"
#include "tests/win/shell_kit.h"

namespace {

class ObjectRowsTest : public ShellTest {
protected:
    int RowOf(const std::wstring &name) {
        for (int i = 0; i < Rows(); ++i)
            if (Row(i) == name) return i;
        ADD_FAILURE() << "no row";
        return -1;
    }
    void Type(wchar_t letter) {
        PostMessageW(hObjectList, WM_CHAR, letter, 1);
        PumpShellFor(20);
    }
};

TEST_F(ObjectRowsTest, RowsReadBackAndNothingOutsideThem) {
    Prepare({{L"Anton", L""}, {L"\u00d6lheizung", L"Haus"}, {L"", L""}});
    Start();
    ASSERT_EQ(Rows(), 3);
    std::vector<std::wstring> rows;
    for (int i = 0; i < 3; ++i) {
        rows.push_back(Row(i));
        EXPECT_EQ(SendMessageW(hObjectList, LB_GETTEXTLEN, i, 0),
                  static_cast<LRESULT>(rows.back().size()));
    }
    // An empty name is a row of its own, listed first.
    EXPECT_EQ(rows, (std::vector<std::wstring>{L"", L"Anton", L"\u00d6lheizung"}));
    WCHAR text[8] = L"x";
    EXPECT_EQ(SendMessageW(hObjectList, LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text)), LB_ERR);
    EXPECT_EQ(SendMessageW(hObjectList, LB_GETTEXTLEN, static_cast<WPARAM>(-1), 0), LB_ERR);
    EXPECT_STREQ(text, L"x");
    EXPECT_STREQ(ObjectRowText(3), L"");
    // Emptying the list (as locking does) leaves no text behind.
    SendMessageW(hObjectList, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(Rows(), 0);
    EXPECT_STREQ(ObjectRowText(0), L"");
}

TEST_F(ObjectRowsTest, FirstLetterSelectsTheNextRowWithIt) {
    Prepare({{L"Anton", L""},
             {L"apfel", L""},
             {L"Berta", L""},
             {L"\u00d6l", L""},
             {L"[Zugang]", L""},
             {L"zebra", L""}});
    Start();
    struct Case {
        const wchar_t *from;  // selected before the key
        wchar_t letter;
        const wchar_t *to;  // selected after it
    };
    const Case cases[] = {
        {L"Berta", L'a', L"Anton"},         // around from the end to the top
        {L"Anton", L'A', L"apfel"},         // the next one, whatever its letter case
        {L"apfel", L'a', L"Anton"},         // and around again
        {L"Anton", L'\u00f6', L"\u00d6l"},  // an umlaut finds its capital
        {L"zebra", L'z', L"[Zugang]"},      // a text in brackets by the letter after the bracket
        {L"[Zugang]", L'z', L"zebra"},
        {L"Berta", L'q', L"Berta"},  // no row with the letter: the selection stays
    };
    for (const Case &c : cases) {
        Select(RowOf(c.from));
        PumpShellFor(20);
        Type(c.letter);
        EXPECT_EQ(Row(Selection()), c.to) << "from " << Selection() << " by " << int(c.letter);
        // The detail area follows, as after a tap.
        EXPECT_STREQ(CurrentObject.field1, c.to);
    }
}

TEST_F(ObjectRowsTest, RowHeightFollowsTheListFont) {
    Prepare({{L"Anton", L""}, {L"Berta", L""}});
    Start();
    auto textHeight = [](HFONT font) {
        HDC hdc = GetDC(hObjectList);
        HGDIOBJ old = SelectObject(hdc, font);
        SIZE size{};
        GetTextExtentPoint32W(hdc, L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52,
                              &size);
        SelectObject(hdc, old);
        ReleaseDC(hObjectList, hdc);
        return static_cast<LRESULT>(size.cy);
    };
    EXPECT_EQ(SendMessageW(hObjectList, LB_GETITEMHEIGHT, 0, 0), textHeight(hNormalFont));
    HFONT large =
        CreateFontW(-30, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    SendMessageW(hObjectList, WM_SETFONT, reinterpret_cast<WPARAM>(large), TRUE);
    EXPECT_GE(SendMessageW(hObjectList, LB_GETITEMHEIGHT, 0, 0), 30);
    EXPECT_EQ(SendMessageW(hObjectList, LB_GETITEMHEIGHT, 0, 0), textHeight(large));
    RECT second{};
    SendMessageW(hObjectList, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    EXPECT_EQ(second.top, textHeight(large));
    SendMessageW(hObjectList, WM_SETFONT, reinterpret_cast<WPARAM>(hNormalFont), TRUE);
    EXPECT_EQ(SendMessageW(hObjectList, LB_GETITEMHEIGHT, 0, 0), textHeight(hNormalFont));
    DeleteObject(large);
}

TEST_F(ObjectRowsTest, RowsAreDrawnInTheListColours) {
    Prepare({{L"Anton", L""}, {L"Berta", L""}});
    Start();
    Select(0);
    PumpShellFor(50);
    RedrawWindow(hObjectList, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT first{}, second{}, client{};
    SendMessageW(hObjectList, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageW(hObjectList, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    GetClientRect(hObjectList, &client);
    HDC hdc = GetDC(hObjectList);
    const int x = client.right - 3;
    // The selected row in the system's selection colour, the other in the list's background,
    // and below the rows the list's background too.
    EXPECT_EQ(GetPixel(hdc, x, first.top + 2), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetPixel(hdc, x, second.top + 2), clrListBack);
    EXPECT_EQ(GetPixel(hdc, x, client.bottom - 2), clrListBack);
    // The second row's text is there: some pixel of its left part differs from the background.
    bool inked = false;
    for (int px = 1; px < 40 && !inked; ++px)
        for (int py = second.top; py < second.bottom && !inked; ++py)
            inked = GetPixel(hdc, px, py) != clrListBack;
    EXPECT_TRUE(inked);
    ReleaseDC(hObjectList, hdc);
}

}  // namespace
