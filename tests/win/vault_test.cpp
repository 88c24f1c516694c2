// The vault: the stored form of encrypted records, the passes with their progress window, a
// failing write in the middle of a pass, the start-up and shutdown flows, the password dialogs,
// the preferences dialog and the change-password command, driven in-process.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "app/dialog_kit.h"
#include "app/pass_host.h"
#include "app/shell.h"
#include "crypto/bulk_crypt.h"
#include "dialogs/password_dialogs.h"
#include "crypto/password_key.h"
#include "crypto/record_blob.h"
#include "platform/caption_button.h"
#include "platform/cedb.h"
#include "platform/test_seam.h"
#include "prefs/preferences_dialog.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/object_store.h"
#include "store/pass_host.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kNoPassword[] = L"Bitte geben Sie ein Passwort ein!";
const wchar_t kMismatch[] =
    L"Die beiden Passw\u00f6rter sind unterschiedlich. Bitte geben Sie sie nochmals ein!";
const wchar_t kTooShort[] =
    L"Das Passwort sollte mindestens 8 Zeichen lang sein. Trotzdem fortfahren?";
const wchar_t kOldWrong[] = L"Das alte Passwort ist falsch. Bitte geben Sie es nochmals ein!";
const wchar_t kWrongPassword[] = L"Das Passwort ist falsch. Bitte geben Sie es nochmals ein!";
const wchar_t kNoEncryptedData[] =
    L"Es waren keine verschl\u00fcsselten Daten vorhanden. Bitte geben Sie das Passwort eneut "
    L"ein!";
const wchar_t kNoPasswordGivenText[] =
    L"Sie haben kein Passwort eingegeben. Daher wird die Verschl\u00fcsselung deaktivert.";
const wchar_t kDecryptFailed[] =
    L"Ein Fehler ist beim Entschluesseln der Daten aufgetreten. M\u00f6glicherweise sind nicht "
    L"alle Daten entschl\u00fcsselt.";
const wchar_t kEncryptFailed[] =
    L"Ein Fehler ist beim Verschluesseln der Daten aufgetreten. M\u00f6glicherweise sind nicht "
    L"alle Daten verschl\u00fcsselt.";
const wchar_t kDatabaseFailure[] =
    L"Die Datenbank konnte nicht ge\u00f6ffnet werden.\nDas Programm mu\u00df beendet werden.";

const wchar_t kPassword[] = L"Tresor-2026";

void UsePassword(const wchar_t *password) {
    WCHAR buffer[129];
    lstrcpynW(buffer, password, 129);
    objectStore.setPassword(buffer);
}

PasswordKeys KeysOf(const wchar_t *password) {
    PasswordKeys keys;
    makePasswordKeys(std::u16string_view(reinterpret_cast<const char16_t *>(password),
                                         static_cast<size_t>(lstrlenW(password))),
                     keys);
    return keys;
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

std::wstring Hex(const BYTE *p, DWORD n) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring s;
    for (DWORD i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

// One record as text: its id, then its properties sorted by id, so that two snapshots compare
// equal when every record holds the same values, whatever their order inside the record.
struct StoredRecord {
    CEOID id;
    std::vector<CEPROPVAL> props;
    std::vector<std::vector<BYTE>> blobs;
    std::vector<std::wstring> texts;
};

std::vector<std::wstring> Snapshot() {
    std::vector<std::wstring> records;
    WalkDatabase(objectStore.hDatabase, [&](CEOID id, const CEPROPVAL *p, WORD n) {
        std::vector<std::wstring> props;
        for (WORD i = 0; i < n; ++i) {
            WCHAR head[16];
            wsprintfW(head, L"%08x=", static_cast<unsigned>(p[i].propid));
            std::wstring s = head;
            switch (TypeFromPropID(p[i].propid)) {
            case CEVT_LPWSTR: s += p[i].val.lpwstr; break;
            case CEVT_I2: s += std::to_wstring(p[i].val.iVal); break;
            case CEVT_BLOB: s += Hex(p[i].val.blob.lpb, p[i].val.blob.dwCount); break;
            default: s += L"?"; break;
            }
            props.push_back(s);
        }
        std::sort(props.begin(), props.end());
        std::wstring line = std::to_wstring(id);
        for (const std::wstring &s : props) line += L" " + s;
        records.push_back(line);
        return true;
    });
    std::sort(records.begin(), records.end());
    return records;
}

// Records that carry the verifier.
int EncryptedRecords() {
    int n = 0;
    WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *p, WORD count) {
        for (WORD i = 0; i < count; ++i)
            if (p[i].propid == PROP_VERIFIER) ++n;
        return true;
    });
    return n;
}

// The properties of the record whose field 1 (plain or decrypted with keys) is name.
struct Found {
    std::vector<CEPROPID> ids;
    std::vector<std::vector<BYTE>> values;  // BLOB bytes; texts as their UTF-16 bytes
    const std::vector<BYTE> *get(CEPROPID id) const {
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id) return &values[i];
        return nullptr;
    }
};

std::vector<Found> AllRecords() {
    std::vector<Found> out;
    WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *p, WORD count) {
        Found f;
        for (WORD i = 0; i < count; ++i) {
            f.ids.push_back(p[i].propid);
            const BYTE *b = nullptr;
            size_t n = 0;
            if (TypeFromPropID(p[i].propid) == CEVT_BLOB) {
                b = p[i].val.blob.lpb;
                n = p[i].val.blob.dwCount;
            } else if (TypeFromPropID(p[i].propid) == CEVT_LPWSTR) {
                b = reinterpret_cast<const BYTE *>(p[i].val.lpwstr);
                n = static_cast<size_t>(lstrlenW(p[i].val.lpwstr)) * 2;
            }
            f.values.emplace_back(b, b + n);
        }
        out.push_back(f);
        return true;
    });
    return out;
}

std::wstring Decoded(const std::vector<BYTE> *blob, const PasswordKeys &keys) {
    if (!blob) return L"<none>";
    std::u16string text = decodeTextBlob(*blob, keys);
    return std::wstring(text.begin(), text.end());
}

ObjectRecord MakeObject(const wchar_t *f1, const wchar_t *f2, const wchar_t *f3,
                        const wchar_t *category, short flag) {
    ObjectRecord o;
    ClearObjectRecord(&o);
    lstrcpyW(o.field1, f1);
    lstrcpyW(o.field2, f2);
    lstrcpyW(o.field3, f3);
    lstrcpyW(o.category, category);
    o.encrypt = flag;
    return o;
}

class VaultTest : public ShellTest {
protected:
    void TearDown() override {
        CeFailNthWrite(0);
        ShellTest::TearDown();
    }

    // A store of n objects "Objekt 01" ..., every one with flag 1, left open; "Encrypt" off.
    void OpenWith(int n) {
        settings.SetEncrypt(0);
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
        for (int i = 1; i <= n; ++i) {
            WCHAR name[32], serial[32];
            wsprintfW(name, L"Objekt %02d", i);
            wsprintfW(serial, L"SN-%04d", i * 37);
            ObjectRecord o = MakeObject(name, serial, L"Bemerkung", i % 3 ? L"Privat" : L"", 1);
            ASSERT_NE(objectStore.addObject(o), 0u);
        }
    }

