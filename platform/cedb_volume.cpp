// Windows CE property databases on SQLite: the volume. See cedb.h for what callers rely on, and
// cedb_internal.h for how the layer's files divide the work.
//
// One SQLite file is the volume. Object ids of databases and records come from one table with
// AUTOINCREMENT, so an id is never given out twice. Each property is one row; text is kept as its
// UTF-16 code units and doubles as their eight bytes, so every value comes back exactly as written.
// Sorting happens in the layer with the platform's string comparison, not in SQL, so that the
// order is the one sorted list boxes use.

#include "platform/cedb_internal.h"

#include <shlobj.h>

#include <cwctype>
#include <string>
#include <vector>

#include "platform/page_heap.h"
#include "platform/private_file.h"
#include "platform/utf8.h"

namespace cedb {

namespace {

constexpr int kApplicationId = 0x41524B4C;  // "ARKL"
constexpr int kSchemaVersion = 1;

const char kSchema[] =
    "CREATE TABLE objects("
    "  oid INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL);"  // 0 for a database, else the database a record belongs to
    "CREATE INDEX objects_parent ON objects(parent);"
    "CREATE TABLE dbs("
    "  oid INTEGER PRIMARY KEY,"
    "  name BLOB NOT NULL,"  // UTF-16 code units
    "  type INTEGER NOT NULL,"
    "  sorts BLOB NOT NULL,"  // SORTORDERSPEC array
    "  records INTEGER NOT NULL DEFAULT 0,"
    "  modified INTEGER NOT NULL);"
    "CREATE TABLE props("
    "  rec INTEGER NOT NULL,"
    "  seq INTEGER NOT NULL,"
    "  propid INTEGER NOT NULL,"
    "  value,"
    "  PRIMARY KEY(rec, propid)) WITHOUT ROWID;"
    "CREATE INDEX props_order ON props(rec, seq);";

// ---- the volume: one connection, shared by all handles, closed with the last ----

int g_users = 0;
std::vector<CachedStatement> g_statements;

void finalizeStatements() {
    for (CachedStatement &c : g_statements) sqlite3_finalize(c.s);
    g_statements.clear();
}

}  // namespace

sqlite3 *g_db = nullptr;
int g_batchDepth = 0;

Stmt::Stmt(const char *sql) {
    for (size_t i = 0; i < g_statements.size(); ++i) {
        CachedStatement &c = g_statements[i];
        if (!c.busy && (c.sql == sql || strcmp(c.sql, sql) == 0)) {
            c.busy = true;
            s = c.s;
            slot = i + 1;
            return;
        }
    }
    bool keep = true;
    for (const CachedStatement &c : g_statements)
        if (c.sql == sql || strcmp(c.sql, sql) == 0) keep = false;
    if (sqlite3_prepare_v3(g_db, sql, -1, keep ? SQLITE_PREPARE_PERSISTENT : 0, &s, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(s);
        s = nullptr;
        return;
    }
    if (keep) {
        g_statements.push_back({sql, s, true});
        slot = g_statements.size();
    }
}

Stmt::~Stmt() {
    if (!s) return;
    if (slot) {
        // Reset at once, so that no read transaction stays open behind the call.
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        g_statements[slot - 1].busy = false;
    } else {
        sqlite3_finalize(s);
    }
}

bool exec(const char *sql) {
    return sqlite3_exec(g_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool run(const char *sql) {
    Stmt st(sql);
    return st && st.step() == SQLITE_DONE;
}

// The page cache between batches, and during one. A batch over a full store (an import that
// replaces every record) changes more pages than the normal cache holds; every page pushed out
// and needed again is then looked up in the journal and read back, which cost such an import
// more than its writes. While a batch is open the cache may hold the pages a full store has;
// when the batch ends, it goes back to its size and frees the pages it held.
const char kCacheSize[] = "PRAGMA cache_size=-16384";
const char kBatchCacheSize[] = "PRAGMA cache_size=-65536";

namespace {

bool fileExists(const WCHAR *path, LONGLONG *size) {
    WIN32_FILE_ATTRIBUTE_DATA fad;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &fad)) return false;
    *size = (static_cast<LONGLONG>(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow;
    return true;
}

// Whether the file name is one of the devices Windows keeps in every folder (CON, NUL, COM1 ...),
// whatever its extension.
bool isReservedDeviceName(const WCHAR *path) {
    const WCHAR *name = path;
    for (const WCHAR *p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':') name = p + 1;
    std::wstring base;
    for (const WCHAR *p = name; *p && *p != L'.'; ++p) base += static_cast<WCHAR>(towupper(*p));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (const wchar_t *device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (base == device) return true;
    return base.size() == 4 &&
           (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           base[3] >= L'1' && base[3] <= L'9';
}

// Why the path cannot be the volume, before anything touches it: 0 when it names a regular file
// that may be written, or nothing yet; ERROR_BAD_FILE_TYPE for a device, a FIFO, a folder or
// another kind of file (whose mode must not change and beside which no journal may appear);
// ERROR_WRITE_PROTECT for a read-only file, which stays read-only.
DWORD volumeFileRefusal(const WCHAR *path) {
    if (isReservedDeviceName(path)) return ERROR_BAD_FILE_TYPE;
    // No access asked for: this opens a FIFO without waiting for its other end.
    HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0
                                                                              : ERROR_BAD_FILE_TYPE;
    }
    const DWORD type = GetFileType(h);
    ::CloseHandle(h);
    const DWORD attributes = GetFileAttributesW(path);
    if (type != FILE_TYPE_DISK || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return ERROR_BAD_FILE_TYPE;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? ERROR_WRITE_PROTECT : 0;
}

// Makes every missing folder on the way to the file.
void createParentFolders(const WCHAR *path) {
    std::wstring p(path);
    for (size_t i = 3; i < p.size(); ++i) {
        if (p[i] == L'\\' || p[i] == L'/') {
            std::wstring part = p.substr(0, i);
            CreateDirectoryW(part.c_str(), nullptr);
        }
    }
}

// ---- private files: the volume, its journal and its shared memory ----

// SQLite makes the journal and the shared-memory file itself, readable as the umask allows. Made
// here first (or corrected), they are as private as the volume. Only for a volume that is a store.
void makeCompanionFilesPrivate(const WCHAR *path) {
    for (const wchar_t *suffix : {L"", L"-wal", L"-shm"})
        MakeFilePrivate((std::wstring(path) + suffix).c_str());
}

// Whether the file starts as a store of ours: SQLite's header with our application id.
bool headerIsStore(const WCHAR *path) {
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BYTE header[72] = {};
    DWORD got = 0;
    bool read = ReadFile(h, header, sizeof header, &got, nullptr) && got == sizeof header;
    ::CloseHandle(h);
    const DWORD id = (DWORD{header[68]} << 24) | (DWORD{header[69]} << 16) |
                     (DWORD{header[70]} << 8) | header[71];
    return read && memcmp(header, "SQLite format 3", 16) == 0 &&
           id == static_cast<DWORD>(kApplicationId);
}

bool configureConnection() {
    sqlite3_busy_timeout(g_db, 5000);
    // WAL with NORMAL synchronisation: a write is in the journal before the call returns, so a
    // killed process loses nothing; only a crash of the whole machine may lose the last writes.
    // The whole store is mapped into memory (a full one is some tens of megabytes), so that a
    // walk reads its pages where they lie instead of copying each one through a read call, and a
    // new connection starts warm; the page cache keeps what is written and more than SQLite's
    // 2 MB default, which a grown store would otherwise read again on every walk.
    return exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=NORMAL") &&
           exec("PRAGMA secure_delete=ON") && exec("PRAGMA temp_store=MEMORY") &&
           exec(kCacheSize) && exec("PRAGMA mmap_size=268435456");
}

// Reads the store marker without writing anything, so that a file of another kind is left alone.
bool isStore() {
    Stmt st("PRAGMA application_id");
    if (!st || st.step() != SQLITE_ROW) return false;
    if (st.i64(0) != kApplicationId) return false;
    Stmt tables(
        "SELECT count(*) FROM sqlite_schema WHERE type='table' AND "
        "name IN ('objects','dbs','props')");
    return tables && tables.step() == SQLITE_ROW && tables.i64(0) == 3;
}

bool fileExists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void closeVolume(DWORD error) {
    finalizeStatements();
    sqlite3_close(g_db);
    g_db = nullptr;
    SetLastError(error);
}

bool initialiseVolume() {
    char pragmas[96];
    wsprintfA(pragmas, "PRAGMA application_id=%d; PRAGMA user_version=%d", kApplicationId,
              kSchemaVersion);
    bool ok = configureConnection() && exec("BEGIN IMMEDIATE") && exec(kSchema) && exec(pragmas) &&
              exec("COMMIT");
    if (!ok) exec("ROLLBACK");
    return ok;
}

bool openVolume() {
    WCHAR path[MAX_PATH];
    if (!CeGetVolumePath(path)) return false;  // with its reason
    if (DWORD refusal = volumeFileRefusal(path)) {
        SetLastError(refusal);
        return false;
    }
    const std::wstring wal = std::wstring(path) + L"-wal";
    LONGLONG size = 0;
    bool exists = fileExists(path, &size);
    if (!exists) {
        // Journal files without their volume belong to no store; a new volume must not take
        // them for its own.
        for (const wchar_t *suffix : {L"-wal", L"-shm", L"-journal"})
            DeleteFileW((std::wstring(path) + suffix).c_str());
        createParentFolders(path);
    }
    if (!exists || headerIsStore(path)) makeCompanionFilesPrivate(path);
    std::string utf8 = Utf8(path);
    if (sqlite3_open_v2(utf8.c_str(), &g_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        closeVolume(ERROR_OPEN_FAILED);
        return false;
    }
    // An empty file without journal holds nothing to lose: it is what an interrupted first start
    // leaves behind. Anything else must already be a store, or it is left exactly as it is.
    if (!exists || (size == 0 && !fileExists(wal))) {
        if (!initialiseVolume()) {
            closeVolume(ERROR_OPEN_FAILED);
            return false;
        }
        makeCompanionFilesPrivate(path);
        return true;
    }
    if (!isStore()) {
        // A file with the store's own header whose tables cannot be read is a damaged or cut
        // short store, not a foreign file.
        closeVolume(headerIsStore(path) ? ERROR_FILE_CORRUPT : ERROR_BAD_FORMAT);
        return false;
    }
    // A store that a later version of the layer made may hold what this one cannot keep intact;
    // it is neither read nor written.
    sqlite3_int64 stored = -1;
    {
        Stmt version("PRAGMA user_version");
        if (version && version.step() == SQLITE_ROW) stored = version.i64(0);
    }
    if (stored < 0 || stored > kSchemaVersion) {
        closeVolume(stored < 0 ? ERROR_OPEN_FAILED : ERROR_REVISION_MISMATCH);
        return false;
    }
    if (!configureConnection()) {
        closeVolume(ERROR_OPEN_FAILED);
        return false;
    }
    makeCompanionFilesPrivate(path);  // whatever SQLite made while it read the store
    return true;
}

// Whether the last close of the volume emptied its journal.
bool g_journalEmptied = true;

}  // namespace

bool acquireVolume() {
    if (g_users == 0 && !openVolume()) return false;
    ++g_users;
    return true;
}

void releaseVolume() {
    if (g_users == 0 || --g_users > 0) return;
    finalizeStatements();
    // Nothing of what was overwritten or deleted may stay behind in the journal. Another process
    // that reads the store (a backup, arkstore dump) holds the checkpoint back while its read
    // lasts; the connection's busy handler waits up to five seconds for it before the journal is
    // left as it is.
    const int rc =
        sqlite3_wal_checkpoint_v2(g_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    g_journalEmptied = rc == SQLITE_OK;
    sqlite3_close(g_db);
    g_db = nullptr;
}

Transaction::Transaction() : nested(g_batchDepth > 0) {
    // A batch that SQLite rolled back by itself (an I/O error) must not let later calls run
    // outside any transaction as if they were part of it.
    if (nested && sqlite3_get_autocommit(g_db))
        ok = false;
    else
        ok = run(nested ? "SAVEPOINT cedb_call" : "BEGIN IMMEDIATE");
}

bool Transaction::commit() {
    done = true;
    if (nested) {
        if (run("RELEASE cedb_call")) return true;
        undo();
        return false;
    }
    if (run("COMMIT")) return true;
    run("ROLLBACK");
    return false;
}

void Transaction::undo() {
    if (nested) {
        run("ROLLBACK TO cedb_call");
        run("RELEASE cedb_call");
    } else {
        run("ROLLBACK");
    }
}

Transaction::~Transaction() {
    if (ok && !done) undo();
}

}  // namespace cedb

using namespace cedb;

// ---------------------------------------------------------------------------------------------

bool CeGetVolumePath(WCHAR path[MAX_PATH]) {
    WCHAR env[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", env, MAX_PATH);
    // A name that does not fit is refused; falling back to the default would open another vault.
    if (n >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (n > 0) {
        // Under Wine a Unix path is welcome too; Wine itself knows where it lies.
        if (env[0] == L'/') {
            using ToDosFn = WCHAR *(CDECL *)(const char *);
            auto toDos = reinterpret_cast<ToDosFn>(reinterpret_cast<void *>(
                GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
            if (toDos) {
                const std::string unixPath = Utf8(env);
                WCHAR *dos = toDos(unixPath.c_str());
                if (!dos) {
                    SetLastError(ERROR_PATH_NOT_FOUND);
                    return false;
                }
                bool fits = wcslen(dos) < MAX_PATH;
                if (fits) wcscpy(path, dos);
                HeapFree(GetProcessHeap(), 0, dos);
                if (!fits) SetLastError(ERROR_FILENAME_EXCED_RANGE);
                return fits;
            }
        }
        wcscpy(path, env);
        return true;
    }
    WCHAR base[MAX_PATH];
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    static const WCHAR tail[] = L"\\Mobrix\\Arkel\\Arkel.cdb";
    if (wcslen(base) + wcslen(tail) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    wcscpy(path, base);
    wcscat(path, tail);
    return true;
}

BOOL CeJournalEmptiedAtClose() { return g_journalEmptied ? TRUE : FALSE; }

namespace {

// Where the claim lies: past 1 GiB, where SQLite locks its bytes (0x40000000 on, 512 bytes), and
// far beyond the pages of any store of this layer, which no read or write reaches.
constexpr DWORD kClaimOffset = 0x40000000 + 0x10000;
HANDLE g_claim = INVALID_HANDLE_VALUE;
std::wstring g_claimPath;

}  // namespace

BOOL CeClaimVolume() {
    WCHAR path[MAX_PATH];
    if (!CeGetVolumePath(path)) return FALSE;
    if (g_claim != INVALID_HANDLE_VALUE && lstrcmpiW(g_claimPath.c_str(), path) == 0) return TRUE;
    CeReleaseVolumeClaim();
    HANDLE h =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    OVERLAPPED at{};
    at.Offset = kClaimOffset;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        ::CloseHandle(h);
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    g_claim = h;
    g_claimPath = path;
    return TRUE;
}

void CeReleaseVolumeClaim() {
    if (g_claim == INVALID_HANDLE_VALUE) return;
    OVERLAPPED at{};
    at.Offset = kClaimOffset;
    UnlockFileEx(g_claim, 0, 1, 0, &at);
    ::CloseHandle(g_claim);
    g_claim = INVALID_HANDLE_VALUE;
    g_claimPath.clear();
}

BOOL CeFlushVolume() {
    if (!g_db) return TRUE;  // closing the volume emptied its journal already
    if (g_batchDepth > 0) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    const int rc =
        sqlite3_wal_checkpoint_v2(g_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    // The cached pages hold records as they were read; give them back with the journal.
    sqlite3_db_release_memory(g_db);
    ReleaseFreedPages();
    if (rc != SQLITE_OK) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}
