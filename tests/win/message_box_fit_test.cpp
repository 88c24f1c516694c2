// Message boxes on the 240-pixel screen: a box that the system makes wider than the work area is
// laid out again within it, with nothing cut off.
#include <gtest/gtest.h>

#include "platform/message_box_fit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kQuestion[] =
    L"Das ausgew\u00e4hlte Objekt wird endg\u00fcltig gel\u00f6scht. Fortfahren?";

RECT inParent(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

bool inside(const RECT &inner, const RECT &outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Everything of the box lies within the area: the frame, the whole wrapped text, every button.
void expectFits(HWND box, const RECT &area) {
    RECT win, client;
    GetWindowRect(box, &win);
    GetClientRect(box, &client);
    EXPECT_TRUE(inside(win, area))
        << win.left << "," << win.top << " " << win.right << "," << win.bottom;
    HWND text = GetDlgItem(box, 0xFFFF);
    RECT textRect = inParent(box, text);
    EXPECT_TRUE(inside(textRect, client));
    WCHAR buffer[256];
    GetWindowTextW(text, buffer, 256);
    HDC dc = GetDC(text);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
    RECT need{0, 0, textRect.right - textRect.left, 0};
    DrawTextW(dc, buffer, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(text, dc);
    EXPECT_LE(need.bottom, textRect.bottom - textRect.top) << "the text is not cut off";
    EXPECT_LE(need.right, textRect.right - textRect.left);
    for (int id : {IDYES, IDNO}) {
        RECT b = inParent(box, GetDlgItem(box, id));
        EXPECT_TRUE(inside(b, client)) << id;
        EXPECT_GE(b.top, textRect.bottom) << "buttons stand below the text";
    }
    RECT yes = inParent(box, GetDlgItem(box, IDYES)), no = inParent(box, GetDlgItem(box, IDNO));
    EXPECT_LE(yes.right, no.left) << "Yes stays left of No";
}

TEST(MessageBoxFit, AWideBoxIsLaidOutWithinTheScreen) {
    const RECT screen{0, 26, 240, 320};
    UiDriver ui;
    ui.onNextDialog([&](HWND box) {
        RECT before;
        GetWindowRect(box, &before);
        EXPECT_GT(before.right - before.left, 240) << "the system's box is wider than the screen";
        FitMessageBox(box, screen);
        expectFits(box, screen);
        PressButton(box, IDYES);
    });
    EXPECT_EQ(MessageBoxW(nullptr, kQuestion, L"The Arkel", MB_YESNO | MB_ICONEXCLAMATION), IDYES);
    EXPECT_EQ(ui.unexpected(), 0);
}

TEST(MessageBoxFit, TheHookFitsBoxesToTheWorkAreaAndLeavesSmallOnesAlone) {
    RECT saved;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
    RECT small{0, 0, 240, 320};
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &small, 0));
    ASSERT_EQ(InstallMessageBoxFit(), 0);
    UiDriver ui;
    ui.onNextDialog([&](HWND box) {
        // The fit runs in the box's first rounds of its modal loop.
        PumpUntil(
            [&] {
                RECT win;
                GetWindowRect(box, &win);
                return win.right - win.left <= 240;
            },
            2000);
        expectFits(box, small);
        PressButton(box, IDNO);
    });
    RECT shortBox{};
    ui.onNextDialog([&](HWND box) {
        GetWindowRect(box, &shortBox);
        PressButton(box, IDOK);
    });
    int first = MessageBoxW(nullptr, kQuestion, L"The Arkel", MB_YESNO | MB_ICONEXCLAMATION);
    int second = MessageBoxW(nullptr, L"Kurz.", L"The Arkel", MB_OK);
    RemoveMessageBoxFit();
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    EXPECT_EQ(first, IDNO);
    EXPECT_EQ(second, IDOK);
    EXPECT_LT(shortBox.right - shortBox.left, 240) << "a box that fits keeps the system's size";
}

}  // namespace