    // Encrypts the open store under kPassword and closes it, with "Encrypt" on: what a run of the
    // program leaves behind.
    void LockAndClose() {
        UsePassword(kPassword);
        ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
        settings.SetEncrypt(1);
        ResetGlobalStores();
    }
};

// ---- The stored form of one record -----------------------------------------------------------

TEST_F(VaultTest, EncryptionStoresEachTextAsItsBlobAndDecryptionGivesEveryRecordBack) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ASSERT_NE(objectStore.addObject(MakeObject(L"Anton", L"SN-1234", L"abc", L"Privat", 1)), 0u);
    ASSERT_NE(objectStore.addObject(MakeObject(L"Berta", L"offen", L"", L"", 0)), 0u);
    ObjectRecord empty = MakeObject(L"", L"", L"", L"", 1);
    empty.title1[0] = empty.title2[0] = empty.title3[0] = 0;
    ASSERT_NE(objectStore.addObject(empty), 0u);
    const std::vector<std::wstring> plain = Snapshot();

    UsePassword(kPassword);
    ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
    const PasswordKeys keys = KeysOf(kPassword);
    std::vector<Found> records = AllRecords();
    ASSERT_EQ(records.size(), 3u);
    int anton = 0, berta = 0, blank = 0;
    for (const Found &r : records) {
        if (Decoded(r.get(0x01020041), keys) == L"Anton") {
            ++anton;
            // Field 1 under 0x102, field 2 under 0x101: the crossing of the stored form.
            EXPECT_EQ(Decoded(r.get(0x01010041), keys), L"SN-1234");
            EXPECT_EQ(Decoded(r.get(0x01030041), keys), L"abc");
            EXPECT_EQ(Decoded(r.get(0x01040041), keys), L"Privat");
            EXPECT_EQ(Decoded(r.get(0x01070041), keys), L"Name");
            EXPECT_EQ(Decoded(r.get(0x01080041), keys), L"Seriennummer");
            EXPECT_EQ(Decoded(r.get(0x01090041), keys), L"Bemerkung");
            EXPECT_EQ(r.get(0x01030041)->size(), 8u) << "3 characters: 6 bytes and terminator";
            EXPECT_EQ(r.get(0x01070041)->size(), 8u) << "4 characters: exactly 8 bytes";
            EXPECT_EQ(r.get(0x01010041)->size(), 16u);
            for (CEPROPID text : {PROP_FIELD1, PROP_FIELD2, PROP_FIELD3, PROP_CATEGORY, PROP_TITLE1,
                                  PROP_TITLE2, PROP_TITLE3})
                EXPECT_EQ(r.get(text), nullptr) << std::hex << text << " is gone";
            ASSERT_NE(r.get(PROP_VERIFIER), nullptr);
            EXPECT_EQ(r.get(PROP_VERIFIER)->size(), 32u);
            EXPECT_TRUE(testVerifier(*r.get(PROP_VERIFIER), keys));
            EXPECT_NE(r.get(PROP_ENCRYPT), nullptr) << "the flag is never encrypted";
        } else if (r.get(PROP_FIELD1) && r.get(PROP_FIELD1)->size() == 10) {
            ++berta;  // flag 0: plain as it was
            EXPECT_EQ(r.get(PROP_VERIFIER), nullptr);
        } else {
            ++blank;  // empty texts stay; only the verifier is added
            EXPECT_NE(r.get(PROP_VERIFIER), nullptr);
            EXPECT_NE(r.get(PROP_FIELD1), nullptr);
            EXPECT_EQ(r.ids.size(), 9u);
        }
    }
    EXPECT_EQ(anton + berta + blank, 3);
    EXPECT_EQ(anton, 1);
    EXPECT_EQ(berta, 1);

    const std::vector<std::wstring> locked = Snapshot();
    ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
    EXPECT_EQ(Snapshot(), locked) << "encrypting twice changes nothing";

    UsePassword(L"Tresor-2025");
    EXPECT_EQ(cryptAllObjects(&objectStore, 0), 1);
    EXPECT_EQ(Snapshot(), locked) << "a wrong password writes nothing";

    UsePassword(kPassword);
    EXPECT_EQ(cryptAllObjects(&objectStore, 0), 0);
    EXPECT_EQ(Snapshot(), plain);
}

// ---- The progress window ---------------------------------------------------------------------

std::vector<std::wstring> *g_progressTexts = nullptr;
std::wstring *g_progressCaption = nullptr;

LRESULT CALLBACK WatchProgress(int code, WPARAM wParam, LPARAM lParam) {
    auto *cwp = reinterpret_cast<CWPSTRUCT *>(lParam);
    if (code == HC_ACTION && cwp->message == WM_SETTEXT && cwp->lParam) {
        const WCHAR *text = reinterpret_cast<const WCHAR *>(cwp->lParam);
        if (GetDlgCtrlID(cwp->hwnd) == IDC_PROGRESS_TEXT)
            g_progressTexts->push_back(text);
        else if (GetDlgItem(cwp->hwnd, IDC_PROGRESS_BAR))
            *g_progressCaption = text;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A pass encrypts a record's texts in one run of the cipher: every BLOB must still be exactly its
// own text's encryption, for texts from 1 to 255 units. A BLOB whose size is not a multiple of 8
// (not written by this program) decrypts as if zero-padded, whatever the record before it held.
TEST_F(VaultTest, EachBlobIsItsOwnTextsEncryptionAndOddSizedBlobsReadZeroPadded) {
    settings.SetEncrypt(0);
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    const std::wstring longest(255, L'\u00fc');
    ObjectRecord o = MakeObject(longest.c_str(), L"x", L"vier", L"Reise", 1);
    lstrcpyW(o.title1, L"Dreizehn Zeic");
    lstrcpyW(o.title2, std::wstring(120, L'T').c_str());
    o.title3[0] = 0;
    ASSERT_NE(objectStore.addObject(o), 0u);
    UsePassword(kPassword);
    ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
    const PasswordKeys keys = KeysOf(kPassword);
    const std::vector<Found> records = AllRecords();
    ASSERT_EQ(records.size(), 1u);
    const struct {
        CEPROPID blob;
        std::wstring text;
    } cases[] = {{0x01020041, longest},  {0x01010041, L"x"},     {0x01030041, L"vier"},
                 {0x01040041, L"Reise"}, {0x01070041, o.title1}, {0x01080041, o.title2}};
    for (const auto &c : cases) {
        std::array<std::uint8_t, kTextBlobMax> own{};
        const int size = encodeTextBlob(
            std::u16string_view(reinterpret_cast<const char16_t *>(c.text.c_str()), c.text.size()),
            keys, own);
        ASSERT_NE(records[0].get(c.blob), nullptr) << std::hex << c.blob;
        EXPECT_EQ(*records[0].get(c.blob), std::vector<BYTE>(own.begin(), own.begin() + size))
            << std::hex << c.blob;
    }
    EXPECT_EQ(records[0].get(0x01090041), nullptr) << "an empty title has no BLOB";
    std::array<std::uint8_t, kVerifierSize> verifier{};
    makeVerifier(keys, verifier);
    EXPECT_EQ(*records[0].get(PROP_VERIFIER), std::vector<BYTE>(verifier.begin(), verifier.end()));

    // A second record whose field 1 is the first 13 bytes of an encrypted text, read after the
    // one above filled the pass's slot with 512 bytes.
    std::array<std::uint8_t, kTextBlobMax> text{};
    ASSERT_EQ(encodeTextBlob(u"Dreizehn Bytes", keys, text), 32);
    CEPROPVAL v[3] = {};
    v[0].propid = 0x01020041;
    v[0].val.blob = {13, text.data()};
    v[1].propid = PROP_VERIFIER;
    v[1].val.blob = {kVerifierSize, verifier.data()};
    v[2].propid = PROP_ENCRYPT;
    v[2].val.iVal = 1;
    const CEOID odd = CeWriteRecordProps(objectStore.hDatabase, 0, 3, v);
    ASSERT_NE(odd, 0u);
    ASSERT_EQ(cryptAllObjects(&objectStore, 0), 0);
    const std::u16string expected =
        decodeTextBlob(std::span<const std::uint8_t>(text.data(), 13), keys);
    bool seen = false, whole = false;
    WalkDatabase(objectStore.hDatabase, [&](CEOID id, const CEPROPVAL *p, WORD count) {
        WCHAR name[256] = {};
        for (WORD i = 0; i < count; ++i)
            if (p[i].propid == PROP_FIELD1) CopyStoredText(name, p[i]);
        if (id == odd) {
            seen = true;
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(name)), expected);
        } else {
            whole = longest == name;
        }
        return true;
    });
    EXPECT_TRUE(seen);
    EXPECT_TRUE(whole) << "the 255-unit field 1 comes back whole";
}

