// Locking while the program runs (by command and by the idle time), the end of the session, the
// notice of a store left decrypted, the password generator and the strength hint.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "app/dialog_kit.h"
#include "app/lock.h"
#include "app/shell.h"
#include "crypto/bulk_crypt.h"
#include "dialogs/password_dialogs.h"
#include "crypto/password_generator.h"
#include "crypto/strength_hint.h"
#include "dialogs/password_generator_dialog.h"
#include "prefs/preferences_dialog.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kPassword[] = L"Sperre-2026";
const wchar_t kLockedTitle[] = L"The Arkel (gesperrt)";
const wchar_t kWrongPassword[] = L"Das Passwort ist falsch. Bitte geben Sie es nochmals ein!";
const wchar_t kNoticeStart[] = L"Beim letzten Beenden wurden die Daten nicht verschl\u00fcsselt";

void UsePassword(const wchar_t *password) {
    WCHAR buffer[129];
    lstrcpynW(buffer, password, 129);
    objectStore.setPassword(buffer);
}

bool KeyMaterialEmpty() {
    for (const CipherKey *key :
         {&objectStore.keys.key1, &objectStore.keys.key2, &objectStore.keys.key3})
        for (BYTE b : *key)
            if (b) return false;
    for (WCHAR c : objectStore.passwordText)
        if (c) return false;
    return true;
}

int EncryptedRecords() {
    int n = 0;
    WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *p, WORD count) {
        for (WORD i = 0; i < count; ++i)
            if (p[i].propid == PROP_VERIFIER) ++n;
        return true;
    });
    return n;
}

std::function<void(HWND)> EnterPassword(const wchar_t *password, std::wstring *caption = nullptr) {
    return [password, caption](HWND d) {
        if (caption) *caption = WindowText(d);
        SetDlgItemTextW(d, IDC_PASSWORD_ENTER, password);
        PressButton(d, IDOK);
    };
}

// Whether a text is anywhere in the bytes as UTF-16.
bool HoldsText(const std::vector<BYTE> &bytes, const std::wstring &text) {
    const auto *t = reinterpret_cast<const BYTE *>(text.data());
    const size_t n = text.size() * 2;
    if (bytes.size() < n) return false;
    for (size_t i = 0; i + n <= bytes.size(); ++i)
        if (memcmp(bytes.data() + i, t, n) == 0) return true;
    return false;
}

