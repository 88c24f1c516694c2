#include "prefs/preferences_dialog.h"

#include <commctrl.h>

#include <initializer_list>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "crypto/bulk_crypt.h"
#include "dialogs/password_dialogs.h"
#include "prefs/settings.h"
#include "resources/resource.h"

namespace {

constexpr DWORD kMinute = 60000;
constexpr DWORD kSecondsStep = 5000;

constexpr DWORD kClearStep = 5;  // seconds

// The clear time the dialog shows; it is written only on OK.
DWORD clearSeconds;

bool Checked(HWND hDlg, int id) { return IsDlgButtonChecked(hDlg, id) == BST_CHECKED; }

void UpdateClearControls(HWND hDlg) {
    const BOOL on = Checked(hDlg, IDC_PREFS_CLEAR);
    for (int id : {IDC_PREFS_CLEAR_PERIOD, IDC_PREFS_CLEAR_SPIN, IDC_PREFS_CLEAR_UNIT})
        EnableWindow(GetDlgItem(hDlg, id), on);
    SetDlgItemInt(hDlg, IDC_PREFS_CLEAR_PERIOD, clearSeconds, FALSE);
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
    settings.SetClipboardClear(Checked(hDlg, IDC_PREFS_CLEAR) ? clearSeconds : 0);
    settings.SetHideField2(Checked(hDlg, IDC_PREFS_HIDE_FIELD2) ? 1 : 0);
    if (hMainWnd) RefreshDetail();
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

DWORD StepClearPeriod(DWORD seconds, const NMUPDOWN *change) {
    // A negative delta is the up arrow.
    if (change->iDelta < 0)
        return seconds + kClearStep > kClipboardClearMost ? kClipboardClearMost
                                                          : seconds + kClearStep;
    return seconds > 2 * kClearStep ? seconds - kClearStep : kClearStep;
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
        clearSeconds = settings.GetClipboardClear();
        CheckDlgButton(hDlg, IDC_PREFS_CLEAR, clearSeconds ? BST_CHECKED : BST_UNCHECKED);
        if (!clearSeconds) clearSeconds = kClipboardClearDefault;
        UpdateClearControls(hDlg);
        CheckDlgButton(hDlg, IDC_PREFS_HIDE_FIELD2,
                       settings.GetHideField2() ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PREFS_ENCRYPT:
        case IDC_PREFS_AUTOQUIT:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            SwitchAutoQuit(hDlg, Checked(hDlg, LOWORD(wParam)));
            return TRUE;
        case IDC_PREFS_CLEAR:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            UpdateClearControls(hDlg);
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
        } else if (header->idFrom == IDC_PREFS_CLEAR_SPIN && header->code == UDN_DELTAPOS) {
            clearSeconds =
                StepClearPeriod(clearSeconds, reinterpret_cast<const NMUPDOWN *>(lParam));
            UpdateClearControls(hDlg);
        }
        return TRUE;
    }
    default: return FALSE;
    }
}
