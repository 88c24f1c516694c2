// Drives the program's dialogs and message boxes from inside a test.
//
// A CBT hook on the test's thread sees every dialog (class "#32770", message boxes included) as it
// becomes active. Each one is recorded; the next queued step then runs on it from inside the
// dialog's own modal loop (through a thread timer), where it can read texts, fill edits and press
// buttons. A dialog for which no step is queued is recorded as unexpected and closed, so that a
// test fails instead of hanging. The progress window of the long passes is not a dialog here.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct SeenDialog {
    std::wstring caption;
    std::wstring text;  // a message box's text; empty for other dialogs
    bool expected;
    LPARAM initParam;  // the parameter its WM_INITDIALOG carried (a dialog procedure's mode)
};

class UiDriver {
public:
    UiDriver();
    ~UiDriver();
    UiDriver(const UiDriver &) = delete;
    UiDriver &operator=(const UiDriver &) = delete;

    // Runs step on the next dialog that opens.
    void onNextDialog(std::function<void(HWND)> step);

    // Expects the next dialog to be a message box; records its caption and text, presses button.
    void answerMessageBox(int button);

    // Every dialog seen so far, in the order they opened.
    const std::vector<SeenDialog> &seen() const { return seen_; }
    // Steps queued but not yet run.
    size_t pendingSteps() const { return steps_.size(); }
    int unexpected() const;

private:
    static LRESULT CALLBACK cbtProc(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK callProc(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK timerProc(HWND, UINT, UINT_PTR id, DWORD);
    void activated(HWND dialog);

    HHOOK hook_;
    HHOOK callHook_;
    std::vector<std::pair<HWND, LPARAM>> initParams_;
    std::deque<std::function<void(HWND)>> steps_;
    std::vector<SeenDialog> seen_;
    std::vector<HWND> known_;
    struct Due {
        UINT_PTR timer;
        HWND dialog;
        std::function<void(HWND)> step;
    };
    std::vector<Due> due_;
};

std::wstring WindowText(HWND window);
std::wstring ItemText(HWND dialog, int id);
// The text of a message box (its static control 0xFFFF).
std::wstring MessageBoxText(HWND box);
// The id of the dialog's default push button (the one Enter presses); 0 when it has none.
int DefaultButton(HWND dialog);
// Presses a push button the way a click does.
void PressButton(HWND dialog, int id);
// Runs the message loop until pred() holds or the time runs out; true when it held.
bool PumpUntil(const std::function<bool()> &pred, DWORD timeoutMs = 5000);