class LockTest : public ShellTest {
protected:
    // Objects "Geheim 1" ... with flag 1 and one "Offen" with flag 0, encrypted under kPassword as
    // the end of a run leaves them; "Encrypt" on.
    void PrepareLocked(int secret) {
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
        for (int i = 1; i <= secret + 1; ++i) {
            ObjectRecord o;
            ClearObjectRecord(&o);
            wsprintfW(o.field1, i <= secret ? L"Geheim %d" : L"Offen", i);
            wsprintfW(o.field2, L"Nummer-%d", 1000 + i);
            o.encrypt = i <= secret ? 1 : 0;
            ASSERT_NE(objectStore.addObject(o), 0u);
        }
        UsePassword(kPassword);
        ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
        settings.SetEncrypt(1);
        ResetGlobalStores();
    }
    void StartUnlocked() {
        UiDriver ui;
        ui.onNextDialog(EnterPassword(kPassword));
        Start();
        ASSERT_EQ(ui.unexpected(), 0);
        ASSERT_STREQ(objectStore.passwordText, kPassword);
    }
    // The store file and its journal files, as they are on disk now.
    std::vector<BYTE> VolumeBytes() {
        std::vector<BYTE> all;
        for (const wchar_t *suffix : {L"", L"-wal", L"-shm"}) {
            std::vector<BYTE> part = ReadWholeFile(volumePath + suffix);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
    static bool Ended() { return !IsWindow(hMainWnd); }
};

struct LockedView {
    std::wstring caption;
    int encrypted = -1, rows = -1;
    bool keysEmpty = false, plainOnDisk = true;
    std::wstring detail;
};

TEST_F(LockTest, LockEncryptsEmptiesAndTheRightPasswordBringsTheListBack) {
    PrepareLocked(4);
    StartUnlocked();
    Select(2);
    PumpShellFor(50);
    const std::wstring selected = Row(2);
    // While the password is asked: everything flagged encrypted on disk, nothing shown, no key.
    LockedView view;
    UiDriver ui;
    ui.onNextDialog([&](HWND d) {
        view.caption = WindowText(d);
        view.encrypted = EncryptedRecords();
        view.rows = Rows();
        view.keysEmpty = KeyMaterialEmpty();
        view.detail = WindowText(hValueText[0]) + WindowText(hValueText[1]);
        const std::vector<BYTE> disk = VolumeBytes();
        view.plainOnDisk = HoldsText(disk, L"Geheim 2") || HoldsText(disk, L"Nummer-1003");
        EnterPassword(L"falsch-falsch")(d);
    });
    ui.answerMessageBox(IDOK);
    ui.onNextDialog(EnterPassword(kPassword));
    MenuCommand(IDM_LOCK);
    PumpShellUntil([&] { return ui.pendingSteps() == 0 && Rows() == 5; });
    EXPECT_EQ(view.caption, kLockedTitle);
    EXPECT_EQ(view.encrypted, 4) << "the object with flag 0 stays plain";
    EXPECT_EQ(view.rows, 0);
    EXPECT_TRUE(view.keysEmpty);
    EXPECT_EQ(view.detail, L"");
    EXPECT_FALSE(view.plainOnDisk) << "store, journal and shared memory hold no secret text";
    ASSERT_EQ(ui.seen().size(), 3u);
    EXPECT_EQ(ui.seen()[1].text, kWrongPassword);
    EXPECT_EQ(EncryptedRecords(), 0) << "open again";
    EXPECT_EQ(Rows(), 5);
    EXPECT_EQ(Selection(), 2);
    EXPECT_EQ(Row(2), selected);
    EXPECT_EQ(WindowText(hValueText[0]), selected);
    EXPECT_STREQ(objectStore.passwordText, kPassword);
    EXPECT_FALSE(VaultLocked());
}

TEST_F(LockTest, CancelAtTheLocksPasswordEndsTheProgramWithTheStoreEncrypted) {
    PrepareLocked(3);
    StartUnlocked();
    UiDriver ui;
    ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
    MenuCommand(IDM_LOCK);
    EXPECT_TRUE(PumpShellUntil(Ended));
    EXPECT_EQ(EncryptedRecords(), 3);
    EXPECT_TRUE(KeyMaterialEmpty());
    // What the end of the program does after its loop finds nothing left to lock.
    lockStore(&objectStore);
    EXPECT_EQ(EncryptedRecords(), 3);
}

TEST_F(LockTest, LockIsOfferedOnlyWithEncryptionOn) {
    Prepare({{L"Anton", L""}});
    Start();  // encryption off
    UiDriver ui;
    SendMessageW(hMainWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(hMenu, 0)), 0);
    EXPECT_TRUE(MenuGreyed(IDM_LOCK));
    MenuCommand(IDM_LOCK);
    // Ctrl+L is still the categories list; Ctrl+Shift+L would lock.
    PressKey('L', true);
    EXPECT_EQ(ui.seen().size(), 1u);
    if (!ui.seen().empty()) {
        EXPECT_EQ(ui.seen()[0].caption, L"Kategorien");
    }
    EXPECT_EQ(Rows(), 1);
    ResetShell();
    ResetGlobalStores();
    ClearSettingsKey();

    NewVolume();
    PrepareLocked(1);
    StartUnlocked();
    SendMessageW(hMainWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(hMenu, 0)), 0);
    EXPECT_FALSE(MenuGreyed(IDM_LOCK));
}

