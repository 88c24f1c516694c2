// The caption OK button: a dialog that sets WS_EX_CAPTIONOKBTN in WM_INITDIALOG, as the program's
// dialogs do, gets a button in its caption that sends IDOK; its items stay where the template
// puts them; F1 reaches WM_HELP.
#include <gtest/gtest.h>

#include <vector>

#include "platform/caption_button.h"
#include "tests/win/screenshot.h"
#include "harness/win/ui_driver.h"

namespace {

const int kTestDialog = 901;

std::vector<UINT> dialogMessages;  // WM_COMMAND ids and WM_HELP seen by the dialog

INT_PTR CALLBACK TestDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (lParam)
            SetWindowLongW(
                hDlg, GWL_EXSTYLE,
                GetWindowLongW(hDlg, GWL_EXSTYLE) | WS_EX_CAPTIONOKBTN | WS_EX_CONTEXTHELP);
        return TRUE;
    case WM_COMMAND:
        if (lParam) return FALSE;  // notifications of the items
        dialogMessages.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    case WM_HELP: dialogMessages.push_back(WM_HELP); return TRUE;
    }
    return FALSE;
}

class CaptionButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialogMessages.clear();
        ASSERT_EQ(InstallCaptionButtons(), 0);
    }
    void TearDown() override { RemoveCaptionButtons(); }

    // Runs the test dialog (with or without the style) and the step inside its modal loop.
    INT_PTR Run(bool withStyle, std::function<void(HWND)> step) {
        UiDriver ui;
        ui.onNextDialog(std::move(step));
        INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTestDialog),
                                         nullptr, TestDlgProc, withStyle ? 1 : 0);
        EXPECT_EQ(ui.unexpected(), 0);
        return result;
    }
};

struct Layout {
    RECT client;              // client rectangle in screen coordinates
    std::vector<RECT> items;  // item rectangles in client coordinates
};

Layout LayoutOf(HWND hDlg) {
    Layout l{};
    GetClientRect(hDlg, &l.client);
    MapWindowPoints(hDlg, nullptr, reinterpret_cast<POINT *>(&l.client), 2);
    for (int id : {1001, 1002, 1003}) {
        RECT rc;
        GetWindowRect(GetDlgItem(hDlg, id), &rc);
        MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT *>(&rc), 2);
        l.items.push_back(rc);
    }
    return l;
}

TEST_F(CaptionButtonTest, TheButtonSitsInTheCaptionAndTheItemsKeepTheirTemplatePlaces) {
    Layout plain{}, styled{};
    RECT button{}, window{};
    Run(false, [&](HWND hDlg) {
        plain = LayoutOf(hDlg);
        EXPECT_FALSE(GetCaptionOkButtonRect(hDlg, &button)) << "no button without the style";
        EndDialog(hDlg, IDCANCEL);
    });
    Run(true, [&](HWND hDlg) {
        EXPECT_TRUE(static_cast<DWORD>(GetWindowLongW(hDlg, GWL_EXSTYLE)) & WS_EX_CAPTIONOKBTN)
            << "the style stays set";
        styled = LayoutOf(hDlg);
        GetWindowRect(hDlg, &window);
        EXPECT_TRUE(GetCaptionOkButtonRect(hDlg, &button));
        // The template's rectangles in pixels.
        RECT expected[3] = {{0, 0, 40, 10}, {44, 0, 120, 12}, {100, 66, 120, 80}};
        for (int i = 0; i < 3; ++i) {
            MapDialogRect(hDlg, &expected[i]);
            EXPECT_TRUE(EqualRect(&expected[i], &styled.items[i])) << "item " << i;
        }
        EndDialog(hDlg, IDCANCEL);
    });
    EXPECT_EQ(plain.client.right - plain.client.left, styled.client.right - styled.client.left);
    EXPECT_EQ(plain.client.bottom - plain.client.top, styled.client.bottom - styled.client.top);
    // In the caption: inside the window, above the client area, right half.
    EXPECT_GT(button.right - button.left, 10);
    EXPECT_GE(button.top, window.top);
    EXPECT_LE(button.bottom, styled.client.top);
    EXPECT_GT(button.left, (window.left + window.right) / 2);
    EXPECT_LT(button.right, window.right);
}

TEST_F(CaptionButtonTest, ClickingTheButtonSendsIdokAndReleasingElsewhereDoesNot) {
    INT_PTR result = Run(true, [](HWND hDlg) {
        RECT rc{};
        ASSERT_TRUE(GetCaptionOkButtonRect(hDlg, &rc));
        POINT center{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        EXPECT_EQ(SendMessageW(hDlg, WM_NCHITTEST, 0, MAKELPARAM(center.x, center.y)), HTBORDER)
            << "the button answers the hit test; the caption around it does not";
        POINT outside{rc.left - 40, center.y};
        EXPECT_NE(SendMessageW(hDlg, WM_NCHITTEST, 0, MAKELPARAM(outside.x, outside.y)), HTBORDER);

        SaveWindowShot(hDlg, L"caption_ok.bmp");
        // Down on the button, moved away and released in the client area: no command.
        POINT client{10, 10};
        SendMessageW(hDlg, WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(center.x, center.y));
        EXPECT_EQ(GetCapture(), hDlg) << "the press holds the mouse";
        SaveWindowShot(hDlg, L"caption_ok_pressed.bmp");
        SendMessageW(hDlg, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(client.x, client.y));
        SendMessageW(hDlg, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        EXPECT_TRUE(dialogMessages.empty());
        EXPECT_EQ(GetCapture(), nullptr);

        // Down and up on the button: IDOK.
        POINT up = center;
        ScreenToClient(hDlg, &up);
        PostMessageW(hDlg, WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(center.x, center.y));
        PostMessageW(hDlg, WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(dialogMessages.size(), 1u);
    EXPECT_EQ(dialogMessages[0], static_cast<UINT>(IDOK));
}

TEST_F(CaptionButtonTest, F1InADialogReachesWmHelp) {
    Run(true, [](HWND hDlg) {
        HWND edit = GetDlgItem(hDlg, 1002);
        SetFocus(edit);
        // A real key press: the help request comes from the input path, not from a posted key.
        SetForegroundWindow(hDlg);
        keybd_event(VK_F1, 0x3B, 0, 0);
        keybd_event(VK_F1, 0x3B, KEYEVENTF_KEYUP, 0);
        PumpUntil([] { return !dialogMessages.empty(); }, 2000);
        EndDialog(hDlg, IDCANCEL);
    });
    ASSERT_FALSE(dialogMessages.empty());
    EXPECT_EQ(dialogMessages[0], static_cast<UINT>(WM_HELP));
}

}  // namespace
