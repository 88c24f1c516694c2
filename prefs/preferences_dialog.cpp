#include "prefs/preferences_dialog.h"

#include <commctrl.h>

#include <initializer_list>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "crypto/password_dialogs.h"
#include "prefs/settings.h"
#include "resources/resource.h"

namespace {

constexpr DWORD kMinute = 60000;
constexpr DWORD kSecondsStep = 5000;

bool Checked(HWND hDlg, int id) { return IsDlgButtonChecked(hDlg, id) == BST_CHECKED; }

void EnablePasswordCommand(bool enable) {
    EnableMenuItem(hMenu, IDM_PASSWORD, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

// A check box switches the automatic quit on with one minute, or off.
void SwitchAutoQuit(HWND hDlg, bool on) {
    autoQuitPeriod = on ? kMinute : 0;
    autoQuitActive = on ? 1 : 0;
    CheckDlgButton(hDlg, IDC_PREFS_AUTOQUIT, on ? BST_CHECKED : BST_UNCHECKED);
    UpdateAutoQuitControls(hDlg);
}

void Ok(HWND hDlg) {
    // The template has no keyboard switch, so this always writes 0.
    settings.SetKeyboard(Checked(hDlg, IDC_PREFS_KEYBOARD) ? 1 : 0);
    settings.SetAutoQuit(autoQuitPeriod);
    autoQuitActive = autoQuitPeriod;
    settings.SetLockOnIdle(Checked(hDlg, IDC_PREFS_LOCK) ? 1 : 0);
    if (!Checked(hDlg, IDC_PREFS_ENCRYPT)) {
        EnablePasswordCommand(false);
        settings.SetEncrypt(0);
    } else if (settings.GetEncrypt()) {
        EnablePasswordCommand(true);
        settings.SetEncrypt(1);
    } else {
        // Newly switched on: the records are encrypted at the next close, under a new password.
        KillTimer(hDlg, kIdleTimerId);
        if (ShowDialog(nullptr, IDD_SET_PASSWORD, SetPasswordDlgProc, 0) == 1) {
            EnablePasswordCommand(true);
            settings.SetEncrypt(1);
        } else {
            MessageBoxW(hDlg, kNoPasswordGiven, kAppTitle, MB_ICONINFORMATION);
            EnablePasswordCommand(false);
            settings.SetEncrypt(0);
        }
    }
    EndDialog(hDlg, 1);
}

}  // namespace

void UpdateAutoQuitControls(HWND hDlg) {
    EnableWindow(GetDlgItem(hDlg, IDC_PREFS_AUTOQUIT), Checked(hDlg, IDC_PREFS_ENCRYPT));
    const BOOL on = autoQuitPeriod != 0;
    for (int id : {IDC_PREFS_PERIOD, IDC_PREFS_SPIN, IDC_PREFS_UNIT})
        EnableWindow(GetDlgItem(hDlg, id), on);
    // Locking needs the password, so it is offered only with encryption.
    EnableWindow(GetDlgItem(hDlg, IDC_PREFS_LOCK), on && Checked(hDlg, IDC_PREFS_ENCRYPT));
    DWORD number;
    const WCHAR *unit;
    if (autoQuitPeriod >= kMinute) {
        number = autoQuitPeriod / kMinute;
        unit = number == 1 ? L"Minute" : L"Minuten";
    } else {
        number = autoQuitPeriod / 1000;
        unit = L"Sekunden";
    }
    WCHAR text[16];
    wsprintfW(text, L"%d", static_cast<int>(number));
    SetDlgItemTextW(hDlg, IDC_PREFS_PERIOD, text);
    SetDlgItemTextW(hDlg, IDC_PREFS_UNIT, unit);
}

DWORD StepAutoQuitPeriod(DWORD period, const NMUPDOWN *change) {
    if (change->iDelta < 0) return period + (period >= kMinute ? kMinute : kSecondsStep);
    if (period > kMinute) return period - kMinute;
    period = period > kSecondsStep ? period - kSecondsStep : 0;
    return period < kAutoQuitMinimum ? kAutoQuitMinimum : period;
}

INT_PTR CALLBACK PreferencesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (DialogKitMessage(hDlg, message, wParam, lParam, kKitIdle | kKitColours, kHelpSettings,
                         &result))
        return result;
    switch (message) {
    case WM_INITDIALOG:
        AddCaptionButtons(hDlg);
        CheckDlgButton(hDlg, IDC_PREFS_ENCRYPT,
                       settings.GetEncrypt() ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(hDlg, IDC_PREFS_AUTOQUIT, autoQuitPeriod ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(hDlg, IDC_PREFS_LOCK,
                       settings.GetLockOnIdle() ? BST_CHECKED : BST_UNCHECKED);
        UpdateAutoQuitControls(hDlg);
        CheckDlgButton(hDlg, IDC_PREFS_KEYBOARD, settings.GetKeyboard() ? BST_CHECKED : 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PREFS_ENCRYPT:
        case IDC_PREFS_AUTOQUIT:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            SwitchAutoQuit(hDlg, Checked(hDlg, LOWORD(wParam)));
            return TRUE;
        case IDOK: Ok(hDlg); return TRUE;
        case IDCANCEL:
            // The period chosen stays for this run; nothing is written.
            EndDialog(hDlg, 1);
            return TRUE;
        default: return FALSE;
        }
    case WM_NOTIFY: {
        auto header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->idFrom == IDC_PREFS_SPIN && header->code == UDN_DELTAPOS) {
            autoQuitPeriod =
                StepAutoQuitPeriod(autoQuitPeriod, reinterpret_cast<const NMUPDOWN *>(lParam));
            UpdateAutoQuitControls(hDlg);
        }
        return TRUE;
    }
    default: return FALSE;
    }
}
