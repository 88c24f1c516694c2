#include "app/lock.h"

#include <cstring>
#include <span>

#include "app/clipboard.h"
#include "app/dialog_kit.h"
#include "app/shell.h"
#include "crypto/bulk_crypt.h"
#include "dialogs/password_dialogs.h"
#include "crypto/password_key.h"
#include "crypto/record_blob.h"
#include "crypto/wipe.h"
#include "dialogs/object_edit_dialog.h"
#include "platform/cedb.h"
#include "prefs/settings.h"
#include "resources/resource.h"

namespace {

const WCHAR kLockedTitle[] = L"The Arkel (gesperrt)";
const WCHAR kJournalLeft[] =
    L"Das Journal der Datenbank konnte beim Sperren nicht geleert werden, weil ein anderes "
    L"Programm die Datei gerade liest. Es kann noch Daten aus dieser Sitzung enthalten. Beenden "
    L"Sie das andere Programm und sperren Sie The Arkel noch einmal.";
const WCHAR kClosingReason[] = L"The Arkel verschl\u00fcsselt die Daten.";
const WCHAR kPlainStoreNotice[] =
    L"Beim letzten Beenden wurden die Daten nicht verschl\u00fcsselt (%d Objekte lagen "
    L"unverschl\u00fcsselt in der Datenbank, etwa nach einem Absturz oder Stromausfall). Sie "
    L"werden beim Beenden wieder verschl\u00fcsselt.";
const WCHAR kPlainStoreNoticeOne[] =
    L"Beim letzten Beenden wurden die Daten nicht verschl\u00fcsselt (ein Objekt lag "
    L"unverschl\u00fcsselt in der Datenbank, etwa nach einem Absturz oder Stromausfall). Es "
    L"wird beim Beenden wieder verschl\u00fcsselt.";

struct LockState {
    bool locked;
    BYTE verifier[kVerifierSize];  // the check text under the keys of the locked password
    int selection, top;            // where the list was
};

LockState lock;

// The password given at the unlock is the locked one. The records cannot tell when none of them
// is encrypted (all flags off), so the lock keeps the verifier of its keys: no more than every
// encrypted record carries on disk.
bool SamePasswordAsLocked() { return testVerifier(lock.verifier, objectStore.keys); }

int EncryptedRecords() {
    int n = 0;
    const CEPROPID ids[1] = {PROP_VERIFIER};
    WalkDatabase(
        objectStore.hDatabase,
        [&](CEOID, const CEPROPVAL *p, WORD count) {
            if (count && !(p[0].wFlags & CEDB_PROPNOTFOUND)) ++n;
            return true;
        },
        ids, 1);
    return n;
}

void EndProgram(HWND hwnd) {
    if (!IsWindow(hwnd)) return;
    DestroyWindow(hMenuBar);
    DestroyWindow(hwnd);
}

// The closing half: the pass, the journal, what the windows show, the keys.
// False when the journal could not be emptied (another program is reading the store file).
bool CloseVault(HWND hwnd) {
    lock.locked = true;
    StopIdleTimers();
    lock.selection = static_cast<int>(SendMessageW(hObjectList, LB_GETCURSEL, 0, 0));
    lock.top = static_cast<int>(SendMessageW(hObjectList, LB_GETTOPINDEX, 0, 0));
    makeVerifier(objectStore.keys, std::span<std::uint8_t, kVerifierSize>(lock.verifier));

    // Encrypts what the flags ask for and wipes the password and the keys.
    lockStore(&objectStore);
    // No plain page of this run may stay in the journal while the program waits.
    const bool flushed = CeFlushVolume() != FALSE;

    SendMessageW(hObjectList, LB_RESETCONTENT, 0, 0);
    secureWipe(&CurrentObject, sizeof CurrentObject);
    RefreshDetail();
    RemoveObjectFromClipboard();
    UpdateWindow(hwnd);
    return flushed;
}

// Asks for the password until it is the locked one, then decrypts. False when the user cancels.
bool AskUntilRight(HWND hwnd) {
    for (;;) {
        if (ShowDialog(hwnd, IDD_ENTER_PASSWORD, EnterPasswordDlgProc,
                       reinterpret_cast<LPARAM>(kLockedTitle)) != 1)
            return false;
        if (SamePasswordAsLocked()) break;
        objectStore.clearKeyMaterial();
        MessageBoxW(hwnd, kWrongPassword, kAppTitle, MB_SETFOREGROUND | MB_ICONHAND);
    }
    // With nothing encrypted the pass would take the store for one that never was.
    if (EncryptedRecords() > 0 && cryptAllObjects(&objectStore, 0) != 0)
        MessageBoxW(hwnd, kDecryptFailed, kAppTitle, MB_SETFOREGROUND | MB_ICONHAND);
    return true;
}

void ReopenHeldEdit(HWND hwnd) {
    unsigned mode;
    CEOID record;
    if (!HeldObjectEdit(&mode, &record)) return;
    if (mode == IDM_EDIT_OBJECT) objectStore.currentRecord = record;
    RunDialog(hwnd, IDD_OBJECT_EDIT, ObjectEditDlgProc, mode);
    DropHeldObjectEdit();  // also when the dialog did not take it
}

// What Cancel at the lock's password does, without a dialog: the store is encrypted already, and
// the end of the program finds no password to lock with.
void GiveUpLock() {
    DropHeldObjectEdit();
    secureWipe(lock.verifier, sizeof lock.verifier);
    lock.locked = false;
}

// The opening half: the password, the pass, the list where it was, the held edit.
void OpenVault(HWND hwnd) {
    if (!AskUntilRight(hwnd)) {
        GiveUpLock();
        EndProgram(hwnd);
        return;
    }
    secureWipe(lock.verifier, sizeof lock.verifier);
    FillObjectList(objectStore, hObjectList);
    const int rows = static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0));
    if (lock.top > 0 && lock.top < rows) SendMessageW(hObjectList, LB_SETTOPINDEX, lock.top, 0);
    if (lock.selection >= 0 && lock.selection < rows)
        SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(lock.selection), 0);
    RefreshDetail();
    lock.locked = false;
    autoQuitPeriod = autoQuitActive;
    StartIdleTimers();
    SetFocus(hObjectList);
    ReopenHeldEdit(hwnd);
}

