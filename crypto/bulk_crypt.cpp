#include "crypto/bulk_crypt.h"

#include <algorithm>
#include <span>
#include <string>

#include "crypto/encrypted_record.h"
#include "crypto/password_key.h"
#include "crypto/record_blob.h"
#include "crypto/wipe.h"
#include "prefs/settings.h"
#include "store/legacy_conversion.h"
#include "store/object_store.h"
#include "store/pass_host.h"

const WCHAR kDecryptFailed[] =
    L"Ein Fehler ist beim Entschluesseln der Daten aufgetreten. M\u00f6glicherweise sind nicht "
    L"alle Daten entschl\u00fcsselt.";
const WCHAR kWrongPassword[] = L"Das Passwort ist falsch. Bitte geben Sie es nochmals ein!";
const WCHAR kNoPasswordGiven[] =
    L"Sie haben kein Passwort eingegeben. Daher wird die Verschl\u00fcsselung deaktivert.";

namespace {

const WCHAR kNoEncryptedData[] =
    L"Es waren keine verschl\u00fcsselten Daten vorhanden. Bitte geben Sie das Passwort eneut "
    L"ein!";
const WCHAR kEncryptFailed[] =
    L"Ein Fehler ist beim Verschluesseln der Daten aufgetreten. M\u00f6glicherweise sind nicht "
    L"alle Daten verschl\u00fcsselt.";
// After an opening pass that left records alone; the names follow, one per line.
const WCHAR kDamagedOne[] =
    L"Ein Objekt konnte mit diesem Passwort nicht entschl\u00fcsselt werden. Es bleibt "
    L"unver\u00e4ndert verschl\u00fcsselt gespeichert:";
const WCHAR kDamagedMany[] =
    L"%d Objekte konnten mit diesem Passwort nicht entschl\u00fcsselt werden. Sie bleiben "
    L"unver\u00e4ndert verschl\u00fcsselt gespeichert:";
const WCHAR kDamagedMore[] = L"\n... und %d weitere";
const WCHAR kDamagedNoName[] = L"(Name nicht lesbar)";

void message(const WCHAR *text, UINT flags) { CurrentPassHost().Message(text, flags); }

// Everything a pass holds that came from a record or the keys is wiped when the pass ends, on
// every way out.
struct PassState {
    ObjectStore *store;
    CryptRecord work;
    BYTE *buffer = nullptr;
    DWORD size = 0;
    HWND progress = nullptr;
    explicit PassState(ObjectStore *s) : store(s) {}
    ~PassState() {
        CurrentPassHost().CloseProgress(progress);
        if (buffer) {
            secureWipe(buffer, size);
            LocalFree(buffer);
        }
        secureWipe(&work, sizeof work);
        secureWipe(store->blobs, sizeof store->blobs);
        secureWipe(&store->verifier, sizeof store->verifier);
    }
    PassState(const PassState &) = delete;
    PassState &operator=(const PassState &) = delete;
};

// A pass writes its records in batches of the layer: each batch reaches the file at once, which
// is many times faster than one transaction per record, and a pass killed part-way still leaves
// every record either in its old or in its new form, so the next start completes the work. A
// failed write takes back only itself; what the pass wrote before it stays.
class PassBatch {
public:
    static constexpr int kRecords = 1000;
    PassBatch() : open_(CeBeginBatch() != FALSE) {}
    ~PassBatch() {
        if (open_) CeCommitBatch();
    }
    PassBatch(const PassBatch &) = delete;
    PassBatch &operator=(const PassBatch &) = delete;
    // After each written record: commits a full batch and begins the next. false when the commit
    // failed (the batch's records keep their old form).
    bool wrote() {
        if (!open_ || ++pending_ < kRecords) return true;
        if (!finish()) return false;
        open_ = CeBeginBatch() != FALSE;
        return true;
    }
    // Commits what is pending; false when that failed.
    bool finish() {
        pending_ = 0;
        if (!open_) return true;
        open_ = false;
        return CeCommitBatch() != FALSE;
    }

private:
    bool open_;
    int pending_ = 0;
};

}  // namespace

