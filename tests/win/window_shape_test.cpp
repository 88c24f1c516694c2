// The main window's two shapes: chosen from the work area; the desktop window's caption, icon,
// layout on resizing, minimum size and remembered place.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/shell.h"
#include "platform/screen_shape.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "tests/win/shell_kit.h"

namespace {

BOOL DesktopWorkArea(RECT *r) { return SystemParametersInfoW(SPI_GETWORKAREA, 0, r, 0); }

RECT ClientOf(HWND w) {
    RECT r;
    GetClientRect(w, &r);
    return r;
}

// A child's rectangle in the main window's client coordinates.
RECT ChildRect(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, hMainWnd, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

std::wstring Text(HWND w) {
    WCHAR text[512] = {};
    GetWindowTextW(w, text, 512);
    return text;
}

TEST(ScreenShapeTest, AHandheldIsNoBiggerThan480PixelsAt96Dpi) {
    struct Case {
        RECT work;
        UINT dpi;
        bool handheld;
    };
    const Case cases[] = {
        {{0, 26, 240, 320}, 96, true},  // the handheld, less its task bar
        {{0, 0, 320, 240}, 96, true},   // landscape
        {{0, 0, 480, 640}, 192, true},  // a VGA handheld at 2x
        {{0, 0, 480, 480}, 96, true},   // the largest square
        {{0, 0, 481, 320}, 96, false},  // one pixel wider
        {{0, 0, 480, 640}, 96, false},  // VGA at 1x is a small desktop
        {{0, 0, 640, 480}, 96, false},   {{0, 0, 1024, 768}, 96, false},
        {{0, 0, 1280, 800}, 192, false},  // a desktop at 2x is still a desktop
        {{0, 0, 240, 320}, 0, true},      // an unknown DPI counts as 96
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsHandheldWorkArea(c.work, c.dpi), c.handheld)
            << c.work.right - c.work.left << "x" << c.work.bottom - c.work.top << " at " << c.dpi;
}

class WindowShapeTest : public ShellTest {
protected:
    void StartIn(BOOL (*workArea)(RECT *)) {
        ShellWorkArea = workArea;
        Start();
    }
    void Restart() {
        ResetShell();
        ResetGlobalStores();
        Start();
    }
};

TEST_F(WindowShapeTest, TheShapeFollowsTheWorkArea) {
    struct Case {
        BOOL (*workArea)(RECT *);
        WindowShape shape;
        bool caption, adornments;
    };
    const Case cases[] = {
        {HandheldWorkArea, WindowShape::Handheld, false, true},
        {DesktopWorkArea, WindowShape::Desktop, true, false},
    };
    for (const Case &c : cases) {
        StartIn(c.workArea);
        EXPECT_EQ(windowShape, c.shape);
        const LONG_PTR style = GetWindowLongPtrW(hMainWnd, GWL_STYLE);
        EXPECT_EQ((style & WS_CAPTION) == WS_CAPTION, c.caption);
        EXPECT_EQ((style & WS_THICKFRAME) != 0, c.caption) << "resizable only on the desktop";
        EXPECT_EQ(Text(hMainWnd), L"The Arkel");
        // The handheld's window has its help, OK and close buttons on the bands; the desktop's
        // has them in its caption.
        EXPECT_EQ(
            FindWindowExW(hCommandBands, nullptr, L"ArkelCommandAdornments", nullptr) != nullptr,
            c.adornments);
        const bool icons = SendMessageW(hMainWnd, WM_GETICON, ICON_BIG, 0) != 0 &&
                           SendMessageW(hMainWnd, WM_GETICON, ICON_SMALL, 0) != 0;
        EXPECT_EQ(icons, c.caption) << "the desktop window shows the program's icon";
        ResetShell();
        ResetGlobalStores();
    }
}

TEST_F(WindowShapeTest, ResizingLaysTheChildrenOutAcrossTheWindow) {
    const wchar_t *longRemark =
        L"Rahmennummer unter dem Tretlager, eingraviert, schwer zu lesen ohne Lampe";
    Prepare({{L"Fahrrad", L"", L"RH-2291-X", longRemark}});
    StartIn(DesktopWorkArea);
    Select(0);
    struct Case {
        int width, height;
        bool remarkWhole;
    };
    // Wide: the remark fits whole; at the handheld's width it is cut with "...".
    const Case cases[] = {{900, 700, true}, {Px(240), Px(294), false}, {1000, 720, true}};
    for (const Case &c : cases) {
        RECT frame{0, 0, c.width, c.height};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hMainWnd, GWL_STYLE)),
                           FALSE, 0);
        SetWindowPos(hMainWnd, nullptr, 10, 10, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOZORDER);
        PumpShellFor(50);
        const RECT client = ClientOf(hMainWnd);
        ASSERT_EQ(client.right, c.width);
        ASSERT_EQ(client.bottom, c.height);
        const RECT bands = ChildRect(hCommandBands), detail = ChildRect(hDetailBack),
                   list = ChildRect(hObjectList), value = ChildRect(hValueText[2]);
        EXPECT_EQ(bands.right, c.width) << "the bands lie across the top";
        EXPECT_EQ(detail.top, bands.bottom) << "the detail area lies under the bands";
        EXPECT_EQ(detail.left, 0);
        EXPECT_EQ(detail.right, c.width);
        EXPECT_EQ(list.top, detail.bottom) << "the list fills the rest";
        EXPECT_EQ(list.right, c.width);
        EXPECT_GE(list.bottom, c.height - Px(20))
            << "the list ends less than a row above the bottom";
        EXPECT_LE(value.right, c.width + Px(2));
        EXPECT_EQ(Text(hValueText[2]) == longRemark, c.remarkWhole) << Text(hValueText[2]);
    }
}