TEST_F(VaultTest, ProgressShowsEveryRecordOfTenAndEverySecondOfFortyEight) {
    struct Case {
        int objects;
        int mode;
        const wchar_t *caption;
        int step;
    };
    const Case cases[] = {{10, 1, L"10 Objekte verschl\u00fcsseln", 1},
                          {48, 0, L"48 Objekte entschl\u00fcsseln", 2}};
    for (const Case &c : cases) {
        OpenWith(c.objects);
        UsePassword(kPassword);
        if (c.mode == 0) {
            ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
        }

        std::vector<std::wstring> texts;
        std::wstring caption;
        g_progressTexts = &texts;
        g_progressCaption = &caption;
        HHOOK hook =
            SetWindowsHookExW(WH_CALLWNDPROC, WatchProgress, nullptr, GetCurrentThreadId());
        EXPECT_EQ(cryptAllObjects(&objectStore, c.mode), 0);
        UnhookWindowsHookEx(hook);

        std::vector<std::wstring> expected;
        for (int i = 0; i < c.objects; i += c.step)
            expected.push_back(std::to_wstring(i) + L" von " + std::to_wstring(c.objects));
        expected.push_back(std::to_wstring(c.objects) + L" von " + std::to_wstring(c.objects));
        EXPECT_EQ(texts, expected) << c.objects;
        EXPECT_EQ(caption, c.caption);
        ResetGlobalStores();
        NewVolume();
    }
}

// ---- The passes reach the user only through their host ---------------------------------------

// A host that writes down what a pass asks of it and answers its password prompts from a list.
class RecordingHost final : public PassHost {
public:
    std::vector<std::wstring> log;
    std::vector<const wchar_t *> passwords;  // given one per prompt; nullptr cancels

    HWND OpenProgress(const WCHAR *caption, int total) override {
        log.push_back(L"progress " + std::wstring(caption) + L" /" + std::to_wstring(total));
        return nullptr;
    }
    void ProgressText(HWND, int, int) override {}
    void ProgressPosition(HWND, int) override {}
    void CloseProgress(HWND) override {}
    int Message(const WCHAR *text, UINT) override {
        log.push_back(L"message " + std::wstring(text));
        return IDOK;
    }
    bool AskPassword() override {
        log.push_back(L"password?");
        const wchar_t *given = next < passwords.size() ? passwords[next++] : nullptr;
        if (given) UsePassword(given);
        return given != nullptr;
    }
    bool AskNewPassword() override {
        log.push_back(L"new password?");
        return false;
    }
    void EnablePasswordCommand(bool enable) override {
        log.push_back(enable ? L"command on" : L"command off");
    }

private:
    size_t next = 0;
};

TEST_F(VaultTest, TheOpeningPassAsksAndShowsThroughItsHostAndOpensNoWindowOfItsOwn) {
    struct Case {
        const char *name;
        std::vector<const wchar_t *> passwords;
        int result;
        int encryptedAfter;
        std::vector<std::wstring> log;
    };
    const std::wstring wrong = std::wstring(L"message ") + kWrongPassword;
    const Case cases[] = {
        {"right at once",
         {kPassword},
         0,
         0,
         {L"password?", L"progress 3 Objekte entschl\u00fcsseln /3", L"command on"}},
        {"wrong, then right",
         {L"Tresor-1999", kPassword},
         0,
         0,
         {L"password?", L"command off", wrong, L"password?",
          L"progress 3 Objekte entschl\u00fcsseln /3", L"command on"}},
        {"cancelled", {}, 1, 3, {L"password?"}},
    };
    for (const Case &c : cases) {
        OpenWith(3);
        LockAndClose();
        RecordingHost host;
        host.passwords = c.passwords;
        SetPassHost(&host);
        UiDriver ui;
        const int result = objectStore.open(L"Arkel");
        SetPassHost(&ShellPassHost());
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(host.log, c.log) << c.name;
        EXPECT_TRUE(ui.seen().empty()) << c.name << ": a window of the pass itself";
        EXPECT_EQ(EncryptedRecords(), c.encryptedAfter) << c.name;
        if (c.result != 0) {
            EXPECT_TRUE(KeyMaterialEmpty()) << c.name;
        }
        ResetGlobalStores();
        NewVolume();
    }
}

// ---- A write that fails in the middle of a pass ----------------------------------------------