bool sessionClosed = false;

// Shows the password dialog of a lock that the end of the session began, once the dialogs that
// the query ended have left their loops.
constexpr UINT_PTR kReopenTimer = 4;

struct FoundDialogs {
    HWND main;
    HWND dialogs[32];
    int count;
};

// The program's dialogs that are shown now: its own, message boxes and the system's common
// dialogs (open, save, colour). The progress window of a pass is never among them: a pass
// dispatches no messages, so no query reaches the program while one runs.
int OpenDialogs(HWND main, HWND (&out)[32]) {
    FoundDialogs found{main, {}, 0};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
            auto *f = reinterpret_cast<FoundDialogs *>(p);
            WCHAR cls[16];
            if (w == f->main || !IsWindowVisible(w) || !GetClassNameW(w, cls, 16) ||
                lstrcmpW(cls, L"#32770") != 0)
                return TRUE;
            if (f->count < 32) f->dialogs[f->count++] = w;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    for (int i = 0; i < found.count; ++i) out[i] = found.dialogs[i];
    return found.count;
}

// The module whose code runs the dialog: this program, the system's message box (user32) or its
// common dialogs.
HMODULE DialogModule(HWND dialog) {
    HMODULE module = nullptr;
    const auto proc = reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    if (!proc || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                     proc, &module))
        return nullptr;
    return module;
}

// Ends every open dialog as a cancel: an object edit dialog keeps its texts through the lock.
// The program's own dialogs give 0, which no caller takes for OK; a message box gives "Abbrechen",
// which no question takes for "Ja" (nor a question with three answers for "Nein"); the system's
// common dialogs give FALSE, their cancel.
void EndOpenDialogs(HWND hwnd) {
    HWND dialogs[32];
    const int n = OpenDialogs(hwnd, dialogs);
    for (int i = 0; i < n; ++i) HoldIfObjectEdit(dialogs[i]);
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    for (int i = 0; i < n; ++i)
        EndDialog(dialogs[i], user && DialogModule(dialogs[i]) == user ? IDCANCEL : 0);
}

void CALLBACK ReopenAfterSession(HWND hwnd, UINT, UINT_PTR, DWORD) {
    KillTimer(hwnd, kReopenTimer);
    if (lock.locked) OpenVault(hwnd);
}

}  // namespace

