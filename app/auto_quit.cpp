// Auto-quit: the main window's idle timer (1) and clock watch (2).
#include <windows.h>

#include "app/clipboard.h"
#include "app/dialog_kit.h"
#include "app/lock.h"
#include "app/shell.h"

namespace {

constexpr UINT_PTR kWatchTimer = 2;
constexpr LONGLONG kLargestTick = 300000000;  // 30 seconds in 100-ns units
constexpr UINT kQuitSoon = 100;               // ms from a detected clock jump to the quit

}  // namespace

ULONGLONG ReadSystemTime() {
    SYSTEMTIME st;
    FILETIME ft;
    GetSystemTime(&st);
    SystemTimeToFileTime(&st, &ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void StartIdleTimers() {
    if (autoQuitActive) SetTimer(hMainWnd, kIdleTimerId, autoQuitPeriod, nullptr);
    lastTickTime = ShellSystemTime();
    SetTimer(hMainWnd, kWatchTimer, 1000, nullptr);
}

void StopIdleTimers() {
    KillTimer(hMainWnd, kIdleTimerId);
    KillTimer(hMainWnd, kWatchTimer);
}

void OnMainWindowTimer(HWND hwnd, UINT_PTR timer) {
    if (timer == kIdleTimerId) {
        // A dialog or message box in front keeps the program alive; the timer stays armed.
        HWND active = GetActiveWindow();
        if (active && active != hwnd) return;
        if (!autoQuitActive || VaultLocked()) return;
        if (IdleLocks()) {
            LockVault(hwnd);
            return;
        }
        DestroyWindow(hMenuBar);
        DestroyWindow(hwnd);
    } else if (timer == kClipboardTimer) {
        OnClipboardClearTimer();
    } else if (timer == kWatchTimer) {
        ULONGLONG now = ShellSystemTime();
        LONGLONG difference = static_cast<LONGLONG>(now - lastTickTime);
        if (difference <= kLargestTick) {
            // Normal tick, or the clock went back: just take the new time.
            lastTickTime = now;
            SetTimer(hwnd, kWatchTimer, 1000, nullptr);
        } else {
            // The clock jumped ahead: quit soon. lastTickTime stays, so every later tick repeats
            // this until the idle timer's rules let the program end.
            SetTimer(hwnd, kIdleTimerId, kQuitSoon, nullptr);
        }
    }
}