// With "Bei Leerlauf sperren" on, an open "Neues Objekt" survives the idle lock and is saved
// afterwards; with it off (the default) the idle time ends the program as before.
TEST_F(LockTest, TheIdleTimeLocksAndTheTypedTextSurvivesOrQuitsByDefault) {
    for (const bool lockOnIdle : {true, false}) {
        PrepareLocked(2);
        settings.SetLockOnIdle(lockOnIdle ? 1 : 0);
        settings.SetAutoQuit(15000);
        StartUnlocked();
        autoQuitActive = autoQuitPeriod = 300;
        StartIdleTimers();

        UiDriver ui;
        std::wstring reopenedField1, reopenedField3, lockCaption;
        int rowsWhileLocked = -1;
        ui.onNextDialog([](HWND d) {
            SetDlgItemTextW(d, IDC_EDIT_FIELD1, L"Neu getippt");
            SetDlgItemTextW(d, IDC_EDIT_FIELD2, L"geheim-123");
            SetDlgItemTextW(d, IDC_EDIT_FIELD3, L"nicht verlieren");
        });
        if (lockOnIdle) {
            ui.onNextDialog([&](HWND d) {
                rowsWhileLocked = Rows();
                EnterPassword(kPassword, &lockCaption)(d);
            });
            ui.onNextDialog([&](HWND d) {
                reopenedField1 = ItemText(d, IDC_EDIT_FIELD1);
                reopenedField3 = ItemText(d, IDC_EDIT_FIELD3);
                autoQuitActive = autoQuitPeriod = 0;  // no second lock while the test saves
                SendMessageW(d, WM_COMMAND, IDOK, 0);
            });
        }
        PostMessageW(hMainWnd, WM_COMMAND, IDM_NEW_OBJECT, 0);
        if (lockOnIdle) {
            EXPECT_TRUE(
                PumpShellUntil([&] { return ui.pendingSteps() == 0 && Rows() == 4; }, 10000));
            EXPECT_EQ(lockCaption, kLockedTitle);
            EXPECT_EQ(rowsWhileLocked, 0);
            EXPECT_EQ(reopenedField1, L"Neu getippt");
            EXPECT_EQ(reopenedField3, L"nicht verlieren");
            EXPECT_EQ(StoredObjects(), 4) << "saved with OK after the unlock";
            EXPECT_FALSE(Ended());
            ResetShell();
        } else {
            EXPECT_TRUE(PumpShellUntil(Ended, 10000));
            lockStore(&objectStore);
            EXPECT_EQ(StoredObjects(), 3) << "the idle quit drops the typed object";
        }
        EXPECT_EQ(ui.unexpected(), 0);
        ResetGlobalStores();
        ClearSettingsKey();
        NewVolume();
    }
}

// An object being edited at an idle lock: after the unlock the dialog shows the change again and
// OK writes it to that object, not to another record.
TEST_F(LockTest, AnEditOpenAtAnIdleLockIsWrittenToItsOwnObject) {
    PrepareLocked(3);
    settings.SetLockOnIdle(1);
    settings.SetAutoQuit(15000);
    StartUnlocked();
    Select(1);
    PumpShellFor(50);
    const std::wstring edited = Row(1);
    autoQuitActive = autoQuitPeriod = 300;
    StartIdleTimers();

    UiDriver ui;
    std::wstring reopenedCaption, reopenedField3;
    ui.onNextDialog([](HWND d) {
        SetDlgItemTextW(d, IDC_EDIT_FIELD3, L"ge\u00e4ndert w\u00e4hrend der Sperre");
    });
    ui.onNextDialog(EnterPassword(kPassword));
    ui.onNextDialog([&](HWND d) {
        reopenedCaption = WindowText(d);
        reopenedField3 = ItemText(d, IDC_EDIT_FIELD3);
        autoQuitActive = autoQuitPeriod = 0;
        SendMessageW(d, WM_COMMAND, IDOK, 0);
    });
    PostMessageW(hMainWnd, WM_COMMAND, IDM_EDIT_OBJECT, 0);
    EXPECT_TRUE(PumpShellUntil([&] { return ui.pendingSteps() == 0; }, 10000));
    PumpShellFor(100);
    EXPECT_EQ(ui.unexpected(), 0);
    EXPECT_EQ(reopenedCaption, L"Objekt bearbeiten");
    EXPECT_EQ(reopenedField3, L"ge\u00e4ndert w\u00e4hrend der Sperre");
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(StoredObjects(), 4);
    for (int row = 0; row < 4; ++row) {
        ObjectRecord o;
        objectStore.readVisible(row, &o);
        const bool changed = std::wstring(o.field3) == L"ge\u00e4ndert w\u00e4hrend der Sperre";
        EXPECT_EQ(changed, std::wstring(o.field1) == edited) << Utf8(o.field1);
    }
    ResetShell();
}