TEST_F(WindowShapeTest, TheDesktopWindowIsNeverSmallerThanTheHandheldOne) {
    StartIn(DesktopWorkArea);
    SetWindowPos(hMainWnd, nullptr, 0, 0, 100, 100, SWP_NOZORDER | SWP_NOMOVE);
    const RECT client = ClientOf(hMainWnd);
    EXPECT_GE(client.right, Px(240));
    EXPECT_GE(client.bottom, Px(294));
    MINMAXINFO info{};
    SendMessageW(hMainWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    RECT least{0, 0, Px(240), Px(294)};
    AdjustWindowRectEx(&least, static_cast<DWORD>(GetWindowLongPtrW(hMainWnd, GWL_STYLE)), FALSE,
                       0);
    EXPECT_EQ(info.ptMinTrackSize.x, least.right - least.left);
    EXPECT_EQ(info.ptMinTrackSize.y, least.bottom - least.top);
}

TEST_F(WindowShapeTest, TheFirstPlaceIsCentredAtTheHandheldsProportions) {
    StartIn(DesktopWorkArea);
    RECT work;
    DesktopWorkArea(&work);
    RECT r;
    GetWindowRect(hMainWnd, &r);
    const RECT client = ClientOf(hMainWnd);
    EXPECT_NEAR(client.right * 294.0 / client.bottom, 240.0, 2.0) << "240:294, the handheld's";
    EXPECT_GT(client.bottom, 294) << "larger than the handheld's, to be read comfortably";
    EXPECT_LE(r.bottom - r.top, work.bottom - work.top);
    EXPECT_NEAR((r.left + r.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((r.top + r.bottom) / 2, (work.top + work.bottom) / 2, 2);
}

TEST_F(WindowShapeTest, ThePlaceOfTheLastEndComesBack) {
    StartIn(DesktopWorkArea);
    RECT first;
    GetWindowRect(hMainWnd, &first);

    // Moved and resized: the next start opens there.
    MoveWindow(hMainWnd, 50, 60, 500, 620, TRUE);
    Restart();
    RECT r;
    GetWindowRect(hMainWnd, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left, 500);
    EXPECT_EQ(r.bottom - r.top, 620);

    // Maximized: maximized again, and restored to the place it had before.
    ShowWindow(hMainWnd, SW_MAXIMIZE);
    Restart();
    EXPECT_TRUE(IsZoomed(hMainWnd));
    ShowWindow(hMainWnd, SW_RESTORE);
    GetWindowRect(hMainWnd, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.right - r.left, 500);

    // A place on no monitor (one since taken away) is not used: the window opens where a first
    // start opens it.
    MoveWindow(hMainWnd, -5000, -5000, 500, 620, TRUE);
    Restart();
    GetWindowRect(hMainWnd, &r);
    EXPECT_EQ(r.left, first.left);
    EXPECT_EQ(r.top, first.top);

    // The handheld's window never stores one.
    ResetShell();
    ResetGlobalStores();
    ClearSettingsKey();
    StartIn(HandheldWorkArea);
    ResetShell();
    WindowPlacement stored;
    EXPECT_FALSE(settings.GetWindowPlacement(&stored));
}

}  // namespace

namespace {

// Every dialog template, whole at the DPI the test runs at: each visible control lies inside the
// dialog's client area, each text of a static or button fits its control, and the dialog fits a
// work area that can hold it (the handheld's at 96 DPI).
INT_PTR CALLBACK InertDlgProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

void CheckControls(HWND dialog, std::vector<std::wstring> *cuts) {
    RECT client;
    GetClientRect(dialog, &client);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!(GetWindowLongPtrW(c, GWL_STYLE) & WS_VISIBLE)) continue;
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
        WCHAR cls[32] = {}, text[256] = {};
        GetClassNameW(c, cls, 32);
        GetWindowTextW(c, text, 256);
        const std::wstring name = std::wstring(cls) + L" \"" + text + L"\"";
        if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom)
            cuts->push_back(name + L" lies outside the dialog");
        const bool label = lstrcmpiW(cls, L"Static") == 0 || lstrcmpiW(cls, L"Button") == 0;
        const LONG_PTR style = GetWindowLongPtrW(c, GWL_STYLE);
        if (!label || !text[0] ||
            (lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON))
            continue;
        HDC hdc = GetDC(c);
        HGDIOBJ old = SelectObject(hdc, font);
        RECT need{0, 0, r.right - r.left, 0};
        // Check boxes and radio buttons keep room for their box.
        const LONG_PTR kind = style & BS_TYPEMASK;
        const bool box = lstrcmpiW(cls, L"Button") == 0 &&
                         (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX ||
                          kind == BS_AUTORADIOBUTTON || kind == BS_RADIOBUTTON);
        if (box) need.right -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
        DrawTextW(hdc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK);
        SelectObject(hdc, old);
        ReleaseDC(c, hdc);
        const bool pushButton = lstrcmpiW(cls, L"Button") == 0 && !box && kind != BS_GROUPBOX;
        const int room = r.bottom - r.top + (pushButton ? 0 : 2);
        if (need.bottom > room || need.right > r.right - r.left)
            cuts->push_back(name + L" needs " + std::to_wstring(need.right) + L"x" +
                            std::to_wstring(need.bottom) + L", has " +
                            std::to_wstring(r.right - r.left) + L"x" +
                            std::to_wstring(r.bottom - r.top));
    }
}

