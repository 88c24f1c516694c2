#include "dialogs/password_dialogs.h"

#include <cwchar>
#include <string>

#include "app/dialog_kit.h"
#include "app/shell.h"
#include "crypto/strength_hint.h"
#include "crypto/wipe.h"
#include "resources/resource.h"
#include "store/object_store.h"

namespace {

const WCHAR kNoPassword[] = L"Bitte geben Sie ein Passwort ein!";
const WCHAR kMismatch[] =
    L"Die beiden Passw\u00f6rter sind unterschiedlich. Bitte geben Sie sie nochmals ein!";
const WCHAR kTooShort[] =
    L"Das Passwort sollte mindestens 8 Zeichen lang sein. Trotzdem fortfahren?";
const WCHAR kOldWrong[] = L"Das alte Passwort ist falsch. Bitte geben Sie es nochmals ein!";

// A password is read into 128 units, so it has at most 127 characters; the edits take no more.
constexpr int kPasswordUnits = 128;

// Two passwords are the same only unit for unit. The locale's comparison (lstrcmpW) would take
// "Stra\u00dfe12" and "Strasse12", a soft hyphen, or a composed and a decomposed letter as equal,
// while the keys are made from the units: the store would be locked under a spelling the user does
// not know. Every unit is looked at, whatever the first difference.
bool SamePassword(const WCHAR *a, const WCHAR *b) {
    const size_t la = wcslen(a), lb = wcslen(b);
    unsigned diff = la != lb;
    for (size_t i = 0, n = la < lb ? la : lb; i < n; ++i)
        diff |= static_cast<unsigned>(a[i] ^ b[i]);
    return diff == 0;
}

// One edit's text, wiped when it goes out of scope, whatever way the dialog leaves.
struct EditText {
    WCHAR text[kPasswordUnits];
    EditText(HWND hDlg, int id) { GetDlgItemTextW(hDlg, id, text, kPasswordUnits); }
    ~EditText() { secureWipe(text, sizeof text); }
    EditText(const EditText &) = delete;
    EditText &operator=(const EditText &) = delete;
    bool empty() const { return text[0] == 0; }
    int length() const { return lstrlenW(text); }
    bool operator==(const EditText &other) const { return SamePassword(text, other.text); }
};

struct Edits {
    const int *ids;
    int count;
};

const int kEnterEdits[] = {IDC_PASSWORD_ENTER};
const int kSetEdits[] = {IDC_PASSWORD_SET, IDC_PASSWORD_SET_AGAIN};
const int kChangeEdits[] = {IDC_PASSWORD_OLD, IDC_PASSWORD_NEW, IDC_PASSWORD_NEW_AGAIN};

// Empties an edit after overwriting its text in place, so that the edit's own buffer does not
// keep the password once the dialog is gone.
void EmptyEdit(HWND hDlg, int id) {
    HWND edit = GetDlgItem(hDlg, id);
    int length = GetWindowTextLengthW(edit);
    if (length > 0) SetWindowTextW(edit, std::wstring(static_cast<size_t>(length), L'*').c_str());
    SetWindowTextW(edit, L"");
}

void EmptyEdits(HWND hDlg, Edits edits) {
    for (int i = 0; i < edits.count; ++i) EmptyEdit(hDlg, edits.ids[i]);
}

void Refuse(HWND hDlg, const WCHAR *text) { MessageBoxW(hDlg, text, kAppTitle, MB_ICONHAND); }

// The length question; true when the user goes on with a short password.
bool ShortPasswordAccepted(HWND hDlg, const EditText &password) {
    if (password.length() >= 8) return true;
    return MessageBoxW(hDlg, kTooShort, kAppTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Takes the password into the store's key material and ends the dialog as accepted.
void Accept(HWND hDlg, EditText &password, Edits edits) {
    objectStore.setPassword(password.text);
    EmptyEdits(hDlg, edits);
    EndDialog(hDlg, 1);
}

// What the three dialogs share: the kit's colours, help and setting change; the caption buttons,
// the title and the edit limits when they open; Cancel. True when the message was handled here.
bool PasswordDialogMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam, Edits edits,
                           const WCHAR *title, INT_PTR *result) {
    if (DialogKitMessage(hDlg, message, wParam, lParam, kKitColours | kKitSettingChange,
                         kHelpPassword, result))
        return true;
    switch (message) {
    case WM_INITDIALOG:
        AddCaptionButtons(hDlg);
        SetWindowTextW(hDlg, title ? title : kAppTitle);
        for (int i = 0; i < edits.count; ++i)
            SendDlgItemMessageW(hDlg, edits.ids[i], EM_LIMITTEXT, kPasswordUnits - 1, 0);
        *result = TRUE;
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return false;
        EmptyEdits(hDlg, edits);
        EndDialog(hDlg, 0);
        *result = TRUE;
        return true;
    default: return false;
    }
}

const WCHAR *TitleParameter(UINT message, LPARAM lParam) {
    return message == WM_INITDIALOG ? reinterpret_cast<const WCHAR *>(lParam) : nullptr;
}

bool IsOk(UINT message, WPARAM wParam) { return message == WM_COMMAND && LOWORD(wParam) == IDOK; }

}  // namespace

INT_PTR CALLBACK EnterPasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    const Edits edits{kEnterEdits, 1};
    INT_PTR result;
    if (PasswordDialogMessage(hDlg, message, wParam, lParam, edits, TitleParameter(message, lParam),
                              &result))
        return result;
    if (!IsOk(message, wParam)) return FALSE;
    // Whether the password is right only the caller can tell.
    EditText password(hDlg, IDC_PASSWORD_ENTER);
    if (password.empty())
        Refuse(hDlg, kNoPassword);
    else
        Accept(hDlg, password, edits);
    return TRUE;
}

