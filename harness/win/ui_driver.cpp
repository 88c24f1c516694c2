#include "harness/win/ui_driver.h"

#include <algorithm>

namespace {
UiDriver *g_driver = nullptr;
constexpr int kMessageBoxTextId = 0xFFFF;
}  // namespace

UiDriver::UiDriver() {
    g_driver = this;
    hook_ = SetWindowsHookExW(WH_CBT, cbtProc, nullptr, GetCurrentThreadId());
    callHook_ = SetWindowsHookExW(WH_CALLWNDPROC, callProc, nullptr, GetCurrentThreadId());
}

UiDriver::~UiDriver() {
    UnhookWindowsHookEx(hook_);
    UnhookWindowsHookEx(callHook_);
    for (const Due &d : due_) KillTimer(nullptr, d.timer);
    g_driver = nullptr;
}

void UiDriver::onNextDialog(std::function<void(HWND)> step) { steps_.push_back(std::move(step)); }

void UiDriver::answerMessageBox(int button) {
    onNextDialog([button](HWND box) { PressButton(box, button); });
}

int UiDriver::unexpected() const {
    return static_cast<int>(
        std::count_if(seen_.begin(), seen_.end(), [](const SeenDialog &d) { return !d.expected; }));
}

LRESULT CALLBACK UiDriver::cbtProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_driver) {
        HWND w = reinterpret_cast<HWND>(wParam);
        WCHAR cls[32] = {};
        GetClassNameW(w, cls, 32);
        if (lstrcmpW(cls, L"#32770") == 0) g_driver->activated(w);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// WM_INITDIALOG comes before the dialog is shown and activated: its parameter is kept until then.
LRESULT CALLBACK UiDriver::callProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_driver) {
        auto *call = reinterpret_cast<const CWPSTRUCT *>(lParam);
        if (call->message == WM_INITDIALOG)
            g_driver->initParams_.emplace_back(call->hwnd, call->lParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void UiDriver::activated(HWND dialog) {
    // The progress window of a long pass takes no step: the pass dispatches no messages, so the
    // window is gone before a step could run.
    if (FindWindowExW(dialog, nullptr, L"msctls_progress32", nullptr)) return;
    // A dialog is activated again whenever it gets the focus back; only its first time counts.
    for (HWND k : known_)
        if (k == dialog && IsWindow(dialog)) return;
    known_.push_back(dialog);
    LPARAM initParam = 0;
    for (auto it = initParams_.rbegin(); it != initParams_.rend(); ++it) {
        if (it->first == dialog) {
            initParam = it->second;
            break;
        }
    }
    seen_.push_back({WindowText(dialog), MessageBoxText(dialog), !steps_.empty(), initParam});
    std::function<void(HWND)> step;
    if (!steps_.empty()) {
        step = std::move(steps_.front());
        steps_.pop_front();
    } else {
        step = [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); };
    }
    // The step runs once the dialog's modal loop is running, not inside the activation.
    UINT_PTR timer = SetTimer(nullptr, 0, 1, timerProc);
    due_.push_back({timer, dialog, std::move(step)});
}

void CALLBACK UiDriver::timerProc(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!g_driver) return;
    auto &due = g_driver->due_;
    auto it = std::find_if(due.begin(), due.end(), [id](const Due &d) { return d.timer == id; });
    if (it == due.end()) return;
    Due d = std::move(*it);
    due.erase(it);
    if (IsWindow(d.dialog)) d.step(d.dialog);
}

std::wstring WindowText(HWND window) {
    WCHAR buf[1024] = {};
    GetWindowTextW(window, buf, 1024);
    return buf;
}

std::wstring ItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item ? WindowText(item) : std::wstring();
}

std::wstring MessageBoxText(HWND box) { return ItemText(box, kMessageBoxTextId); }

int DefaultButton(HWND dialog) {
    // The dialog manager asks each button whether it is the default push button.
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (SendMessageW(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)
            return GetDlgCtrlID(child);
    }
    LRESULT id = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    return HIWORD(id) == DC_HASDEFID ? LOWORD(id) : 0;
}

void PressButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    // A message box without that button (MB_OK has only IDOK) still ends through WM_COMMAND.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool PumpUntil(const std::function<bool()> &pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}