// The end of the session: the closing pass runs on the query; the end called off asks for the
// password and opens the vault again.
TEST_F(LockTest, TheEndOfTheSessionEncryptsFirst) {
    for (const bool ending : {true, false}) {
        PrepareLocked(3);
        StartUnlocked();
        UiDriver ui;
        if (!ending) ui.onNextDialog(EnterPassword(kPassword));
        EXPECT_TRUE(SendMessageW(hMainWnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
        EXPECT_EQ(EncryptedRecords(), 3) << ending;
        EXPECT_TRUE(KeyMaterialEmpty());
        EXPECT_EQ(Rows(), 0);
        SendMessageW(hMainWnd, WM_ENDSESSION, ending ? TRUE : FALSE, ENDSESSION_LOGOFF);
        if (ending) {
            EXPECT_TRUE(PumpShellUntil(Ended));
            lockStore(&objectStore);
            EXPECT_EQ(EncryptedRecords(), 3);
        } else {
            PumpShellUntil([&] { return Rows() == 4; });
            EXPECT_EQ(Rows(), 4);
            EXPECT_EQ(EncryptedRecords(), 0);
            EXPECT_STREQ(objectStore.passwordText, kPassword);
            ResetShell();
        }
        EXPECT_EQ(ui.unexpected(), 0);
        ResetGlobalStores();
        ClearSettingsKey();
        NewVolume();
    }
}

// Records whose flag asks for encryption but that are plain on disk (no verifier).
int FlaggedButPlain() {
    int n = 0;
    WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *p, WORD count) {
        bool flagged = true, verified = false;
        for (WORD i = 0; i < count; ++i) {
            if (p[i].propid == PROP_ENCRYPT) flagged = p[i].val.iVal != 0;
            if (p[i].propid == PROP_VERIFIER) verified = true;
        }
        if (flagged && !verified) ++n;
        return true;
    });
    return n;
}

using WorkArea = BOOL (*)(RECT *);

