#include "store/pass_host.h"

namespace {

// Shows nothing, and answers every prompt as the user's "Abbrechen" would.
class SilentHost final : public PassHost {
public:
    HWND OpenProgress(const WCHAR *, int) override { return nullptr; }
    void ProgressText(HWND, int, int) override {}
    void ProgressPosition(HWND, int) override {}
    void CloseProgress(HWND) override {}
    int Message(const WCHAR *, UINT) override { return IDCANCEL; }
    bool AskPassword() override { return false; }
    bool AskNewPassword() override { return false; }
    void EnablePasswordCommand(bool) override {}
};

SilentHost silentHost;
PassHost *currentHost = nullptr;

}  // namespace

PassHost &CurrentPassHost() { return currentHost ? *currentHost : silentHost; }

void SetPassHost(PassHost *host) { currentHost = host; }
