// Export: every object of the store to an exchange file, encrypted under a password chosen for
// the file (".ark") or plain (".txt"). The bytes come from the exchange codec, as arkfile's do.
#include "exchange/export.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "app/common_dialogs.h"
#include "app/dialog_kit.h"
#include "app/progress_dialog.h"
#include "app/shell.h"
#include "dialogs/password_dialogs.h"
#include "crypto/wipe.h"
#include "exchange/exchange_file.h"
#include "resources/resource.h"
#include "store/object_store.h"

namespace {

const WCHAR kNoPassword[] =
    L"Ohne Passwort k\u00f6nnen die Daten nicht verschl\u00fcsselt exportiert werden.\nW\u00e4hlen "
    L"Sie .txt oder geben Sie ein Passwort an.";
const WCHAR kAskPlain[] =
    L"Alle Objekte unverschl\u00fcsselt in die Datei \"%s\" schreiben?\nJeder, der die Datei "
    L"lesen kann, sieht dann auch alle Passw\u00f6rter.";
const WCHAR kExportedOne[] = L"1 Objekt wurde in die Datei \"%s\" exportiert.";
const WCHAR kExportedMany[] = L"%d Objekte wurden in die Datei \"%s\" exportiert.";
const WCHAR kCannotCreate[] =
    L"Die Datei \"%s\" konnte nicht angelegt werden. Es wurden keine Daten exportiert.";
const WCHAR kCannotWrite[] =
    L"Die Datei \"%s\" konnte nicht geschrieben werden. Es wurden keine Daten exportiert.";
const WCHAR kCannotRead[] =
    L"Die Objekte konnten nicht gelesen werden. Es wurden keine Daten in die Datei \"%s\" "
    L"exportiert.";

const WCHAR kLossyQuestion[] =
    L"Einige Zeichen k\u00f6nnen in der Datei nicht genau gespeichert werden (nur Zeichen aus "
    L"Windows-1252) und w\u00fcrden durch \"?\" oder \u00e4hnliche Zeichen ersetzt:";
const WCHAR kLossyMore[] = L"\n... und %d weitere Objekte";
const WCHAR kLossyGoOn[] = L"\n\nTrotzdem exportieren?";
// The columns' names in the question, in the order of a line's texts.
const WCHAR *const kColumnNames[kColumnCount - 1] = {L"Titel 1", L"Feld 1", L"Titel 2",  L"Feld 2",
                                                     L"Titel 3", L"Feld 3", L"Kategorie"};

constexpr size_t kFlushSize = 64 * 1024;

// The objects whose texts the file cannot hold exactly: how many, and the first few by name with
// the columns concerned.
struct Lossy {
    static constexpr int kNamed = 8;
    int count = 0;
    std::wstring names;
    ~Lossy() { secureWipe(names.data(), names.size() * sizeof(WCHAR)); }
};

// The file being written: bytes are collected and written in large pieces. The buffer never
// grows past its first size, so no copy of its plain text is left behind in freed memory.
struct ExportFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ByteString buffer;
    bool failed = false;

    ExportFile() { buffer.reserve(2 * kFlushSize); }
    ~ExportFile() {
        secureWipe(buffer.data(), buffer.capacity());
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    bool flush() {
        if (!failed && !buffer.empty()) {
            DWORD written = 0;
            failed = !WriteFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &written,
                                nullptr) ||
                     written != buffer.size();
        }
        secureWipe(buffer.data(), buffer.size());
        buffer.clear();
        return !failed;
    }
};

// The ANSI form of a stored text, at most 255 bytes: the exchange file's field limit. Returns
// false when the code page cannot hold the text exactly (a character becomes "?" or a look-alike).
bool ToAnsi(const WCHAR *text, ByteString &out) {
    char buffer[1024];
    BOOL lost = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, buffer, sizeof buffer,
                                nullptr, &lost);
    // Such a text is written as it always was, with the code page's look-alikes.
    if (lost) n = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    size_t length = n > 0 ? static_cast<size_t>(n - 1) : 0;
    length = std::min(length, kFieldTextMax);
    out.assign(buffer, buffer + length);
    SecureZeroMemory(buffer, sizeof buffer);
    return !lost;
}

// The eight columns of one stored record.
void RecordLine(const CEPROPVAL *props, WORD count, TextLine &line, Lossy &lossy) {
    ObjectRecord object;
    ReadObjectRecord(props, count, &object);
    const WCHAR *texts[kColumnCount - 1] = {object.title1,  object.field1, object.title2,
                                            object.field2,  object.title3, object.field3,
                                            object.category};
    std::wstring columns;
    for (size_t c = 0; c + 1 < kColumnCount; ++c) {
        if (ToAnsi(texts[c], line[c])) continue;
        columns += columns.empty() ? L"" : L", ";
        columns += kColumnNames[c];
    }
    if (!columns.empty() && lossy.count++ < Lossy::kNamed)
        lossy.names += L"\n- " + std::wstring(object.field1) + L" (" + columns + L")";
    // A title stored empty is written as the default title of its field.
    const Column titles[3] = {colTitle1, colTitle2, colTitle3};
    for (int n = 0; n < 3; ++n) {
        if (line[titles[n]].empty()) {
            auto title = asBytes(kDefaultTitles[n]);
            line[titles[n]].assign(title.begin(), title.end());
        }
    }
    char number[16];
    int digits = wsprintfA(number, "%d", object.encrypt);
    line[colFlag].assign(number, number + digits);
    SecureZeroMemory(&object, sizeof object);
}

enum class Failure { none, create, write, read };