// An object edit dialog open when the session ends, and OK pressed in it after the query (the
// dialog was still on the screen): the closing pass has run and the keys are gone, so nothing may
// be written then. Whether the session ends, goes on and the lock's password dialog is cancelled,
// or goes on and the right password is given: every flagged record is stored encrypted, and after
// the unlock the dialog shows what was typed and OK saves it to its own object.
TEST_F(LockTest, AnEditOpenWhenTheSessionEndsWritesNothingWhileLocked) {
    enum class Then { ends, cancelled, unlocked };
    struct Case {
        unsigned mode;
        Then then;
    };
    const Case cases[] = {
        {IDM_NEW_OBJECT, Then::ends},       {IDM_NEW_OBJECT, Then::cancelled},
        {IDM_NEW_OBJECT, Then::unlocked},   {IDM_EDIT_OBJECT, Then::ends},
        {IDM_EDIT_OBJECT, Then::cancelled}, {IDM_EDIT_OBJECT, Then::unlocked},
    };
    const std::wstring secret = L"Sitzungs-Geheimnis-77";
    // In both shapes: the handheld's screen, and the desktop's work area the test runs in.
    const WorkArea shapes[2] = {HandheldWorkArea, ReadWorkArea};
    for (const WorkArea workArea : shapes)
        for (const Case &c : cases) {
            const bool isNew = c.mode == IDM_NEW_OBJECT;
            SCOPED_TRACE(std::string(workArea == ReadWorkArea ? "desktop " : "handheld ") +
                         (isNew ? "new " : "edit ") + std::to_string(int(c.then)));
            ShellWorkArea = workArea;
            PrepareLocked(3);
            StartUnlocked();
            ASSERT_EQ(windowShape,
                      workArea == HandheldWorkArea ? WindowShape::Handheld : WindowShape::Desktop);
            // The object edited is the one with flag 0: the dialog turns its flag on.
            int open = -1;
            for (int row = 0; row < Rows(); ++row)
                if (Row(row) == L"Offen") open = row;
            ASSERT_GE(open, 0);
            Select(open);
            PumpShellFor(50);
            const std::wstring edited = Row(open);
            UiDriver ui;
            std::wstring reopened1, reopened2;
            int encryptedAtQuery = -1;
            ui.onNextDialog([&](HWND d) {
                if (isNew) SetDlgItemTextW(d, IDC_EDIT_FIELD1, L"Neu zum Sitzungsende");
                SetDlgItemTextW(d, IDC_EDIT_FIELD2, secret.c_str());
                CheckDlgButton(d, IDC_EDIT_ENCRYPT, BST_CHECKED);
                SendMessageW(hMainWnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
                encryptedAtQuery = EncryptedRecords();
                SendMessageW(d, WM_COMMAND, IDOK, 0);
                SendMessageW(hMainWnd, WM_ENDSESSION, c.then == Then::ends, ENDSESSION_LOGOFF);
            });
            if (c.then == Then::cancelled)
                ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
            if (c.then == Then::unlocked) {
                ui.onNextDialog(EnterPassword(kPassword));
                ui.onNextDialog([&](HWND d) {
                    reopened1 = ItemText(d, IDC_EDIT_FIELD1);
                    reopened2 = ItemText(d, IDC_EDIT_FIELD2);
                    SendMessageW(d, WM_COMMAND, IDOK, 0);
                });
            }
            PostMessageW(hMainWnd, WM_COMMAND, c.mode, 0);
            if (c.then != Then::unlocked) {
                EXPECT_TRUE(PumpShellUntil(Ended));
                EXPECT_EQ(encryptedAtQuery, 3);
                lockStore(&objectStore);  // what the end of the program does: nothing to lock with
                EXPECT_EQ(StoredObjects(), 4);
                EXPECT_EQ(EncryptedRecords(), 3);
                EXPECT_EQ(FlaggedButPlain(), 0);
                EXPECT_FALSE(HoldsText(VolumeBytes(), secret))
                    << "the typed secret is nowhere on disk";
            } else {
                EXPECT_TRUE(PumpShellUntil([&] { return ui.pendingSteps() == 0; }));
                PumpShellFor(100);
                EXPECT_EQ(reopened1, isNew ? L"Neu zum Sitzungsende" : edited);
                EXPECT_EQ(reopened2, secret);
                ASSERT_EQ(Rows(), isNew ? 5 : 4);
                int holding = 0;
                for (int row = 0; row < Rows(); ++row) {
                    ObjectRecord o;
                    objectStore.readVisible(row, &o);
                    if (secret == o.field2) {
                        ++holding;
                        EXPECT_EQ(std::wstring(o.field1), isNew ? L"Neu zum Sitzungsende" : edited);
                        EXPECT_EQ(o.encrypt, 1);
                    }
                }
                EXPECT_EQ(holding, 1) << "saved once, to its own object";
                lockStore(&objectStore);
                EXPECT_EQ(EncryptedRecords(), 4);
                EXPECT_EQ(FlaggedButPlain(), 0);
                ResetShell();
            }
            EXPECT_EQ(ui.unexpected(), 0);
            EXPECT_FALSE(VaultLocked());
            ResetGlobalStores();
            ClearSettingsKey();
            NewVolume();
        }
    ShellWorkArea = ReadWorkArea;
}

TEST_F(LockTest, AStoreLeftPlainIsNoticedOnceAfterThePassword) {
    struct Case {
        int leftPlain;  // flagged objects written plain after the last closing pass
    };
    for (const Case c : {Case{0}, Case{1}, Case{2}}) {
        PrepareLocked(3);
        // Opened without the password, as a crashed run left it.
        settings.SetEncrypt(0);
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
        settings.SetEncrypt(1);
        for (int i = 0; i < c.leftPlain; ++i) {
            ObjectRecord o;
            ClearObjectRecord(&o);
            wsprintfW(o.field1, L"Liegengeblieben %d", i);
            lstrcpyW(o.field2, L"x");
            ASSERT_NE(objectStore.addObject(o), 0u);
        }
        ResetGlobalStores();
        UiDriver ui;
        ui.onNextDialog(EnterPassword(kPassword));
        if (c.leftPlain) ui.answerMessageBox(IDOK);
        Start();
        ASSERT_EQ(ui.seen().size(), c.leftPlain ? 2u : 1u);
        if (c.leftPlain) {
            const std::wstring text = ui.seen()[1].text;
            EXPECT_EQ(text.rfind(kNoticeStart, 0), 0u) << Utf8(text);
            EXPECT_NE(text.find(c.leftPlain == 1 ? L"ein Objekt lag" : L"2 Objekte lagen"),
                      std::wstring::npos)
                << Utf8(text);
            EXPECT_EQ(ui.seen()[1].caption, L"The Arkel");
        }
        EXPECT_EQ(Rows(), 4 + c.leftPlain);
        lockStore(&objectStore);
        EXPECT_EQ(EncryptedRecords(), 3 + c.leftPlain) << "encrypted at the end as usual";
        ResetShell();
        ResetGlobalStores();
        ClearSettingsKey();
        NewVolume();
    }
}

// The box follows the automatic quit, which itself is offered only with encryption.
TEST_F(LockTest, PreferencesOfferTheIdleLockOnlyWithEncryptionAndStoreIt) {
    PrepareLocked(1);
    settings.SetAutoQuit(60000);
    StartUnlocked();
    UiDriver ui;
    bool enabledWithEncryption = false, enabledWithout = true;
    ui.onNextDialog([&](HWND d) {
        enabledWithEncryption = IsWindowEnabled(GetDlgItem(d, IDC_PREFS_LOCK)) != FALSE;
        CheckDlgButton(d, IDC_PREFS_LOCK, BST_CHECKED);
        CheckDlgButton(d, IDC_PREFS_ENCRYPT, BST_UNCHECKED);
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_PREFS_ENCRYPT, BN_CLICKED), 0);
        enabledWithout = IsWindowEnabled(GetDlgItem(d, IDC_PREFS_LOCK)) != FALSE;
        CheckDlgButton(d, IDC_PREFS_ENCRYPT, BST_CHECKED);
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_PREFS_ENCRYPT, BN_CLICKED), 0);
        PressButton(d, IDOK);
    });
    EXPECT_EQ(settings.GetLockOnIdle(), 0u) << "off by default";
    MenuCommand(IDM_PREFERENCES);
    PumpShellUntil([&] { return ui.pendingSteps() == 0; });
    PumpShellFor(100);
    EXPECT_TRUE(enabledWithEncryption);
    EXPECT_FALSE(enabledWithout);
    EXPECT_EQ(settings.GetLockOnIdle(), 1u);
}