TEST_F(VaultTest, AFailedWriteStopsEitherPassAndARerunCompletesItWithNothingLost) {
    OpenWith(20);
    const std::vector<std::wstring> plain = Snapshot();
    for (int k = 1; k <= 20; ++k) {
        // Closing: the k-th record cannot be written.
        UsePassword(kPassword);
        settings.SetEncrypt(1);
        {
            UiDriver ui;
            ui.answerMessageBox(IDOK);
            CeFailNthWrite(k);
            lockStore(&objectStore);
            ASSERT_EQ(ui.seen().size(), 1u) << k;
            EXPECT_EQ(ui.seen()[0].text, kEncryptFailed) << k;
            EXPECT_EQ(ui.seen()[0].caption, L"The Arkel");
        }
        EXPECT_TRUE(KeyMaterialEmpty()) << "wiped after a failed pass too";
        EXPECT_EQ(EncryptedRecords(), k - 1) << k;
        UsePassword(kPassword);
        EXPECT_EQ(cryptAllObjects(&objectStore, 1), 0) << k;
        EXPECT_EQ(EncryptedRecords(), 20) << k;

        // Opening: the k-th record cannot be written back.
        objectStore.clearKeyMaterial();
        {
            UiDriver ui;
            ui.onNextDialog([](HWND d) {
                SetDlgItemTextW(d, IDC_PASSWORD_ENTER, kPassword);
                PressButton(d, IDOK);
            });
            ui.answerMessageBox(IDOK);
            CeFailNthWrite(k);
            EXPECT_EQ(unlockStore(&objectStore, false), 0) << "the program goes on";
            ASSERT_EQ(ui.seen().size(), 2u) << k;
            EXPECT_EQ(ui.seen()[1].text, kDecryptFailed) << k;
        }
        EXPECT_EQ(EncryptedRecords(), 20 - (k - 1)) << k;
        EXPECT_EQ(cryptAllObjects(&objectStore, 0), 0) << k;
        EXPECT_EQ(Snapshot(), plain) << "every record back as it was, k = " << k;
        CeFailNthWrite(0);
    }
}

// ---- Damaged records -------------------------------------------------------------------------

const wchar_t kDamagedOne[] =
    L"Ein Objekt konnte mit diesem Passwort nicht entschl\u00fcsselt werden. Es bleibt "
    L"unver\u00e4ndert verschl\u00fcsselt gespeichert:";

// The record at position `at` of the walk: its id and its field 1 decrypted with the keys.
struct Target {
    CEOID id = 0;
    std::wstring name;
};

Target RecordAt(int at, const PasswordKeys &keys) {
    Target t;
    int i = 0;
    WalkDatabase(objectStore.hDatabase, [&](CEOID id, const CEPROPVAL *p, WORD n) {
        if (i++ != at) return true;
        t.id = id;
        for (WORD k = 0; k < n; ++k)
            if (p[k].propid == 0x01020041) {
                std::u16string text = decodeTextBlob(
                    std::span<const std::uint8_t>(p[k].val.blob.lpb, p[k].val.blob.dwCount), keys);
                t.name.assign(text.begin(), text.end());
            }
        return false;
    });
    return t;
}

enum class Damage { ZeroedVerifier, NoVerifier, ForeignVerifier };

void DamageRecord(CEOID id, Damage damage) {
    std::array<std::uint8_t, kVerifierSize> bytes{};
    if (damage == Damage::ForeignVerifier) makeVerifier(KeysOf(L"Fremdes-Passwort"), bytes);
    CEPROPVAL v{};
    v.propid = PROP_VERIFIER;
    if (damage == Damage::NoVerifier)
        v.wFlags = CEDB_PROPDELETE;
    else
        v.val.blob = {kVerifierSize, bytes.data()};
    ASSERT_NE(CeWriteRecordProps(objectStore.hDatabase, id, 1, &v), 0u);
}

// One damaged record (a zeroed, a missing or a foreign verifier) at the first, a middle or the
// last place must neither lock the user out nor let a wrong password write anything: the wrong
// password is known before the first write; the right one opens every sound record and leaves the
// damaged one exactly as it was, named in a message; the closing pass leaves it alone too, and the
// next opening does the same again.
TEST_F(VaultTest, ADamagedRecordIsLeftAloneAndNamedAndNeverLocksTheVault) {
    const PasswordKeys keys = KeysOf(kPassword);
    for (Damage damage : {Damage::ZeroedVerifier, Damage::NoVerifier, Damage::ForeignVerifier}) {
        for (int at : {0, 4, 8}) {
            SCOPED_TRACE(testing::Message()
                         << "damage " << static_cast<int>(damage) << " at " << at);
            OpenWith(9);
            const std::vector<std::wstring> plain = Snapshot();
            UsePassword(kPassword);
            ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
            const Target target = RecordAt(at, keys);
            ASSERT_NE(target.id, 0u);
            ASSERT_EQ(target.name.rfind(L"Objekt ", 0), 0u);
            DamageRecord(target.id, damage);
            const std::vector<std::wstring> damaged = Snapshot();

            // A wrong password: nothing is written, whatever record comes first.
            UsePassword(L"Tresor-1999");
            {
                UiDriver ui;
                EXPECT_EQ(cryptAllObjects(&objectStore, 0), 1);
                EXPECT_EQ(ui.seen().size(), 0u);
            }
            EXPECT_EQ(Snapshot(), damaged);

            // The right one, twice (a vault never stays locked), with a closing pass between.
            for (int round = 0; round < 2; ++round) {
                UsePassword(kPassword);
                UiDriver ui;
                ui.answerMessageBox(IDOK);
                EXPECT_EQ(cryptAllObjects(&objectStore, 0), 0);
                ASSERT_EQ(ui.seen().size(), 1u);
                EXPECT_EQ(ui.seen()[0].text, std::wstring(kDamagedOne) + L"\n- " + target.name);
                std::vector<std::wstring> now = Snapshot();
                const std::wstring key = std::to_wstring(target.id) + L" ";
                size_t kept = 0;
                for (const std::wstring &line : now) {
                    if (line.rfind(key, 0) == 0) {
                        ++kept;
                        EXPECT_NE(std::find(damaged.begin(), damaged.end(), line), damaged.end())
                            << "the damaged record is as it was";
                    } else {
                        EXPECT_NE(std::find(plain.begin(), plain.end(), line), plain.end())
                            << "every other record plain";
                    }
                }
                EXPECT_EQ(kept, 1u);
                ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
                EXPECT_EQ(Snapshot(), damaged) << "the closing pass leaves it alone";
            }
            ResetGlobalStores();
            NewVolume();
        }
    }
}

// A record under another password altogether (texts and verifier) is named as unreadable; more
// than one are counted.
TEST_F(VaultTest, RecordsUnderAnotherPasswordAreCountedAndNamedUnreadable) {
    OpenWith(4);
    UsePassword(L"Fremdes-Passwort");
    ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
    ASSERT_NE(objectStore.addObject(MakeObject(L"Neu", L"x", L"", L"", 1)), 0u);
    UsePassword(kPassword);
    ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
    UiDriver ui;
    ui.answerMessageBox(IDOK);
    EXPECT_EQ(cryptAllObjects(&objectStore, 0), 0);
    ASSERT_EQ(ui.seen().size(), 1u);
    const std::wstring none = L"\n- (Name nicht lesbar)";
    EXPECT_EQ(ui.seen()[0].text,
              L"4 Objekte konnten mit diesem Passwort nicht entschl\u00fcsselt werden. Sie bleiben "
              L"unver\u00e4ndert verschl\u00fcsselt gespeichert:" +
                  none + none + none + none);
    EXPECT_EQ(EncryptedRecords(), 4);
    EXPECT_EQ(objectStore.recordCount(), 5);
}