// Writes the records to a new private file beside the target; the caller renames it.
Failure WriteRecords(ObjectStore &store, const WCHAR *tempPath, bool encrypted, int count,
                     Lossy &lossy) {
    ExportFile file;
    file.handle = CreatePrivateFile(tempPath);
    if (file.handle == INVALID_HANDLE_VALUE) return Failure::create;

    HWND progress = OpenProgressWindow(
        encrypted ? L"Daten verschl\u00fcsselt exportieren" : L"Daten exportieren", count);
    CeSeekDatabase(store.hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
    const int step = std::max(count / 24, 1);
    Failure failure = Failure::none;

    // The export's keys stay the same through the pass.
    const PasswordKeys &keys = StoreKeys(store);
    // The marker line, the marker check field under the file's keys, CR LF.
    if (encrypted) appendMarker(file.buffer, keys);
    // Lines are appended in groups, which the cipher takes in one run.
    constexpr int kGroup = 8;
    std::array<TextLine, kGroup> lines;
    int pending = 0;
    BYTE *buffer = nullptr;
    DWORD size = 0;
    for (int i = 0; i < count && failure == Failure::none; ++i) {
        WORD props = 0;
        if (!CeReadRecordProps(store.hDatabase, CEDB_ALLOWREALLOC, &props, nullptr, &buffer,
                               &size)) {
            failure = Failure::read;
            break;
        }
        RecordLine(reinterpret_cast<CEPROPVAL *>(buffer), props, lines[pending++], lossy);
        if (pending == kGroup || i + 1 == count) {
            // RecordLine keeps every field within the limit, so the lines are always appended.
            appendRecordLines(file.buffer, std::span<const TextLine>(lines.data(), pending),
                              encrypted, keys);
            pending = 0;
            if (file.buffer.size() >= kFlushSize && !file.flush()) failure = Failure::write;
        }
        if (i % step == 0) {
            SetProgressText(progress, i, count);
            SetProgressPosition(progress, i + 1);
        }
    }
    if (buffer) {
        SecureZeroMemory(buffer, size);
        LocalFree(buffer);
    }
    for (TextLine &line : lines)
        for (auto &column : line) secureWipe(column.data(), column.size());
    if (failure == Failure::none) {
        SetProgressText(progress, count, count);
        SetProgressPosition(progress, count + 1);
        if (!file.flush() || !FlushFileBuffers(file.handle)) failure = Failure::write;
    }
    CloseProgressWindow(progress);
    return failure;
}

int ExportTo(ObjectStore &store, HWND owner) {
    WCHAR path[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kExchangeFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = L"Daten exportieren";
    ofn.Flags = OFN_OVERWRITEPROMPT;
    ofn.lpstrDefExt = L"ark";
    if (!RunFileDialog(ofn, true)) return 0;
    const WCHAR *shortName = ShortFileName(path);
    // The filter left selected decides, not the typed extension.
    const bool encrypted = ofn.nFilterIndex == 1;
    if (!encrypted) {
        // A plain file shows every secret to whoever reads it: written only on an explicit "Ja".
        WCHAR question[512];
        wsprintfW(question, kAskPlain, shortName);
        if (MessageBoxW(owner, question, kAppTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) !=
            IDYES)
            return 0;
    }

    SavedPassword saved(store, encrypted);
    if (encrypted && ShowDialog(nullptr, IDD_SET_PASSWORD, SetPasswordDlgProc,
                                reinterpret_cast<LPARAM>(shortName)) != 1) {
        MessageBoxW(owner, kNoPassword, kAppTitle, MB_OK);
        return -1;
    }

    const int count = store.recordCount();
    if (count < 0) {
        ExchangeMessage(owner, kCannotRead, shortName);
        return -1;
    }
    // Written beside the target and put in its place only when complete, so that a failure
    // leaves an existing file as it was.
    WCHAR tempPath[MAX_PATH + 32];
    lstrcpynW(tempPath, path, static_cast<int>(shortName - path) + 1);
    wsprintfW(tempPath + (shortName - path), L"~ark%lu.tmp", GetCurrentProcessId());
    DeleteFileW(tempPath);  // what a failed earlier run of a process with this id left behind

    Lossy lossy;
    Failure failure = WriteRecords(store, tempPath, encrypted, count, lossy);
    // Texts the file cannot hold exactly: the user decides before the file takes its place.
    if (failure == Failure::none && lossy.count > 0) {
        std::wstring question = kLossyQuestion + lossy.names;
        if (lossy.count > Lossy::kNamed) {
            WCHAR more[64];
            wsprintfW(more, kLossyMore, lossy.count - Lossy::kNamed);
            question += more;
        }
        question += kLossyGoOn;
        const int answer = MessageBoxW(owner, question.c_str(), kAppTitle,
                                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        secureWipe(question.data(), question.size() * sizeof(WCHAR));
        if (answer != IDYES) {
            DeleteFileW(tempPath);
            return -1;
        }
    }
    if (failure == Failure::none &&
        !MoveFileExW(tempPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failure = Failure::write;
    if (failure == Failure::none) {
        ReportObjectCount(owner, kExportedOne, kExportedMany, count, shortName);
        return 0;
    }
    DeleteFileW(tempPath);
    ExchangeMessage(owner,
                    failure == Failure::create  ? kCannotCreate
                    : failure == Failure::write ? kCannotWrite
                                                : kCannotRead,
                    shortName);
    return -1;
}

}  // namespace

int exportData(ObjectStore &store, HWND owner) {
    StopIdleTimers();
    int result = ExportTo(store, owner);
    StartIdleTimers();
    return result;
}