// ---- The generator -------------------------------------------------------------------------

struct GeneratorCase {
    int length;
    bool letters, digits, signs, umlauts;
};

TEST_F(LockTest, TheGeneratorMakesWhatItsOptionsAskFor) {
    const GeneratorCase cases[] = {
        {16, true, true, true, false},  // the defaults
        {4, true, true, true, true},
        {64, false, true, false, false},
        {10, false, false, true, true},
    };
    bool first = true;
    for (const GeneratorCase &c : cases) {
        UiDriver ui;
        std::wstring preview, bits;
        int shownLength = 0;
        bool defaults = false;
        ui.onNextDialog([&](HWND d) {
            if (first) {
                defaults = GetDlgItemInt(d, IDC_GEN_LENGTH, nullptr, FALSE) == 16 &&
                           IsDlgButtonChecked(d, IDC_GEN_LETTERS) &&
                           IsDlgButtonChecked(d, IDC_GEN_DIGITS) &&
                           IsDlgButtonChecked(d, IDC_GEN_SIGNS) &&
                           !IsDlgButtonChecked(d, IDC_GEN_UMLAUTS);
            }
            const int ids[4] = {IDC_GEN_LETTERS, IDC_GEN_DIGITS, IDC_GEN_SIGNS, IDC_GEN_UMLAUTS};
            const bool on[4] = {c.letters, c.digits, c.signs, c.umlauts};
            for (int i = 0; i < 4; ++i) CheckDlgButton(d, ids[i], on[i] ? BST_CHECKED : 0);
            SendDlgItemMessageW(d, IDC_GEN_LENGTH_SPIN, UDM_SETPOS32, 0, c.length);
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_GEN_AGAIN, BN_CLICKED), 0);
            preview = ItemText(d, IDC_GEN_PREVIEW);
            shownLength = static_cast<int>(GetDlgItemInt(d, IDC_GEN_LENGTH, nullptr, FALSE));
            bits = ItemText(d, IDC_GEN_BITS);
            PressButton(d, IDOK);
        });
        WCHAR out[256];
        ASSERT_TRUE(RunPasswordGenerator(nullptr, out)) << c.length;
        if (first) {
            EXPECT_TRUE(defaults) << "length 16, letters, digits and signs";
        }
        first = false;
        EXPECT_EQ(std::wstring(out), preview) << "Übernehmen takes what is shown";
        EXPECT_EQ(shownLength, c.length);
        ASSERT_EQ(static_cast<int>(preview.size()), c.length);
        const unsigned groups[4] = {kGroupLetters, kGroupDigits, kGroupSigns, kGroupUmlauts};
        const bool on[4] = {c.letters, c.digits, c.signs, c.umlauts};
        for (int g = 0; g < 4; ++g) {
            const std::u16string chars = passwordAlphabet(groups[g]);
            bool present = false;
            for (wchar_t ch : preview)
                present |= chars.find(static_cast<char16_t>(ch)) != std::u16string::npos;
            EXPECT_EQ(present, on[g]) << "group " << g << " of case " << c.length;
        }
        EXPECT_EQ(bits.rfind(L"Zufall: etwa ", 0), 0u) << Utf8(bits);
    }
    // A length typed beyond the range: the longest, shown in the edit; one too short (perhaps the
    // first digit of a longer one) stays as typed while the shortest is used.
    struct Typed {
        const wchar_t *text, *shown;
        size_t length;
    };
    for (const Typed t : {Typed{L"99", L"64", 64}, Typed{L"2", L"2", 4}, Typed{L"23", L"23", 23}}) {
        UiDriver typed;
        std::wstring preview, shown;
        typed.onNextDialog([&](HWND d) {
            SetDlgItemTextW(d, IDC_GEN_LENGTH, t.text);
            preview = ItemText(d, IDC_GEN_PREVIEW);
            shown = ItemText(d, IDC_GEN_LENGTH);
            PressButton(d, IDCANCEL);
        });
        WCHAR out[256];
        EXPECT_FALSE(RunPasswordGenerator(nullptr, out));
        EXPECT_EQ(preview.size(), t.length) << Utf8(t.text);
        EXPECT_EQ(shown, t.shown);
    }
    // Cancel gives nothing.
    UiDriver ui;
    ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
    WCHAR out[256] = L"vorher";
    EXPECT_FALSE(RunPasswordGenerator(nullptr, out));
    EXPECT_EQ(out[0], 0);
}

