#include "dialogs/password_generator_dialog.h"

#include <bcrypt.h>
#include <commctrl.h>

#include <cmath>
#include <string>

#include "app/dialog_kit.h"
#include "crypto/password_generator.h"
#include "crypto/wipe.h"
#include "resources/resource.h"

namespace {

// The choices stay for the run, so that the next password is made the same way.
int chosenLength = kGeneratedDefaultLength;
unsigned chosenGroups = kGroupLetters | kGroupDigits | kGroupSigns;

struct GroupBox {
    int id;
    unsigned group;
};
const GroupBox kGroupBoxes[] = {{IDC_GEN_LETTERS, kGroupLetters},
                                {IDC_GEN_DIGITS, kGroupDigits},
                                {IDC_GEN_SIGNS, kGroupSigns},
                                {IDC_GEN_UMLAUTS, kGroupUmlauts}};

// Where the accepted password goes; set while the dialog runs.
WCHAR *result = nullptr;
bool accepted = false;
bool filling = false;  // the dialog sets its own controls: no new password for each step

// Overwrites the preview in place before it is emptied, so that the edit's own buffer does not
// keep the password.
void EmptyPreview(HWND hDlg) {
    HWND preview = GetDlgItem(hDlg, IDC_GEN_PREVIEW);
    const int length = GetWindowTextLengthW(preview);
    if (length > 0)
        SetWindowTextW(preview, std::wstring(static_cast<size_t>(length), L'*').c_str());
    SetWindowTextW(preview, L"");
}

void ReadChoices(HWND hDlg) {
    BOOL outside = FALSE;  // the up-down control's error flag: the text is no number in range
    const int length = static_cast<int>(SendDlgItemMessageW(hDlg, IDC_GEN_LENGTH_SPIN, UDM_GETPOS32,
                                                            0, reinterpret_cast<LPARAM>(&outside)));
    if (!outside) {
        chosenLength = length;
    } else if (GetDlgItemInt(hDlg, IDC_GEN_LENGTH, nullptr, FALSE) > kGeneratedMaxLength) {
        // Too long: the longest, shown in the edit (a short number may be the start of a longer
        // one being typed, so it stays as typed and the shortest is used meanwhile).
        chosenLength = kGeneratedMaxLength;
        filling = true;
        SendDlgItemMessageW(hDlg, IDC_GEN_LENGTH_SPIN, UDM_SETPOS32, 0, chosenLength);
        filling = false;
    } else {
        chosenLength = kGeneratedMinLength;
    }
    chosenGroups = 0;
    for (const GroupBox &g : kGroupBoxes)
        if (IsDlgButtonChecked(hDlg, g.id) == BST_CHECKED) chosenGroups |= g.group;
}

// A new password for the choices in the preview, and how much chance is in it.
void Generate(HWND hDlg) {
    if (filling) return;
    ReadChoices(hDlg);
    std::u16string password = generatePassword(
        chosenLength, chosenGroups,
        [](std::uint8_t *bytes, std::size_t count) { return SystemRandomBytes(bytes, count); });
    EmptyPreview(hDlg);
    WCHAR bits[128] = {};
    if (password.empty()) {
        lstrcpynW(bits,
                  chosenGroups ? L"Kein Zufall verf\u00fcgbar."
                               : L"Bitte mindestens eine Zeichengruppe w\u00e4hlen.",
                  128);
    } else {
        SetDlgItemTextW(hDlg, IDC_GEN_PREVIEW, reinterpret_cast<const WCHAR *>(password.c_str()));
        const double perChar =
            std::log2(static_cast<double>(passwordAlphabet(chosenGroups).size()));
        wsprintfW(bits, L"Zufall: etwa %d Bit", static_cast<int>(chosenLength * perChar));
    }
    SetDlgItemTextW(hDlg, IDC_GEN_BITS, bits);
    EnableWindow(GetDlgItem(hDlg, IDOK), !password.empty());
    secureWipe(password.data(), password.size() * sizeof(char16_t));
}

void OnInit(HWND hDlg) {
    AddCaptionButtons(hDlg);
    filling = true;
    SendDlgItemMessageW(hDlg, IDC_GEN_LENGTH, EM_LIMITTEXT, 2, 0);
    SendDlgItemMessageW(hDlg, IDC_GEN_LENGTH_SPIN, UDM_SETRANGE32, kGeneratedMinLength,
                        kGeneratedMaxLength);
    SendDlgItemMessageW(hDlg, IDC_GEN_LENGTH_SPIN, UDM_SETPOS32, 0, chosenLength);
    for (const GroupBox &g : kGroupBoxes)
        CheckDlgButton(hDlg, g.id, (chosenGroups & g.group) ? BST_CHECKED : BST_UNCHECKED);
    filling = false;
    Generate(hDlg);
}

void Accept(HWND hDlg) {
    if (!result) return;
    const int length = GetWindowTextLengthW(GetDlgItem(hDlg, IDC_GEN_PREVIEW));
    if (length <= 0) return;
    GetDlgItemTextW(hDlg, IDC_GEN_PREVIEW, result, 256);
    accepted = true;
    EmptyPreview(hDlg);
    EndDialog(hDlg, 1);
}

}  // namespace

bool SystemRandomBytes(std::uint8_t *bytes, std::size_t count) {
    return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

INT_PTR CALLBACK PasswordGeneratorDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR answer;
    if (DialogKitMessage(hDlg, message, wParam, lParam, kKitIdle | kKitColours | kKitSettingChange,
                         kHelpGenerator, &answer))
        return answer;
    switch (message) {
    case WM_INITDIALOG: OnInit(hDlg); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: Accept(hDlg); return TRUE;
        case IDCANCEL:
            EmptyPreview(hDlg);
            EndDialog(hDlg, 0);
            return TRUE;
        case IDC_GEN_AGAIN: Generate(hDlg); return TRUE;
        case IDC_GEN_LETTERS:
        case IDC_GEN_DIGITS:
        case IDC_GEN_SIGNS:
        case IDC_GEN_UMLAUTS:
            if (HIWORD(wParam) == BN_CLICKED) Generate(hDlg);
            return TRUE;
        case IDC_GEN_LENGTH:
            if (HIWORD(wParam) == EN_CHANGE) Generate(hDlg);
            return TRUE;
        default: return FALSE;
        }
    case WM_DESTROY:
        // Also when the idle time ends the dialog.
        EmptyPreview(hDlg);
        return FALSE;
    default: return FALSE;
    }
}

bool RunPasswordGenerator(HWND owner, WCHAR *out) {
    out[0] = 0;
    result = out;
    accepted = false;
    ShowDialog(owner, IDD_PASSWORD_GENERATOR, PasswordGeneratorDlgProc, 0);
    result = nullptr;
    if (!accepted) secureWipe(out, 256 * sizeof(WCHAR));
    return accepted;
}