namespace {

// Reads the record at the handle's position into the pass's working set; its id, 0 on failure.
CEOID loadNext(PassState &pass) {
    WORD count = 0;
    CEOID id = CeReadRecordProps(pass.store->hDatabase, CEDB_ALLOWREALLOC, &count, nullptr,
                                 &pass.buffer, &pass.size);
    if (!id) return 0;
    pass.store->currentRecord = id;
    LoadCryptRecord(pass.store, &pass.work, reinterpret_cast<CEPROPVAL *>(pass.buffer), count);
    return id;
}

// Before a decryption writes anything: 1 when some record's verifier matches the store's keys (the
// password is right), 0 when records carry verifiers but none matches (wrong), 2 when no record
// carries one (nothing encrypted to judge by), -1 when a record could not be read. Only records
// are read; with the right password this ends at the first sound verifier.
int judgePassword(PassState &pass, int n) {
    const PasswordKeys &keys = pass.store->keys;
    bool anyVerifier = false;
    CeSeekDatabase(pass.store->hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
    for (int i = 0; i < n; ++i) {
        if (!loadNext(pass)) return -1;
        const VerifierSlot &v = pass.store->verifier;
        if (v.length == 0) continue;
        anyVerifier = true;
        if (testVerifier(std::span<const std::uint8_t>(v.data, v.length), keys)) return 1;
    }
    return anyVerifier ? 0 : 2;
}

// The records a decryption left alone, for the message after the pass: how many, and the names
// of the first few.
struct Damaged {
    static constexpr int kNamed = 10;
    int count = 0;
    std::wstring names;
    ~Damaged() { secureWipe(names.data(), names.size() * sizeof(WCHAR)); }

    // Field 1 of the loaded record, decrypted for the message only (never written), when it reads
    // as a name: printable text that Windows-1252 holds. A foreign key gives other text.
    void add(ObjectStore *store) {
        if (count++ >= kNamed) return;
        std::u16string name = DecryptedField1(store);
        bool readable = !name.empty();
        for (char16_t c : name) readable = readable && c >= 0x20;
        if (readable) {
            BOOL lost = FALSE;
            readable = WideCharToMultiByte(
                           1252, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const WCHAR *>(name.data()),
                           static_cast<int>(name.size()), nullptr, 0, nullptr, &lost) > 0 &&
                       !lost;
        }
        names += L"\n- ";
        names += readable ? std::wstring(name.begin(), name.end()) : kDamagedNoName;
        secureWipe(name.data(), name.size() * sizeof(char16_t));
    }

    void report() const {
        if (count == 0) return;
        WCHAR line[256];
        if (count == 1)
            lstrcpynW(line, kDamagedOne, 256);
        else
            wsprintfW(line, kDamagedMany, count);
        std::wstring text = line + names;
        if (count > kNamed) {
            wsprintfW(line, kDamagedMore, count - kNamed);
            text += line;
        }
        message(text.c_str(), MB_SETFOREGROUND | MB_ICONEXCLAMATION);
        secureWipe(text.data(), text.size() * sizeof(WCHAR));
    }
};

}  // namespace

int cryptAllObjects(ObjectStore *store, int mode) {
    const int n = std::max(store->recordCount(), 0);
    int written = 0;
    Damaged damaged;
    {
        PassState pass(store);
        if (n > 0 && mode == 0) {
            const int judged = judgePassword(pass, n);
            if (judged < 0) return -1;
            if (judged == 0) return 1;
        }
        if (n > 0) {
            WCHAR caption[64];
            wsprintfW(
                caption,
                mode == 1 ? L"%d Objekte verschl\u00fcsseln" : L"%d Objekte entschl\u00fcsseln", n);
            pass.progress = CurrentPassHost().OpenProgress(caption, n);
            const int step = std::max(n / 24, 1);
            PassBatch batch;
            CeSeekDatabase(store->hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
            for (int i = 0; i < n; ++i) {
                const CEOID id = loadNext(pass);
                if (!id) return -1;
                if (mode == 1) {
                    EncryptRecord(store, &pass.work);
                } else if (DecryptRecord(store, &pass.work) < 0) {
                    // The password is right for the store (judged above); this record is not
                    // under it. It stays exactly as it is.
                    damaged.add(store);
                    pass.work.count = 0;
                }
                if (pass.work.count) {
                    ++written;
                    if (!CeWriteRecordProps(store->hDatabase, id, pass.work.count, pass.work.list))
                        return -1;
                    if (!batch.wrote()) return -1;
                }
                if (i % step == 0) {
                    CurrentPassHost().ProgressText(pass.progress, i, n);
                    CurrentPassHost().ProgressPosition(pass.progress, i + 1);
                }
            }
            if (!batch.finish()) return -1;
            CurrentPassHost().ProgressText(pass.progress, n, n);
            CurrentPassHost().ProgressPosition(pass.progress, n);
        }
    }
    damaged.report();
    if (mode == 0 && written == 0) {
        // Nothing was encrypted: the password just given protects nothing yet; ask for the one
        // the store is to be encrypted with.
        message(kNoEncryptedData, MB_SETFOREGROUND | MB_ICONHAND);
        if (!CurrentPassHost().AskNewPassword()) {
            message(kNoPasswordGiven, MB_ICONINFORMATION);
            settings.SetEncrypt(0);
        }
    }
    return 0;
}

int unlockStore(ObjectStore *store, bool created) {
    // The run's encryption state starts as the registry says (a missing value is off); from here
    // on it lives in memory (encryptActive).
    encryptActive = settings.GetEncrypt();
    if (store->recordCount() == 0 && encryptActive) {
        message(kNoEncryptedData, MB_SETFOREGROUND | MB_ICONHAND);
        settings.SetEncrypt(0);
    }
    if (created) convertLegacyObjects(store);
    if (!encryptActive) return 0;

    if (!CurrentPassHost().AskPassword()) {
        store->clearKeyMaterial();
        return 1;
    }
    for (;;) {
        int result = cryptAllObjects(store, 0);
        // The change-password command is for a running vault only: a pass that found nothing to
        // decrypt may have switched encryption off.
        CurrentPassHost().EnablePasswordCommand(result == 0 && encryptActive);
        if (result == 0) return 0;
        if (result == -1) {
            message(kDecryptFailed, MB_SETFOREGROUND | MB_ICONHAND);
            return 0;
        }
        message(kWrongPassword, MB_SETFOREGROUND | MB_ICONHAND);
        if (!CurrentPassHost().AskPassword()) {
            store->clearKeyMaterial();
            return 1;
        }
    }
}

void lockStore(ObjectStore *store) {
    // Only keys that a password gave in this run may lock the records. Without one (encryption
    // switched on behind the program's back) the keys are all zero, keys that no accepted
    // password makes: records locked under them could never be opened. They stay plain instead.
    // Whether to encrypt is the run's own state, never a new read of the registry, which may
    // fail by now.
    if (encryptActive && store->passwordText[0] != 0) {
        if (cryptAllObjects(store, 1) != 0) message(kEncryptFailed, MB_SETFOREGROUND | MB_ICONHAND);
    }
    store->clearKeyMaterial();
}
