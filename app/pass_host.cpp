#include "app/pass_host.h"

#include "app/dialog_kit.h"
#include "app/progress_dialog.h"
#include "app/shell.h"
#include "dialogs/password_dialogs.h"
#include "resources/resource.h"

namespace {

// The main window while it exists; the pass at the end of the program runs after it has gone.
HWND Owner() { return IsWindow(hMainWnd) ? hMainWnd : nullptr; }

class ShellHost final : public PassHost {
public:
    HWND OpenProgress(const WCHAR *caption, int total) override {
        return OpenProgressWindow(caption, total);
    }
    void ProgressText(HWND progress, int done, int total) override {
        SetProgressText(progress, done, total);
    }
    void ProgressPosition(HWND progress, int position) override {
        SetProgressPosition(progress, position);
    }
    void CloseProgress(HWND progress) override { CloseProgressWindow(progress); }

    int Message(const WCHAR *text, UINT flags) override {
        return MessageBoxW(Owner(), text, kAppTitle, flags);
    }
    bool AskPassword() override {
        return ShowDialog(Owner(), IDD_ENTER_PASSWORD, EnterPasswordDlgProc,
                          reinterpret_cast<LPARAM>(kAppTitle)) == 1;
    }
    bool AskNewPassword() override {
        return ShowDialog(nullptr, IDD_SET_PASSWORD, SetPasswordDlgProc,
                          reinterpret_cast<LPARAM>(kAppTitle)) == 1;
    }
    void EnablePasswordCommand(bool enable) override { ::EnablePasswordCommand(enable); }
};

}  // namespace

PassHost &ShellPassHost() {
    static ShellHost host;
    return host;
}