INT_PTR CALLBACK SetPasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    const Edits edits{kSetEdits, 2};
    INT_PTR result;
    if (PasswordDialogMessage(hDlg, message, wParam, lParam, edits, TitleParameter(message, lParam),
                              &result))
        return result;
    if (StrengthHintMessage(hDlg, message, wParam, IDC_PASSWORD_SET)) return TRUE;
    if (!IsOk(message, wParam)) return FALSE;
    EditText password(hDlg, IDC_PASSWORD_SET);
    EditText again(hDlg, IDC_PASSWORD_SET_AGAIN);
    if (!(password == again)) {
        EmptyEdits(hDlg, edits);
        SetFocus(GetDlgItem(hDlg, IDC_PASSWORD_SET));
        Refuse(hDlg, kMismatch);
    } else if (password.empty()) {
        Refuse(hDlg, kNoPassword);
    } else if (ShortPasswordAccepted(hDlg, password)) {
        Accept(hDlg, password, edits);
    }
    return TRUE;
}

INT_PTR CALLBACK ChangePasswordDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    const Edits edits{kChangeEdits, 3};
    INT_PTR result;
    // This dialog always shows "The Arkel".
    if (PasswordDialogMessage(hDlg, message, wParam, lParam, edits, nullptr, &result))
        return result;
    if (StrengthHintMessage(hDlg, message, wParam, IDC_PASSWORD_NEW)) return TRUE;
    if (!IsOk(message, wParam)) return FALSE;
    EditText old(hDlg, IDC_PASSWORD_OLD);
    EditText password(hDlg, IDC_PASSWORD_NEW);
    EditText again(hDlg, IDC_PASSWORD_NEW_AGAIN);
    const WCHAR *refusal = nullptr;
    if (!SamePassword(old.text, objectStore.passwordText))
        refusal = kOldWrong;
    else if (!(password == again))
        refusal = kMismatch;
    if (refusal) {
        EmptyEdits(hDlg, edits);
        SetFocus(GetDlgItem(hDlg, IDC_PASSWORD_OLD));
        Refuse(hDlg, refusal);
    } else if (password.empty()) {
        Refuse(hDlg, kNoPassword);
    } else if (ShortPasswordAccepted(hDlg, password)) {
        Accept(hDlg, password, edits);
    }
    return TRUE;
}