TEST(DialogFitTest, EveryDialogIsWholeAtThisDpi) {
    const UINT dpi = SystemDpi();
    RegisterMainClass(GetModuleHandleW(nullptr));  // the arrow's class, which a template names
    WNDCLASSW arrow;
    ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), kArrowClass, &arrow));
    const int templates[] = {
        IDD_ABOUT,          IDD_OBJECT_EDIT,       IDD_CATEGORIES,      IDD_PREFERENCES,
        IDD_ENTER_PASSWORD, IDD_SET_PASSWORD,      IDD_CHANGE_PASSWORD, IDD_FIELD_TITLES,
        IDD_PROGRESS,       IDD_PASSWORD_GENERATOR};
    for (int id : templates) {
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr,
                                         InertDlgProc, 0);
        ASSERT_NE(dialog, nullptr) << id;
        std::vector<std::wstring> cuts;
        CheckControls(dialog, &cuts);
        for (const std::wstring &cut : cuts)
            ADD_FAILURE() << "dialog " << id << ": " << cut.c_str();
        // The handheld's screen holds every dialog's controls at 96 DPI (its frame, which the
        // handheld did not draw, may reach a pixel beyond). At a higher DPI the dialog units grow
        // a little faster than the DPI (the font's widths are rounded up): there the dialog must
        // fit the work area of the screen the test runs on.
        RECT r;
        if (dpi <= 96) {
            GetClientRect(dialog, &r);
            EXPECT_LE(r.right - r.left, 240) << "dialog " << id;
            EXPECT_LE(r.bottom - r.top, 294) << "dialog " << id;
        } else {
            RECT work;
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            GetWindowRect(dialog, &r);
            EXPECT_LE(r.right - r.left, work.right - work.left) << "dialog " << id << " at " << dpi;
            EXPECT_LE(r.bottom - r.top, work.bottom - work.top) << "dialog " << id << " at " << dpi;
        }
        DestroyWindow(dialog);
    }
}

}  // namespace
