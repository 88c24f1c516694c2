#include "crypto/strength_hint.h"

#include <string_view>

#include "crypto/password_generator.h"
#include "crypto/wipe.h"
#include "resources/resource.h"

namespace {

const WCHAR *const kLevels[3] = {L"schwach", L"mittel", L"stark"};

}  // namespace

void FormatStrengthHint(const WCHAR *password, WCHAR *out) {
    out[0] = 0;
    if (!password[0]) return;
    const PasswordStrength s = estimatePasswordStrength(std::u16string_view(
        reinterpret_cast<const char16_t *>(password), static_cast<size_t>(lstrlenW(password))));
    wsprintfW(out, L"St\u00e4rke: %d von %d Bit \u2013 %s", s.bits, kStrengthMaxBits,
              kLevels[s.level]);
}

bool StrengthHintMessage(HWND hDlg, UINT message, WPARAM wParam, int editId) {
    if (message != WM_COMMAND || LOWORD(wParam) != editId || HIWORD(wParam) != EN_CHANGE)
        return false;
    WCHAR password[128], hint[64];
    GetDlgItemTextW(hDlg, editId, password, 128);
    FormatStrengthHint(password, hint);
    secureWipe(password, sizeof password);
    SetDlgItemTextW(hDlg, IDC_PASSWORD_STRENGTH, hint);
    return true;
}