// The system's generator through the dialog's source: 52 letters equally often. 64,000
// characters, about 1,231 of each; chi-square with 51 degrees of freedom has its mean at 51.
TEST_F(LockTest, SystemRandomLettersAreSpreadEvenly) {
    std::map<char16_t, int> counts;
    const int passwords = 1000, length = 64;
    for (int i = 0; i < passwords; ++i) {
        const std::u16string p = generatePassword(
            length, kGroupLetters,
            [](std::uint8_t *b, std::size_t n) { return SystemRandomBytes(b, n); });
        ASSERT_EQ(p.size(), static_cast<size_t>(length));
        for (char16_t c : p) ++counts[c];
    }
    ASSERT_EQ(counts.size(), 52u);
    const double expected = passwords * length / 52.0;
    double chi = 0;
    for (auto &[c, n] : counts) chi += (n - expected) * (n - expected) / expected;
    EXPECT_LT(chi, 150.0);
}

TEST_F(LockTest, CtrlGInAFieldPutsAGeneratedPasswordThere) {
    Prepare({{L"Anton", L""}});
    Start();
    UiDriver ui;
    std::wstring field2, generated;
    ui.onNextDialog([&](HWND d) {
        HWND edit = GetDlgItem(d, IDC_EDIT_FIELD2);
        SetFocus(edit);
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
        SetKeyboardState(keys);
        SendMessageW(edit, WM_KEYDOWN, 'G', 1);
        keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
        SetKeyboardState(keys);
        PumpUntil([&] { return !generated.empty(); }, 5000);
        field2 = ItemText(d, IDC_EDIT_FIELD2);
        PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    });
    ui.onNextDialog([&](HWND g) {
        generated = ItemText(g, IDC_GEN_PREVIEW);
        PressButton(g, IDOK);
    });
    ui.answerMessageBox(IDOK);  // drop the changes
    MenuCommand(IDM_NEW_OBJECT);
    PumpShellUntil([&] { return ui.pendingSteps() == 0; });
    ASSERT_EQ(ui.seen().size(), 3u);
    EXPECT_EQ(ui.seen()[1].caption, L"Passwort erzeugen");
    // The generator keeps the choices of the run, so the length is whatever was chosen last.
    EXPECT_GE(generated.size(), static_cast<size_t>(kGeneratedMinLength));
    EXPECT_EQ(field2, generated);
}