// ---- Start-up and shutdown -------------------------------------------------------------------

std::function<void(HWND)> EnterPassword(const wchar_t *password, std::wstring *caption = nullptr) {
    return [password, caption](HWND d) {
        if (caption) *caption = WindowText(d);
        SetDlgItemTextW(d, IDC_PASSWORD_ENTER, password);
        PressButton(d, IDOK);
    };
}

TEST_F(VaultTest, StartAsksForThePasswordUntilItIsRightAndDecryptsOnlyThen) {
    for (int wrong = 0; wrong <= 3; ++wrong) {
        OpenWith(5);
        const std::vector<std::wstring> plain = Snapshot();
        LockAndClose();

        UiDriver ui;
        std::wstring caption;
        std::vector<int> lockedAtMessage;
        for (int i = 0; i < wrong; ++i) {
            ui.onNextDialog(EnterPassword(L"Tresor-1999", &caption));
            ui.onNextDialog([&](HWND box) {
                lockedAtMessage.push_back(EncryptedRecords());
                PressButton(box, IDOK);
            });
        }
        ui.onNextDialog(EnterPassword(kPassword, &caption));
        ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW)) << wrong;
        ASSERT_EQ(ui.seen().size(), static_cast<size_t>(2 * wrong + 1));
        for (int i = 0; i < wrong; ++i) {
            EXPECT_EQ(ui.seen()[2 * i + 1].text, kWrongPassword);
            EXPECT_EQ(lockedAtMessage[static_cast<size_t>(i)], 5) << "nothing decrypted yet";
        }
        EXPECT_EQ(caption, L"The Arkel");
        EXPECT_EQ(Snapshot(), plain);
        EXPECT_EQ(Rows(), 5);
        EXPECT_EQ(Row(0), L"Objekt 01");
        EXPECT_FALSE(MenuGreyed(IDM_PASSWORD));
        EXPECT_STREQ(objectStore.passwordText, kPassword);

        // The end of the run locks the records again and forgets the password.
        lockStore(&objectStore);
        EXPECT_EQ(EncryptedRecords(), 5);
        EXPECT_TRUE(KeyMaterialEmpty());
        ResetShell();
        ResetGlobalStores();
        NewVolume();
    }
}

TEST_F(VaultTest, CancelledPasswordEndsTheStartAndLeavesTheRecordsEncrypted) {
    OpenWith(4);
    LockAndClose();
    UiDriver ui;
    ui.onNextDialog(EnterPassword(L"falsch-falsch"));
    ui.answerMessageBox(IDOK);  // wrong password
    ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
    ui.answerMessageBox(IDOK);  // the database message
    EXPECT_FALSE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    ASSERT_EQ(ui.seen().size(), 4u);
    EXPECT_EQ(ui.seen()[3].text, kDatabaseFailure);
    EXPECT_TRUE(KeyMaterialEmpty()) << "the wrong password is not kept";
    EXPECT_EQ(EncryptedRecords(), 4);
    EXPECT_EQ(settings.GetEncrypt(), 1u);
}

TEST_F(VaultTest, EmptyStoreWithEncryptionOnStartsWithoutPromptAndSwitchesItOff) {
    settings.SetEncrypt(1);
    UiDriver ui;
    ui.answerMessageBox(IDOK);
    Start();
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].text, kNoEncryptedData);
    EXPECT_EQ(settings.GetEncrypt(), 0u);
    EXPECT_TRUE(MenuGreyed(IDM_PASSWORD));
}

TEST_F(VaultTest, AStoreWithNothingEncryptedAsksForANewPassword) {
    struct Case {
        bool accept;
        DWORD encrypt;
        bool greyed;
    };
    for (const Case c : {Case{false, 0, true}, Case{true, 1, false}}) {
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
        for (const wchar_t *name : {L"Offen 1", L"Offen 2"})
            ASSERT_NE(objectStore.addObject(MakeObject(name, L"x", L"", L"", 0)), 0u);
        ResetGlobalStores();
        settings.SetEncrypt(1);

        UiDriver ui;
        std::wstring setCaption;
        ui.onNextDialog(EnterPassword(L"irgendwas1"));
        ui.answerMessageBox(IDOK);
        ui.onNextDialog([&](HWND d) {
            setCaption = WindowText(d);
            if (c.accept) {
                SetDlgItemTextW(d, IDC_PASSWORD_SET, L"neu-und-lang");
                SetDlgItemTextW(d, IDC_PASSWORD_SET_AGAIN, L"neu-und-lang");
                PressButton(d, IDOK);
            } else {
                PressButton(d, IDCANCEL);
            }
        });
        if (!c.accept) ui.answerMessageBox(IDOK);
        Start();
        ASSERT_EQ(ui.seen().size(), c.accept ? 3u : 4u);
        EXPECT_EQ(ui.seen()[1].text, kNoEncryptedData);
        EXPECT_EQ(setCaption, L"The Arkel");
        if (!c.accept) {
            EXPECT_EQ(ui.seen()[3].text, kNoPasswordGivenText);
        }
        EXPECT_EQ(settings.GetEncrypt(), c.encrypt);
        EXPECT_EQ(MenuGreyed(IDM_PASSWORD), c.greyed);
        EXPECT_EQ(Rows(), 2);
        if (c.accept) {
            EXPECT_STREQ(objectStore.passwordText, L"neu-und-lang");
        }
        ResetShell();
        ResetGlobalStores();
        ClearSettingsKey();
        NewVolume();
    }
}

TEST_F(VaultTest, ShutdownLocksOnlyUnderAPasswordOfThisRun) {
    struct Case {
        DWORD encrypt;
        const wchar_t *password;  // nullptr: none given in this run
        int locked;
    };
    // Encryption switched on behind the program's back, without a password: the keys would be
    // all zero, so the records stay plain.
    const Case cases[] = {{0, kPassword, 0}, {1, nullptr, 0}, {1, kPassword, 3}};
    for (const Case &c : cases) {
        OpenWith(3);
        settings.SetEncrypt(c.encrypt);
        if (c.password) UsePassword(c.password);
        UiDriver ui;
        lockStore(&objectStore);
        EXPECT_EQ(ui.seen().size(), 0u);
        EXPECT_EQ(EncryptedRecords(), c.locked);
        EXPECT_TRUE(KeyMaterialEmpty());
        ResetGlobalStores();
        NewVolume();
    }
}

// The end of the run encrypts by the state this run read and wrote: a settings value that has
// become unreadable by then (its type changed, its key removed) must not leave the store plain.
TEST_F(VaultTest, TheEndEncryptsByTheRunsStateWhenTheSettingCannotBeReadThen) {
    for (int spoil = 0; spoil < 2; ++spoil) {
        OpenWith(3);
        settings.SetEncrypt(1);
        UsePassword(kPassword);
        if (spoil == 0) {
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key),
                      ERROR_SUCCESS);
            const WCHAR text[] = L"1";
            RegSetValueExW(key, L"Encrypt", 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                           sizeof text);
            RegCloseKey(key);
        } else {
            ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey), ERROR_SUCCESS);
        }
        ASSERT_EQ(settings.GetEncrypt(), 0u) << "unreadable now";
        UiDriver ui;
        lockStore(&objectStore);
        EXPECT_EQ(EncryptedRecords(), 3) << spoil;
        ResetGlobalStores();
        ClearSettingsKey();
        NewVolume();
    }
}

