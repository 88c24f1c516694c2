// Import: an exchange file in either variant into the store, with the categories and titles its
// objects use. The file is checked whole before anything changes; the deletion of the existing
// data and the new objects are one batch of the store volume, so a failure on the way leaves the
// stores as they were.
#include "exchange/import.h"

#include <bcrypt.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "app/common_dialogs.h"
#include "app/dialog_kit.h"
#include "app/progress_dialog.h"
#include "app/shell.h"
#include "dialogs/password_dialogs.h"
#include "crypto/wipe.h"
#include "exchange/exchange_file.h"
#include "exchange/test_seam.h"
#include "resources/resource.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"

namespace {

const WCHAR kImportedOne[] = L"1 Objekt wurde aus der Datei \"%s\" importiert.";
const WCHAR kImportedMany[] = L"%d Objekte wurden aus der Datei \"%s\" importiert.";
const WCHAR kCancelled[] = L"Importieren abgebrochen.";
const WCHAR kWrongPassword[] = L"Das Passwort ist falsch. Bitte geben Sie es nochmals ein!";
const WCHAR kBadFormat[] =
    L"Diese Datei kann nicht importiert werden, da sie das falsche Format hat.";
const WCHAR kDeleteQuestion[] =
    L"Sollen die vorhandenen Daten vor dem Importieren der neuen Daten gel\u00f6scht werden?";
const WCHAR kCannotOpen[] = L"Die Datei \"%s\" konnte nicht ge\u00f6ffnet werden.";
const WCHAR kCannotRead[] =
    L"Die Datei \"%s\" konnte nicht vollst\u00e4ndig gelesen werden. Es wurde nichts importiert, "
    L"die vorhandenen Daten sind unver\u00e4ndert.";
const WCHAR kTooMany[] =
    L"Die Datei \"%s\" enth\u00e4lt mehr Objekte, als die Datenbank aufnehmen kann. Es wurde "
    L"nichts importiert.";
const WCHAR kNoObjects[] =
    L"Die Datei \"%s\" enth\u00e4lt keine vollst\u00e4ndige Zeile eines Objekts. Es wurde nichts "
    L"importiert, die vorhandenen Daten sind unver\u00e4ndert.";
const WCHAR kTrailingBytes[] =
    L"Die Datei \"%s\" endet mit Zeichen nach der letzten vollst\u00e4ndigen Zeile. Diese "
    L"Zeichen werden nicht importiert. Trotzdem importieren?";
const WCHAR kFieldLoss[] =
    L"Die Datei \"%s\" enth\u00e4lt %lu Zeile(n) mit Feldern, die nicht vollst\u00e4ndig "
    L"importiert werden k\u00f6nnen (zuerst Zeile %lu, Spalte %lu: %s). Trotzdem importieren?";
const WCHAR *LossText(FieldLoss loss) {
    switch (loss) {
    case FieldLoss::nulByte: return L"ein Nullzeichen, was ihm folgt, fehlt";
    case FieldLoss::loneDigit: return L"eine ungerade Zahl von Hexziffern, die letzte fehlt";
    case FieldLoss::notHexDigit: return L"ein Zeichen, das keine Hexziffer ist";
    case FieldLoss::none: break;
    }
    return L"";
}
const WCHAR kChanged[] =
    L"Die Datei \"%s\" wurde w\u00e4hrend des Importierens ver\u00e4ndert. Es wurde nichts "
    L"importiert, die vorhandenen Daten sind unver\u00e4ndert.";
const WCHAR kCannotStore[] =
    L"Die Daten aus \"%s\" konnten nicht gespeichert werden. Es wurde nichts importiert, die "
    L"vorhandenen Daten sind unver\u00e4ndert.";

// A SHA-256 digest of the bytes a pass read. The check and the import each take one over the
// file's body: the import commits only when it read exactly what the check read, so a file
// replaced or rewritten between the two passes cannot slip past the check.
class Digest {
public:
    Digest() {
        if (BCryptOpenAlgorithmProvider(&alg_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
            BCryptCreateHash(alg_, &hash_, nullptr, 0, nullptr, 0, 0) != 0)
            hash_ = nullptr;
    }
    ~Digest() {
        if (hash_) BCryptDestroyHash(hash_);
        if (alg_) BCryptCloseAlgorithmProvider(alg_, 0);
    }
    Digest(const Digest &) = delete;
    Digest &operator=(const Digest &) = delete;
    void add(const BYTE *data, DWORD n) {
        if (hash_ && n && BCryptHashData(hash_, const_cast<PUCHAR>(data), n, 0) != 0) {
            BCryptDestroyHash(hash_);
            hash_ = nullptr;
        }
    }
    // The digest; false when it could not be taken (then nothing counts as the same).
    bool finish(std::array<BYTE, 32> &out) {
        return hash_ && BCryptFinishHash(hash_, out.data(), 32, 0) == 0;
    }

private:
    BCRYPT_ALG_HANDLE alg_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

// The file being read, through a buffer; the bytes come out one at a time.
struct ImportFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::vector<BYTE> buffer = std::vector<BYTE>(64 * 1024);
    DWORD position = 0, filled = 0;
    bool failed = false;
    Digest *digest = nullptr;  // takes every byte read while set

    ~ImportFile() {
        secureWipe(buffer.data(), buffer.size());
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    // The next byte; false at the end of the file or when a read fails (failed tells).
    bool next(BYTE *b) {
        if (position == filled) {
            position = filled = 0;
            if (!ImportReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &filled,
                                nullptr)) {
                failed = true;
                filled = 0;
            }
            if (filled == 0) return false;
            if (digest) digest->add(buffer.data(), filled);
        }
        *b = buffer[position++];
        return true;
    }
    void seek(DWORD offset) {
        position = filled = 0;
        if (SetFilePointer(handle, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER)
            failed = true;
    }
};

// The raw bytes of the next field (LF skipped, TAB or CR ends it). False when the file ends first
// or a read fails.
bool ReadRawField(ImportFile &file, FieldReader &reader) {
    reader.clear();
    BYTE b;
    while (file.next(&b))
        if (reader.addByte(b)) return true;
    return false;
}

// Reads the next line's fields and stores their texts, unescaped or decrypted with the keys, in
// dest (256 units each). False when the file ends first or a read fails.
bool ReadLine(ImportFile &file, std::array<FieldReader, kColumnCount> &readers,
              WCHAR (&dest)[kColumnCount][256], bool encrypted, const PasswordKeys &keys) {
    for (FieldReader &reader : readers)
        if (!ReadRawField(file, reader)) return false;
    std::vector<ByteString> texts;
    if (encrypted) {
        // All fields of the line in one run of the cipher.
        std::array<std::span<const std::uint8_t>, kColumnCount> raw;
        for (size_t c = 0; c < kColumnCount; ++c) raw[c] = readers[c].field();
        texts = decryptFields(raw, keys);
    } else {
        for (const FieldReader &reader : readers)
            texts.push_back(decodeField(reader.field(), false, keys));
    }
    for (size_t c = 0; c < kColumnCount; ++c) {
        ByteString &text = texts[c];
        int n = text.empty()
                    ? 0
                    : MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char *>(text.data()),
                                          static_cast<int>(text.size()), dest[c], 255);
        dest[c][n > 0 ? n : 0] = 0;
        secureWipe(text.data(), text.size());
    }
    return true;
}

void SetKilobyteText(HWND progress, unsigned long long done, unsigned long long total) {
    if (!progress) return;
    WCHAR text[64];
    wsprintfW(text, L"%lu von %lu KB", static_cast<unsigned long>(done),
              static_cast<unsigned long>(total));
    HWND item = GetDlgItem(progress, IDC_PROGRESS_TEXT);
    SetWindowTextW(item, text);
    UpdateWindow(item);
}

// The lines whose fields the import would not take whole, and the first of them.
struct LossReport {
    unsigned long lines = 0;
    unsigned long firstLine = 0, firstColumn = 0;  // 1-based, lines of the file
    FieldLoss first = FieldLoss::none;
};

// The check pass over the record lines from the current position. Returns the number of complete
// lines, -1 for a bad format, -2 when a read failed. *tail receives the number of bytes after the
// last CR that are not LF: they form no line and the import leaves them out. *losses tells the
// lines with a field that the import would shorten or change (encrypted fields are decrypted
// with the keys to find them).
long long CheckLines(ImportFile &file, bool encrypted, unsigned long long offset,
                     unsigned long long sizeKB, unsigned long long *tail, const PasswordKeys &keys,
                     LossReport *losses) {
    *tail = 0;
    *losses = LossReport{};
    FieldReader reader;
    std::array<ByteString, kColumnCount> line;
    std::size_t column = 0;
    unsigned long fileLine = encrypted ? 3 : 1;  // the marker and the check field come first
    HWND progress = OpenProgressWindow(L"Daten pr\u00fcfen", static_cast<int>(sizeKB));
    ExchangeChecker checker(encrypted);
    long long result = 0;
    // About a hundred updates of the window: one per kilobyte cost more than the check itself.
    const unsigned long long step = std::max<unsigned long long>(sizeKB / 100, 1) * 1024;
    BYTE b;
    while (file.next(&b)) {
        if (++offset % step == 0) {
            SetKilobyteText(progress, offset / 1024, sizeKB);
            SetProgressPosition(progress, static_cast<int>(offset / 1024));
        }
        if (!checker.addByte(b)) {
            result = -1;
            break;
        }
        if (reader.addByte(b)) {
            if (column < kColumnCount)
                line[column].assign(reader.field().begin(), reader.field().end());
            ++column;
            if (reader.endedLine()) {
                if (column == kColumnCount) {
                    std::array<std::span<const std::uint8_t>, kColumnCount> spans;
                    for (size_t c = 0; c < kColumnCount; ++c) spans[c] = line[c];
                    FieldLoss loss;
                    if (const std::size_t at = lineLoss(spans, encrypted, keys, &loss)) {
                        if (!losses->lines++) {
                            losses->firstLine = fileLine;
                            losses->firstColumn = static_cast<unsigned long>(at);
                            losses->first = loss;
                        }
                    }
                }
                ++fileLine;
                column = 0;
            }
            reader.clear();
        }
        if (b == '\r')
            *tail = 0;
        else if (b != '\n')
            ++*tail;
    }
    if (result == 0) result = file.failed ? -2 : static_cast<long long>(checker.lines());
    SecureZeroMemory(&reader, sizeof reader);
    CloseProgressWindow(progress);
    return result;
}

// Deletes every record of the five databases. False when one could not be deleted.
bool DeleteExistingData(ObjectStore &store) {
    // The object database last: once it holds the only records left, the layer frees its
    // pages whole.
    PropertyDatabase *databases[5] = {&categoryStore, &titleList1, &titleList2, &titleList3,
                                      &store};
    HWND progress = OpenProgressWindow(L"Vorhandene Daten l\u00f6schen...", 5);
    bool ok = true;
    for (int n = 0; n < 5 && ok; ++n) {
        SetProgressPosition(progress, n + 1);
        // One step per database: deleting the records one by one costs a step each.
        ok = CeDeleteAllRecords(databases[n]->hDatabase) != FALSE;
    }
    CloseProgressWindow(progress);
    return ok;
}

enum class Failure { none, read, store, changed };

Failure ImportLines(ObjectStore &store, ImportFile &file, bool encrypted, int lines,
                    const std::array<BYTE, 32> &checked) {
    HWND progress = OpenProgressWindow(
        encrypted ? L"Daten verschl\u00fcsselt importieren" : L"Daten importieren", lines);
    const int step = std::max(lines / 24, 1);
    Digest digest;
    file.digest = &digest;
    file.seek(encrypted ? static_cast<DWORD>(kEncryptedBodyOffset) : 0);
    Failure failure = file.failed ? Failure::read : Failure::none;
    // Field 1 title, value, field 2 title, value, field 3 title, value, category, flag.
    WCHAR f[kColumnCount][256];
    // The names of the previous line: a name met again is in its list already, and adding it
    // again would only search the list once more.
    WCHAR previous[4][256] = {};
    const Column named[4] = {colCategory, colTitle1, colTitle2, colTitle3};
    NameList *lists[4] = {&categoryStore, &titleList1, &titleList2, &titleList3};
    ObjectRecord object;
    // The store's keys stay the same through the import.
    const PasswordKeys &keys = StoreKeys(store);
    std::array<FieldReader, kColumnCount> readers;
    for (int i = 0; i < lines && failure == Failure::none; ++i) {
        if (!ReadLine(file, readers, f, encrypted, keys)) {
            failure = Failure::read;
            break;
        }
        const short flag = f[colFlag][0] == L'1' ? 1 : 0;
        for (int n = 0; n < 4; ++n) {
            const WCHAR *name = f[named[n]];
            if (!name[0] || lstrcmpW(name, previous[n]) == 0) continue;
            lstrcpyW(previous[n], name);
            lists[n]->addName(name);
            // A category that the import creates takes its titles and flag from the first line
            // that names it; writeCategory does nothing for one that existed.
            if (n == 0)
                categoryStore.writeCategory(name, f[colTitle1], f[colTitle2], f[colTitle3], flag);
        }
        lstrcpyW(object.field1, f[colValue1]);
        lstrcpyW(object.field2, f[colValue2]);
        lstrcpyW(object.field3, f[colValue3]);
        lstrcpyW(object.category, f[colCategory]);
        object.encrypt = flag;
        lstrcpyW(object.title1, f[colTitle1]);
        lstrcpyW(object.title2, f[colTitle2]);
        lstrcpyW(object.title3, f[colTitle3]);
        if (!store.addObject(object)) failure = Failure::store;
        if (i % step == 0) {
            SetProgressText(progress, i, lines);
            SetProgressPosition(progress, i + 1);
        }
    }
    if (failure == Failure::none) {
        // The rest of the file (what the check saw after the last line) completes the digest.
        BYTE b;
        while (file.next(&b)) {
        }
        std::array<BYTE, 32> read{};
        if (file.failed)
            failure = Failure::read;
        else if (!digest.finish(read) || read != checked)
            failure = Failure::changed;
    }
    file.digest = nullptr;
    SecureZeroMemory(&readers, sizeof readers);
    SecureZeroMemory(f, sizeof f);
    SecureZeroMemory(previous, sizeof previous);
    SecureZeroMemory(&object, sizeof object);
    if (failure == Failure::none) {
        SetProgressText(progress, lines, lines);
        SetProgressPosition(progress, lines + 1);
    }
    CloseProgressWindow(progress);
    return failure;
}

int ImportFrom(ObjectStore &store, HWND owner) {
    WCHAR path[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kExchangeFilter;
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = L"Daten importieren";
    ofn.lpstrDefExt = L"txt";
    if (!RunFileDialog(ofn, false)) return 0;
    const WCHAR *shortName = ShortFileName(path);

    ImportFile file;
    file.handle =
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) {
        ExchangeMessage(owner, kCannotOpen, shortName);
        return -1;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file.handle, &size);
    const unsigned long long sizeKB = static_cast<unsigned long long>(size.QuadPart) / 1024;

    // The marker line decides the variant; the extension plays no part.
    BYTE head[kEncryptedMarker.size()];
    size_t got = 0;
    while (got < sizeof head && file.next(&head[got])) ++got;
    const bool encrypted = hasEncryptedMarker(std::span<const BYTE>(head, got));
    // The marker ended by LF alone is neither variant: read as a plain file it would pass the
    // check with its lines run together or none at all.
    constexpr std::string_view kMarkerLf = "encrypted\n";
    if (!encrypted && got >= kMarkerLf.size() &&
        std::equal(kMarkerLf.begin(), kMarkerLf.end(), head)) {
        MessageBoxW(owner, kBadFormat, shortName, MB_ICONHAND);
        return -1;
    }

    SavedPassword saved(store, encrypted);
    if (encrypted) {
        FieldReader check;
        for (;;) {
            file.seek(static_cast<DWORD>(kEncryptedMarker.size()));
            if (ShowDialog(nullptr, IDD_ENTER_PASSWORD, EnterPasswordDlgProc,
                           reinterpret_cast<LPARAM>(shortName)) != 1) {
                MessageBoxW(owner, kCancelled, kAppTitle, MB_ICONHAND);
                return -1;
            }
            if (!ReadRawField(file, check)) {
                // A file that ends inside its check field is no exchange file.
                if (file.failed)
                    ExchangeMessage(owner, kCannotRead, shortName);
                else
                    MessageBoxW(owner, kBadFormat, shortName, MB_ICONHAND);
                return -1;
            }
            if (markerCheckMatches(check.field(), StoreKeys(store))) break;
            MessageBoxW(owner, kWrongPassword, kAppTitle, MB_SETFOREGROUND | MB_ICONHAND);
        }
    }
    const unsigned long long start = encrypted ? kEncryptedBodyOffset : 0;
    Digest checkDigest;
    file.digest = &checkDigest;
    file.seek(static_cast<DWORD>(start));
    unsigned long long tail = 0;
    LossReport losses;
    const long long lines =
        CheckLines(file, encrypted, start, sizeKB, &tail, StoreKeys(store), &losses);
    file.digest = nullptr;
    std::array<BYTE, 32> checked{};
    if (lines >= 0 && !checkDigest.finish(checked)) {
        ExchangeMessage(owner, kCannotRead, shortName);
        return -1;
    }
    if (lines == -2) {
        ExchangeMessage(owner, kCannotRead, shortName);
        return -1;
    }
    if (lines < 0) {
        MessageBoxW(owner, kBadFormat, shortName, MB_ICONHAND);
        return -1;
    }
    if (lines > CEDB_MAXRECORDS) {
        ExchangeMessage(owner, kTooMany, shortName);
        return -1;
    }
    // A file without one complete line (LF line ends only, say) would otherwise still offer to
    // delete the existing data and then import nothing.
    if (lines == 0) {
        ExchangeMessage(owner, kNoObjects, shortName);
        return -1;
    }
    if (losses.lines > 0) {
        WCHAR text[1024];
        wsprintfW(text, kFieldLoss, shortName, losses.lines, losses.firstLine, losses.firstColumn,
                  LossText(losses.first));
        if (MessageBoxW(owner, text, kAppTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
            IDYES) {
            MessageBoxW(owner, kCancelled, kAppTitle, MB_ICONHAND);
            return -1;
        }
    }
    if (tail > 0) {
        WCHAR text[1024];
        wsprintfW(text, kTrailingBytes, shortName);
        if (MessageBoxW(owner, text, kAppTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) !=
            IDYES) {
            MessageBoxW(owner, kCancelled, kAppTitle, MB_ICONHAND);
            return -1;
        }
    }

    const int answer = MessageBoxW(owner, kDeleteQuestion, shortName,
                                   MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDCANCEL) {
        MessageBoxW(owner, kCancelled, kAppTitle, MB_ICONHAND);
        return -1;
    }

    // The deletion and the new objects: one unit of work.
    if (!CeBeginBatch()) {
        ExchangeMessage(owner, kCannotStore, shortName);
        return -1;
    }
    Failure failure = Failure::none;
    if (answer == IDYES && !DeleteExistingData(store)) failure = Failure::store;
    if (failure == Failure::none)
        failure = ImportLines(store, file, encrypted, static_cast<int>(lines), checked);
    if (failure == Failure::none && !CeCommitBatch())
        failure = Failure::store;
    else if (failure != Failure::none)
        CeRollbackBatch();
    if (failure == Failure::none) {
        ReportObjectCount(owner, kImportedOne, kImportedMany, static_cast<int>(lines), shortName);
        return 0;
    }

    // Nothing of the batch is left: forget the records it made.
    store.currentRecord = 0;
    for (NameList *list :
         {static_cast<NameList *>(&categoryStore), static_cast<NameList *>(&titleList1),
          static_cast<NameList *>(&titleList2), static_cast<NameList *>(&titleList3)})
        list->lastResult = 0;
    ExchangeMessage(owner,
                    failure == Failure::read      ? kCannotRead
                    : failure == Failure::changed ? kChanged
                                                  : kCannotStore,
                    shortName);
    return -1;
}

}  // namespace

int importData(ObjectStore &store, HWND owner) {
    StopIdleTimers();
    int result = ImportFrom(store, owner);
    StartIdleTimers();
    return result;
}