// The run's own encryption state, never a new read of the registry.
bool LockAvailable() { return encryptActive != 0 && objectStore.passwordText[0] != 0; }

bool IdleLocks() { return settings.GetLockOnIdle() != 0 && LockAvailable(); }

bool VaultLocked() { return lock.locked; }

void LockVault(HWND hwnd) {
    if (lock.locked || !LockAvailable()) return;
    // What an idle lock left of the period of an expired dialog is no longer needed.
    autoQuitPeriod = autoQuitActive;
    if (!CloseVault(hwnd))
        MessageBoxW(hwnd, kJournalLeft, kAppTitle, MB_SETFOREGROUND | MB_ICONEXCLAMATION);
    OpenVault(hwnd);
}

BOOL SessionEnding(HWND hwnd) {
    if (lock.locked || sessionClosed) return TRUE;
    sessionClosed = true;
    if (!LockAvailable()) {
        RemoveObjectFromClipboard();
        return TRUE;
    }
    // The pass may take a few seconds with a full store: the system says why the session waits.
    ShutdownBlockReasonCreate(hwnd, kClosingReason);
    // As at an idle lock, nothing that a dialog shows may be written after the closing pass:
    // every dialog ends (an object edit dialog keeps its texts), and so does an open menu.
    EndMenu();
    EndOpenDialogs(hwnd);
    CloseVault(hwnd);
    ShutdownBlockReasonDestroy(hwnd);
    // Should the session go on, the vault stays locked: the password dialog comes as soon as the
    // ended dialogs have left their loops, whether or not an end called off is ever reported.
    SetTimer(hwnd, kReopenTimer, USER_TIMER_MINIMUM, ReopenAfterSession);
    return TRUE;
}

void SessionEnded(HWND hwnd, bool ending) {
    if (!ending) {
        // The end was called off: the lock that the query began stays until the password.
        sessionClosed = false;
        return;
    }
    SessionEnding(hwnd);  // when no query came first
    sessionClosed = false;
    // Should the system not end the process, the program ends by itself; the store is encrypted
    // and no password is left to lock with. A lock's password dialog ends as Cancel does.
    KillTimer(hwnd, kReopenTimer);
    if (lock.locked) {
        EndOpenDialogs(hwnd);
        GiveUpLock();
    }
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

int CountPlainFlaggedObjects() {
    if (!settings.GetEncrypt()) return 0;
    CEOID oid = 0;
    WCHAR name[] = L"Arkel";
    HANDLE db = CeOpenDatabase(&oid, name, PROP_FIELD1, CEDB_AUTOINCREMENT, nullptr);
    if (db == INVALID_HANDLE_VALUE) return 0;
    const CEPROPID ids[9] = {PROP_ENCRYPT,  PROP_VERIFIER, PROP_FIELD1, PROP_FIELD2, PROP_FIELD3,
                             PROP_CATEGORY, PROP_TITLE1,   PROP_TITLE2, PROP_TITLE3};
    int plain = 0;
    WalkDatabase(
        db,
        [&](CEOID, const CEPROPVAL *p, WORD count) {
            if (count < 9) return true;
            const bool flagged = (p[0].wFlags & CEDB_PROPNOTFOUND) || StoredEncryptFlag(p[0]) != 0;
            const bool verified = !(p[1].wFlags & CEDB_PROPNOTFOUND);
            bool text = false;
            for (int i = 2; i < 9; ++i)
                if (!(p[i].wFlags & CEDB_PROPNOTFOUND) && p[i].val.lpwstr && p[i].val.lpwstr[0])
                    text = true;
            if (flagged && !verified && text) ++plain;
            return true;
        },
        ids, 9);
    CeCloseHandle(db);
    return plain;
}

void NoticePlainStore(int count) {
    // Only a store that is encrypted again at the end is worth the notice.
    if (count <= 0 || !encryptActive) return;
    WCHAR text[512];
    if (count == 1)
        lstrcpynW(text, kPlainStoreNoticeOne, 512);
    else
        wsprintfW(text, kPlainStoreNotice, count);
    MessageBoxW(hMainWnd, text, kAppTitle, MB_ICONINFORMATION | MB_SETFOREGROUND);
}