// The encrypt flag is read by its number in any integer type, by the list and the editor as by
// the closing pass: a flag 0 stored as a 32-bit value stays plain, a 1 stored so is encrypted.
TEST_F(VaultTest, TheClosingPassReadsTheFlagByNumberAsTheStoreDoes) {
    struct Case {
        WORD type;
        ULONG value;
        bool encrypted;
    };
    const Case cases[] = {{CEVT_I2, 0, false},  {CEVT_I4, 0, false}, {CEVT_UI4, 0, false},
                          {CEVT_UI2, 0, false}, {CEVT_I4, 1, true},  {CEVT_UI4, 0x10000, false},
                          {CEVT_I2, 1, true}};
    for (const Case &c : cases) {
        OpenWith(1);
        CEOID id = 0;
        WalkDatabase(objectStore.hDatabase, [&](CEOID r, const CEPROPVAL *, WORD) {
            id = r;
            return false;
        });
        CEPROPVAL del{};
        del.propid = PROP_ENCRYPT;
        del.wFlags = CEDB_PROPDELETE;
        ASSERT_NE(CeWriteRecordProps(objectStore.hDatabase, id, 1, &del), 0u);
        CEPROPVAL flag{};
        flag.propid = (PROP_ENCRYPT & 0xFFFF0000u) | c.type;
        flag.val.ulVal = c.value;
        ASSERT_NE(CeWriteRecordProps(objectStore.hDatabase, id, 1, &flag), 0u);
        ObjectRecord shown;
        WalkDatabase(objectStore.hDatabase, [&](CEOID, const CEPROPVAL *p, WORD n) {
            ReadObjectRecord(p, n, &shown);
            return false;
        });
        EXPECT_EQ(shown.encrypt != 0, c.encrypted) << c.type << " " << c.value;
        UsePassword(kPassword);
        ASSERT_EQ(cryptAllObjects(&objectStore, 1), 0);
        EXPECT_EQ(EncryptedRecords(), c.encrypted ? 1 : 0) << c.type << " " << c.value;
        ResetGlobalStores();
        NewVolume();
    }
}

// A shorter password after a longer one leaves nothing of the longer behind its terminator.
TEST_F(VaultTest, AShorterPasswordClearsTheWholeBuffer) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    UsePassword(L"ein-sehr-langes-Passwort-mit-vielen-Zeichen");
    UsePassword(L"kurz");
    EXPECT_STREQ(objectStore.passwordText, L"kurz");
    for (size_t i = 4; i < std::size(objectStore.passwordText); ++i)
        ASSERT_EQ(objectStore.passwordText[i], 0) << "unit " << i;
}

// ---- The password dialogs --------------------------------------------------------------------

struct Box {
    const wchar_t *text;
    int answer;
};

struct DialogCase {
    const char *name;
    std::vector<const wchar_t *> typed;  // one text per edit, in the dialog's order
    std::vector<Box> boxes;
    INT_PTR result;
    std::vector<std::wstring> editsAfter;  // when the dialog stays open
    bool focusOnFirst;
};

// Runs a password dialog, types the texts, presses OK, answers the message boxes, then cancels
// if the dialog is still open. Checks the result, the boxes, and the edits and focus after OK.
void RunDialogCase(int templateId, DLGPROC proc, const std::vector<int> &edits,
                   const DialogCase &c) {
    UiDriver ui;
    std::vector<std::wstring> after;
    bool focusOnFirst = false;
    ui.onNextDialog([&](HWND d) {
        for (size_t i = 0; i < edits.size(); ++i) SetDlgItemTextW(d, edits[i], c.typed[i]);
        SendMessageW(d, WM_COMMAND, IDOK, 0);
        for (int id : edits) after.push_back(ItemText(d, id));
        focusOnFirst = GetFocus() == GetDlgItem(d, edits[0]);
        PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    });
    for (const Box &b : c.boxes) ui.answerMessageBox(b.answer);
    EXPECT_EQ(ShowDialog(nullptr, templateId, proc, 0), c.result) << c.name;
    ASSERT_EQ(ui.seen().size(), c.boxes.size() + 1) << c.name;
    for (size_t i = 0; i < c.boxes.size(); ++i) {
        EXPECT_EQ(ui.seen()[i + 1].text, c.boxes[i].text) << c.name;
        EXPECT_EQ(ui.seen()[i + 1].caption, L"The Arkel") << c.name;
    }
    if (c.result == 1) {
        for (const std::wstring &e : after) EXPECT_EQ(e, L"") << c.name << ": edits emptied";
    } else {
        EXPECT_EQ(after, c.editsAfter) << c.name;
        if (c.focusOnFirst) {
            EXPECT_TRUE(focusOnFirst) << c.name;
        }
    }
}

TEST_F(VaultTest, EnterPasswordDialogRefusesOnlyAnEmptyPassword) {
    const std::vector<int> edits = {IDC_PASSWORD_ENTER};
    const DialogCase cases[] = {
        {"empty", {L""}, {{kNoPassword, IDOK}}, 0, {L""}, false},
        {"one character", {L"x"}, {}, 1, {}, false},
    };
    for (const DialogCase &c : cases) {
        UsePassword(L"vorher");
        RunDialogCase(IDD_ENTER_PASSWORD, EnterPasswordDlgProc, edits, c);
        EXPECT_STREQ(objectStore.passwordText, c.result ? c.typed[0] : L"vorher") << c.name;
    }
}

TEST_F(VaultTest, SetPasswordDialogChecksAsATable) {
    const std::vector<int> edits = {IDC_PASSWORD_SET, IDC_PASSWORD_SET_AGAIN};
    const DialogCase cases[] = {
        {"empty", {L"", L""}, {{kNoPassword, IDOK}}, 0, {L"", L""}, false},
        {"mismatch", {L"abcdefgh", L"abcdefgX"}, {{kMismatch, IDOK}}, 0, {L"", L""}, true},
        // Passwords are compared unit for unit, never as the locale's words.
        {"sharp s", {L"Stra\u00dfe12", L"Strasse12"}, {{kMismatch, IDOK}}, 0, {L"", L""}, true},
        {"soft hyphen",
         {L"Pass\u00adwort1", L"Passwort1"},
         {{kMismatch, IDOK}},
         0,
         {L"", L""},
         true},
        {"decomposed",
         {L"Caf\u00e9-2026", L"Cafe\u0301-2026"},
         {{kMismatch, IDOK}},
         0,
         {L"", L""},
         true},
        {"case", {L"Tresor-2026", L"tresor-2026"}, {{kMismatch, IDOK}}, 0, {L"", L""}, true},
        {"7, No",
         {L"1234567", L"1234567"},
         {{kTooShort, IDNO}},
         0,
         {L"1234567", L"1234567"},
         false},
        {"7, Yes", {L"1234567", L"1234567"}, {{kTooShort, IDYES}}, 1, {}, false},
        {"8", {L"12345678", L"12345678"}, {}, 1, {}, false},
        {"3, No", {L"abc", L"abc"}, {{kTooShort, IDNO}}, 0, {L"abc", L"abc"}, false},
    };
    for (const DialogCase &c : cases) {
        UsePassword(L"vorher");
        RunDialogCase(IDD_SET_PASSWORD, SetPasswordDlgProc, edits, c);
        EXPECT_STREQ(objectStore.passwordText, c.result ? c.typed[0] : L"vorher") << c.name;
    }
}