// ---- The strength hint -----------------------------------------------------------------------

TEST_F(LockTest, TheStrengthHintSaysHowManyBitsTheKeysGet) {
    struct Case {
        const wchar_t *password;
        const wchar_t *hint;
    };
    const Case cases[] = {
        {L"", L""},
        {L"abcdefgh", L"St\u00e4rke: 37 von 144 Bit \u2013 schwach"},
        {L"abcd1234", L"St\u00e4rke: 37 von 144 Bit \u2013 schwach"},
        {L"abcdefABCDEF", L"St\u00e4rke: 68 von 144 Bit \u2013 mittel"},
        {L"aB3$eF7&iJ1(mN5)qR9*uV0+xyz", L"St\u00e4rke: 144 von 144 Bit \u2013 stark"},
    };
    for (const Case &c : cases) {
        WCHAR hint[64];
        FormatStrengthHint(c.password, hint);
        EXPECT_EQ(std::wstring(hint), c.hint) << Utf8(c.password);
    }
    // In the dialogs the hint follows the new password as it is typed.
    struct DialogCase {
        int templateId;
        DLGPROC proc;
        int edit;
    };
    for (const DialogCase d :
         {DialogCase{IDD_SET_PASSWORD, SetPasswordDlgProc, IDC_PASSWORD_SET},
          DialogCase{IDD_CHANGE_PASSWORD, ChangePasswordDlgProc, IDC_PASSWORD_NEW}}) {
        UiDriver ui;
        std::wstring shown;
        ui.onNextDialog([&](HWND dlg) {
            SetDlgItemTextW(dlg, d.edit, L"abcdefABCDEF");
            shown = ItemText(dlg, IDC_PASSWORD_STRENGTH);
            PressButton(dlg, IDCANCEL);
        });
        ShowDialog(nullptr, d.templateId, d.proc, 0);
        EXPECT_EQ(shown, L"St\u00e4rke: 68 von 144 Bit \u2013 mittel") << d.templateId;
    }
}

}  // namespace
