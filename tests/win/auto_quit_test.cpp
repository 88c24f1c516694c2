// Auto-quit with short periods. The clock the shell watches is replaced by a fake one; the
// machine's clock is never touched.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "app/shell.h"
#include "app/test_seam.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

ULONGLONG fakeNow = 0;
ULONGLONG FakeClock() { return fakeNow; }
constexpr ULONGLONG kSecond = 10000000;  // FILETIME units

class AutoQuitTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        fakeNow = 130000000000000000ull;
        ShellSystemTime = FakeClock;
    }
    // Start-up takes a stored period of at least 15 s (the preferences' minimum, tested below);
    // the shell then runs with the short period the test asks for, so that no test waits 15 s.
    void StartWith(DWORD autoQuit) {
        const DWORD stored = autoQuit ? std::max<DWORD>(autoQuit, 15000) : 0;
        settings.SetAutoQuit(stored);
        autoQuitActive = 0;
        Start();
        ASSERT_EQ(autoQuitActive, stored);
        ASSERT_EQ(autoQuitPeriod, stored);
        autoQuitActive = autoQuitPeriod = autoQuit;
        StartIdleTimers();
    }
    static bool Ended() { return !IsWindow(hMainWnd); }
};

TEST_F(AutoQuitTest, QuitsAfterTheIdleTime) {
    StartWith(300);
    EXPECT_TRUE(PumpShellUntil(Ended, 10000));
}

TEST_F(AutoQuitTest, AnyMessageRestartsTheIdleTime) {
    StartWith(1500);
    // Three periods long, a message every 100 ms keeps the program running.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 4500) {
        PostMessageW(hMainWnd, WM_NULL, 0, 0);
        PumpShellFor(100);
        ASSERT_FALSE(Ended());
    }
    EXPECT_TRUE(PumpShellUntil(Ended, 10000)) << "quiet again, it quits";
}

// "AutoQuit" = 1 once ended the program 0.7 s after every start. A stored period below the
// preferences' minimum arms the idle timer with that minimum, 15 s.
TEST_F(AutoQuitTest, AStoredPeriodBelowTheMinimumKeepsTheProgramUsable) {
    settings.SetAutoQuit(1);
    Start();
    EXPECT_EQ(autoQuitActive, 15000u);
    EXPECT_EQ(autoQuitPeriod, 15000u) << "the period the idle timer is armed with";
    PumpShellFor(2000);  // far beyond the old period, well within the minimum
    EXPECT_FALSE(Ended());
}

TEST_F(AutoQuitTest, DoesNotQuitWhileAMessageBoxIsActive) {
    Prepare({{L"Anton", L""}});  // the delete question needs a selected object
    StartWith(200);
    UiDriver ui;
    bool stillRunning = false;
    ui.onNextDialog([&](HWND box) {
        // Several idle periods pass inside the question.
        PumpUntil([] { return false; }, 1500);
        stillRunning = IsWindow(hMainWnd) != FALSE;
        PressButton(box, IDNO);
    });
    PostMessageW(hMainWnd, WM_COMMAND, IDM_DELETE, 0);
    EXPECT_TRUE(PumpShellUntil(Ended, 10000));
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_TRUE(stillRunning);
}

TEST_F(AutoQuitTest, AnExpiredAboutBoxEndsTheProgram) {
    StartWith(300);
    UiDriver ui;
    ui.onNextDialog([](HWND) {});  // leave it open
    PostMessageW(hMainWnd, WM_COMMAND, IDM_ABOUT, 0);
    EXPECT_TRUE(PumpShellUntil(Ended, 10000));
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].caption, L"Info");
    EXPECT_EQ(autoQuitPeriod, 1u) << "the box expired";
}

TEST_F(AutoQuitTest, AClockJumpAheadQuitsSoonAfterTheNextTick) {
    StartWith(600000);  // the idle time alone would take ten minutes
    PumpShellFor(100);
    fakeNow += 31 * kSecond;
    EXPECT_TRUE(PumpShellUntil(Ended, 5000));
}

TEST_F(AutoQuitTest, AClockJumpBackOnlyResetsTheWatch) {
    StartWith(600000);
    fakeNow -= 3600 * kSecond;
    PumpShellFor(2500);  // two ticks or more
    ASSERT_FALSE(Ended());
    EXPECT_EQ(lastTickTime, fakeNow) << "the watch took the earlier time";
    // Measured from the reset time, 31 seconds ahead is a jump.
    fakeNow += 31 * kSecond;
    EXPECT_TRUE(PumpShellUntil(Ended, 5000));
}

TEST_F(AutoQuitTest, SmallStepsOfTheClockAreNoJump) {
    StartWith(600000);
    for (int i = 0; i < 3; ++i) {
        fakeNow += 30 * kSecond;  // exactly 30 seconds per tick is still normal
        PumpShellUntil([] { return lastTickTime == fakeNow; }, 3000);
        ASSERT_EQ(lastTickTime, fakeNow) << i;
    }
    EXPECT_FALSE(Ended());
}

TEST_F(AutoQuitTest, AutoQuitOffNeverQuitsEvenAfterAClockJump) {
    StartWith(0);
    fakeNow += 31 * kSecond;
    PumpShellFor(2500);
    EXPECT_FALSE(Ended());
    UiDriver ui;
    ui.onNextDialog([](HWND d) {
        PumpUntil([] { return false; }, 500);
        PressButton(d, IDOK);
    });
    PostMessageW(hMainWnd, WM_COMMAND, IDM_ABOUT, 0);
    PumpShellFor(1000);
    EXPECT_FALSE(Ended());
    EXPECT_EQ(ui.seen().size(), 1u);
}

}  // namespace