TEST_F(VaultTest, ChangePasswordDialogChecksAsATable) {
    const std::vector<int> edits = {IDC_PASSWORD_OLD, IDC_PASSWORD_NEW, IDC_PASSWORD_NEW_AGAIN};
    const wchar_t *old = L"altes Passwort";
    const DialogCase cases[] = {
        {"wrong old",
         {L"altes passwort", L"neuesPW1", L"neuesPW1"},
         {{kOldWrong, IDOK}},
         0,
         {L"", L"", L""},
         true},
        {"mismatch",
         {old, L"neuesPW1", L"neuesPW2"},
         {{kMismatch, IDOK}},
         0,
         {L"", L"", L""},
         true},
        {"old as another spelling",
         {L"altes Passwort\u00ad", L"neuesPW1", L"neuesPW1"},
         {{kOldWrong, IDOK}},
         0,
         {L"", L"", L""},
         true},
        {"new decomposed",
         {old, L"Caf\u00e9-2026", L"Cafe\u0301-2026"},
         {{kMismatch, IDOK}},
         0,
         {L"", L"", L""},
         true},
        {"empty new", {old, L"", L""}, {{kNoPassword, IDOK}}, 0, {old, L"", L""}, false},
        {"7, No",
         {old, L"1234567", L"1234567"},
         {{kTooShort, IDNO}},
         0,
         {old, L"1234567", L"1234567"},
         false},
        {"7, Yes", {old, L"1234567", L"1234567"}, {{kTooShort, IDYES}}, 1, {}, false},
        {"8", {old, L"neuesPW1", L"neuesPW1"}, {}, 1, {}, false},
    };
    for (const DialogCase &c : cases) {
        UsePassword(old);
        RunDialogCase(IDD_CHANGE_PASSWORD, ChangePasswordDlgProc, edits, c);
        EXPECT_STREQ(objectStore.passwordText, c.result ? c.typed[1] : old) << c.name;
        if (c.result == 1) {
            PasswordKeys keys = KeysOf(c.typed[1]);
            EXPECT_EQ(objectStore.keys.key3, keys.key3) << c.name;
        }
    }
}

TEST_F(VaultTest, PasswordDialogsCarryTheirTitleCaptionButtonsAndMaskedLimitedEdits) {
    struct Case {
        int templateId;
        DLGPROC proc;
        const wchar_t *param;
        const wchar_t *title;
        std::vector<int> edits;
    };
    const Case cases[] = {
        {IDD_ENTER_PASSWORD,
         EnterPasswordDlgProc,
         L"daten.ark",
         L"daten.ark",
         {IDC_PASSWORD_ENTER}},
        {IDD_SET_PASSWORD,
         SetPasswordDlgProc,
         nullptr,
         L"The Arkel",
         {IDC_PASSWORD_SET, IDC_PASSWORD_SET_AGAIN}},
        {IDD_CHANGE_PASSWORD,
         ChangePasswordDlgProc,
         L"daten.ark",
         L"The Arkel",
         {IDC_PASSWORD_OLD, IDC_PASSWORD_NEW, IDC_PASSWORD_NEW_AGAIN}},
    };
    for (const Case &c : cases) {
        UiDriver ui;
        ui.onNextDialog([&](HWND d) {
            EXPECT_EQ(WindowText(d), c.title);
            LONG ex = GetWindowLongW(d, GWL_EXSTYLE);
            EXPECT_TRUE(ex & WS_EX_CAPTIONOKBTN);
            EXPECT_TRUE(ex & WS_EX_CONTEXTHELP);
            for (int id : c.edits) {
                HWND e = GetDlgItem(d, id);
                EXPECT_TRUE(GetWindowLongW(e, GWL_STYLE) & ES_PASSWORD);
                EXPECT_EQ(SendMessageW(e, EM_GETLIMITTEXT, 0, 0), 127);
            }
            // The caption's close button ends the dialog as cancelled.
            PostMessageW(d, WM_CLOSE, 0, 0);
        });
        UsePassword(L"bleibt");
        EXPECT_EQ(ShowDialog(nullptr, c.templateId, c.proc, reinterpret_cast<LPARAM>(c.param)), 0);
        EXPECT_STREQ(objectStore.passwordText, L"bleibt");
    }
}

// ---- The change-password command -------------------------------------------------------------

TEST_F(VaultTest, ChangedPasswordLocksTheStoreAtTheEndOfTheRun) {
    OpenWith(3);
    LockAndClose();
    UiDriver ui;
    ui.onNextDialog(EnterPassword(kPassword));
    Start();
    ui.onNextDialog([](HWND d) {
        SetDlgItemTextW(d, IDC_PASSWORD_OLD, kPassword);
        SetDlgItemTextW(d, IDC_PASSWORD_NEW, L"Neu-Tresor-1");
        SetDlgItemTextW(d, IDC_PASSWORD_NEW_AGAIN, L"Neu-Tresor-1");
        PressButton(d, IDOK);
    });
    MenuCommand(IDM_PASSWORD);
    EXPECT_TRUE(PumpShellUntil([&] { return ui.seen().size() == 2; }));
    EXPECT_EQ(EncryptedRecords(), 0) << "the records stay plain while the program runs";
    lockStore(&objectStore);
    EXPECT_EQ(EncryptedRecords(), 3);

    UsePassword(kPassword);
    EXPECT_EQ(cryptAllObjects(&objectStore, 0), 1) << "the old password no longer opens";
    UsePassword(L"Neu-Tresor-1");
    EXPECT_EQ(cryptAllObjects(&objectStore, 0), 0);
    EXPECT_EQ(EncryptedRecords(), 0);
}

// ---- The preferences dialog ------------------------------------------------------------------

std::wstring Shown(HWND d) {
    return ItemText(d, IDC_PREFS_PERIOD) + L" " + ItemText(d, IDC_PREFS_UNIT);
}

bool Enabled(HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != 0; }

void Spin(HWND d, int delta) {
    NMUPDOWN change{};
    change.hdr.hwndFrom = GetDlgItem(d, IDC_PREFS_SPIN);
    change.hdr.idFrom = IDC_PREFS_SPIN;
    change.hdr.code = UDN_DELTAPOS;
    change.iDelta = delta;
    SendMessageW(d, WM_NOTIFY, IDC_PREFS_SPIN, reinterpret_cast<LPARAM>(&change));
}

void Click(HWND d, int id) { SendMessageW(GetDlgItem(d, id), BM_CLICK, 0, 0); }

TEST_F(VaultTest, PreferencesSpinStepsBothWaysWithTheirUnits) {
    Start();
    UiDriver ui;
    std::vector<std::wstring> down, up;
    std::wstring afterSwitchOn, afterClickUp;
    bool autoQuitChecked = false, controlsOffAfterUncheck = false;
    ui.onNextDialog([&](HWND d) {
        EXPECT_FALSE(Enabled(d, IDC_PREFS_AUTOQUIT)) << "only while encryption is checked";
        EXPECT_FALSE(Enabled(d, IDC_PREFS_SPIN));
        Click(d, IDC_PREFS_ENCRYPT);
        autoQuitChecked = IsDlgButtonChecked(d, IDC_PREFS_AUTOQUIT) == BST_CHECKED &&
                          Enabled(d, IDC_PREFS_AUTOQUIT) && Enabled(d, IDC_PREFS_SPIN) &&
                          Enabled(d, IDC_PREFS_PERIOD);
        afterSwitchOn = Shown(d);
        for (int i = 0; i < 10; ++i) {
            Spin(d, 1);
            down.push_back(Shown(d));
        }
        for (int i = 0; i < 10; ++i) {
            Spin(d, -1);
            up.push_back(Shown(d));
        }
        // A real press on the control's upper arrow is a step up.
        for (int i = 0; i < 10; ++i) Spin(d, 1);
        HWND spin = GetDlgItem(d, IDC_PREFS_SPIN);
        RECT rc;
        GetClientRect(spin, &rc);
        LPARAM top = MAKELPARAM(rc.right / 2, rc.bottom / 4);
        SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, top);
        SendMessageW(spin, WM_LBUTTONUP, 0, top);
        afterClickUp = Shown(d);
        Click(d, IDC_PREFS_ENCRYPT);
        controlsOffAfterUncheck = IsDlgButtonChecked(d, IDC_PREFS_AUTOQUIT) != BST_CHECKED &&
                                  !Enabled(d, IDC_PREFS_AUTOQUIT) && !Enabled(d, IDC_PREFS_SPIN) &&
                                  autoQuitPeriod == 0 && autoQuitActive == 0;
        PressButton(d, IDCANCEL);
    });
    MenuCommand(IDM_PREFERENCES);
    ASSERT_TRUE(PumpShellUntil([&] { return !afterClickUp.empty(); }));
    EXPECT_TRUE(autoQuitChecked);
    EXPECT_EQ(afterSwitchOn, L"1 Minute");
    const std::vector<std::wstring> expectDown = {
        L"55 Sekunden", L"50 Sekunden", L"45 Sekunden", L"40 Sekunden", L"35 Sekunden",
        L"30 Sekunden", L"25 Sekunden", L"20 Sekunden", L"15 Sekunden", L"15 Sekunden"};
    const std::vector<std::wstring> expectUp = {
        L"20 Sekunden", L"25 Sekunden", L"30 Sekunden", L"35 Sekunden", L"40 Sekunden",
        L"45 Sekunden", L"50 Sekunden", L"55 Sekunden", L"1 Minute",    L"2 Minuten"};
    EXPECT_EQ(down, expectDown);
    EXPECT_EQ(up, expectUp);
    EXPECT_EQ(afterClickUp, L"20 Sekunden");
    EXPECT_TRUE(controlsOffAfterUncheck);
    EXPECT_EQ(ui.unexpected(), 0);
}

TEST_F(VaultTest, PreferencesOkAndCancelAsATable) {
    struct Case {
        const char *name;
        DWORD encryptBefore;
        bool clickEncrypt;
        int spinUps;
        int button;
        int setPassword;  // -1: not asked, 0 cancelled, 1 given
        DWORD encryptAfter;
        bool greyed;
        DWORD autoQuitStored;  // registry value after; 0xFFFFFFFF: not written
        DWORD periodAfter;
    };
    const Case cases[] = {
        {"on, password cancelled", 0, true, 1, IDOK, 0, 0, true, 120000, 120000},
        {"on, password given", 0, true, 0, IDOK, 1, 1, false, 60000, 60000},
        {"already on", 1, false, 0, IDOK, -1, 1, false, 0, 0},
        {"switched off", 1, true, 0, IDOK, -1, 0, true, 0, 0},
        {"cancel keeps the period for this run only", 0, true, 2, IDCANCEL, -1, 0, true, 0xFFFFFFFF,
         180000},
    };
    for (const Case &c : cases) {
        ClearSettingsKey();
        settings.SetDwordValue(L"Keyboard", 1);
        Start();
        // A run with encryption on, as after the password at start.
        if (c.encryptBefore) {
            settings.SetEncrypt(1);
            UsePassword(kPassword);
        }
        UiDriver ui;
        ui.onNextDialog([&](HWND d) {
            if (c.clickEncrypt) Click(d, IDC_PREFS_ENCRYPT);
            for (int i = 0; i < c.spinUps; ++i) Spin(d, -1);
            PressButton(d, c.button);
        });
        if (c.setPassword == 0) {
            ui.onNextDialog([](HWND d) { PressButton(d, IDCANCEL); });
            ui.answerMessageBox(IDOK);
        } else if (c.setPassword == 1) {
            ui.onNextDialog([](HWND d) {
                SetDlgItemTextW(d, IDC_PASSWORD_SET, L"Neu-Tresor-1");
                SetDlgItemTextW(d, IDC_PASSWORD_SET_AGAIN, L"Neu-Tresor-1");
                PressButton(d, IDOK);
            });
        }
        const size_t dialogs = c.setPassword == 0 ? 3u : c.setPassword == 1 ? 2u : 1u;
        MenuCommand(IDM_PREFERENCES);
        EXPECT_TRUE(PumpShellUntil([&] {
            return ui.seen().size() == dialogs && !ui.pendingSteps();
        })) << c.name;
        PumpShellFor(100);
        EXPECT_EQ(ui.seen().size(), dialogs) << c.name;
        if (c.setPassword == 0) {
            EXPECT_EQ(ui.seen()[2].text, kNoPasswordGivenText) << c.name;
        }
        EXPECT_EQ(settings.GetEncrypt(), c.encryptAfter) << c.name;
        EXPECT_EQ(MenuGreyed(IDM_PASSWORD), c.greyed) << c.name;
        DWORD stored = 0;
        if (!settings.GetDwordValue(L"AutoQuit", &stored)) stored = 0xFFFFFFFF;
        EXPECT_EQ(stored, c.autoQuitStored) << c.name;
        EXPECT_EQ(autoQuitPeriod, c.periodAfter) << c.name;
        DWORD keyboard = 7;
        settings.GetDwordValue(L"Keyboard", &keyboard);
        EXPECT_EQ(keyboard, c.button == IDOK ? 0u : 1u) << c.name << ": OK writes Keyboard 0";
        ResetShell();
        ResetGlobalStores();
    }
}

}  // namespace
