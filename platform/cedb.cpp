// Windows CE property databases on SQLite. See cedb.h for what callers rely on.
//
// One SQLite file is the volume. Object ids of databases and records come from one table with
// AUTOINCREMENT, so an id is never given out twice. Each property is one row; text is kept as its
// UTF-16 code units and doubles as their eight bytes, so every value comes back exactly as written.
// Sorting happens here with the platform's string comparison, not in SQL, so that the order is the
// one sorted list boxes use.

#include "platform/cedb.h"
#include "platform/page_heap.h"
#include "platform/private_file.h"

#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <cwctype>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "sqlite3.h"

#undef CloseHandle

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

sqlite3 *g_db = nullptr;
int g_users = 0;
// Open batches (CeBeginBatch): the outermost is a transaction, every inner one a savepoint.
int g_batchDepth = 0;

// Prepared statements live as long as the connection: preparing one costs more than running it
// for a single record. A statement in use by one caller is not handed to a second; that one gets
// a statement of its own for the length of its use.
struct CachedStatement {
    const char *sql;
    sqlite3_stmt *s;
    bool busy;
};
std::vector<CachedStatement> g_statements;

void finalizeStatements() {
    for (CachedStatement &c : g_statements) sqlite3_finalize(c.s);
    g_statements.clear();
}

struct Stmt {
    sqlite3_stmt *s = nullptr;
    size_t slot = 0;
    Stmt(const char *sql) {
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
    ~Stmt() {
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
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    explicit operator bool() const { return s != nullptr; }
    int step() { return sqlite3_step(s); }
    void reset() { sqlite3_reset(s); }
    void bind(int i, sqlite3_int64 v) { sqlite3_bind_int64(s, i, v); }
    void bindBlob(int i, const void *p, size_t n) {
        sqlite3_bind_blob64(s, i, n ? p : "", n, SQLITE_TRANSIENT);
    }
    sqlite3_int64 i64(int c) { return sqlite3_column_int64(s, c); }
};

bool exec(const char *sql) {
    return sqlite3_exec(g_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A statement without result rows, kept prepared (transaction control runs for every write).
bool run(const char *sql) {
    Stmt st(sql);
    return st && st.step() == SQLITE_DONE;
}

std::string toUtf8(const WCHAR *w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n) - 1);
    return s;
}

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

// The page cache between batches, and during one. A batch over a full store (an import that
// replaces every record) changes more pages than the normal cache holds; every page pushed out
// and needed again is then looked up in the journal and read back, which cost such an import
// more than its writes. While a batch is open the cache may hold the pages a full store has;
// when the batch ends, it goes back to its size and frees the pages it held.
const char kCacheSize[] = "PRAGMA cache_size=-16384";
const char kBatchCacheSize[] = "PRAGMA cache_size=-65536";

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
    std::string utf8 = toUtf8(path);
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

bool acquireVolume() {
    if (g_users == 0 && !openVolume()) return false;
    ++g_users;
    return true;
}

// Whether the last close of the volume emptied its journal.
bool g_journalEmptied = true;

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

// Holds the volume for the length of one call that needs no handle.
struct VolumeUse {
    bool ok;
    VolumeUse() : ok(acquireVolume()) {}
    ~VolumeUse() {
        // Closing the volume must not hide the call's own error.
        DWORD error = GetLastError();
        if (ok) releaseVolume();
        SetLastError(error);
    }
};

// One call's changes as one atomic unit: a transaction of its own, or inside a batch a savepoint,
// so that a failed call leaves the batch as it was before the call.
struct Transaction {
    bool done = false;
    bool nested;
    bool ok;
    Transaction() : nested(g_batchDepth > 0) {
        // A batch that SQLite rolled back by itself (an I/O error) must not let later calls run
        // outside any transaction as if they were part of it.
        if (nested && sqlite3_get_autocommit(g_db))
            ok = false;
        else
            ok = run(nested ? "SAVEPOINT cedb_call" : "BEGIN IMMEDIATE");
    }
    bool commit() {
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
    void undo() {
        if (nested) {
            run("ROLLBACK TO cedb_call");
            run("RELEASE cedb_call");
        } else {
            run("ROLLBACK");
        }
    }
    ~Transaction() {
        if (ok && !done) undo();
    }
};

// ---- databases ----

struct DbInfo {
    CEOID oid = 0;
    std::wstring name;
    DWORD type = 0;
    std::vector<SORTORDERSPEC> sorts;
    sqlite3_int64 modified = 0;
};

std::wstring blobToWide(const void *p, int bytes) {
    if (!p || bytes <= 0) return {};
    return std::wstring(static_cast<const wchar_t *>(p), static_cast<size_t>(bytes) / 2);
}

bool loadDb(Stmt &st, DbInfo *info) {
    info->oid = static_cast<CEOID>(st.i64(0));
    info->name = blobToWide(sqlite3_column_blob(st.s, 1), sqlite3_column_bytes(st.s, 1));
    info->type = static_cast<DWORD>(st.i64(2));
    int n = sqlite3_column_bytes(st.s, 3) / static_cast<int>(sizeof(SORTORDERSPEC));
    info->sorts.resize(static_cast<size_t>(n));
    if (n) memcpy(info->sorts.data(), sqlite3_column_blob(st.s, 3), n * sizeof(SORTORDERSPEC));
    info->modified = st.i64(4);
    return true;
}

bool findDbByOid(CEOID oid, DbInfo *info) {
    Stmt st("SELECT oid, name, type, sorts, modified FROM dbs WHERE oid=?");
    if (!st) return false;
    st.bind(1, oid);
    return st.step() == SQLITE_ROW && loadDb(st, info);
}

bool sameName(const std::wstring &a, const std::wstring &b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                          b.c_str(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool findDbByName(const std::wstring &name, DbInfo *info) {
    Stmt st("SELECT oid, name, type, sorts, modified FROM dbs ORDER BY oid");
    if (!st) return false;
    while (st.step() == SQLITE_ROW) {
        loadDb(st, info);
        if (sameName(info->name, name)) return true;
    }
    return false;
}

sqlite3_int64 nowFileTime() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return static_cast<sqlite3_int64>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) |
                                      ft.dwLowDateTime);
}

sqlite3_int64 recordCountOf(CEOID db) {
    Stmt st("SELECT records FROM dbs WHERE oid=?");
    if (!st) return -1;
    st.bind(1, db);
    return st.step() == SQLITE_ROW ? st.i64(0) : -1;
}

bool validType(WORD type) {
    switch (type) {
    case CEVT_I2:
    case CEVT_UI2:
    case CEVT_I4:
    case CEVT_UI4:
    case CEVT_BOOL:
    case CEVT_FILETIME:
    case CEVT_LPWSTR:
    case CEVT_BLOB:
    case CEVT_R8: return true;
    default: return false;
    }
}

// ---- property values: stored form and comparison ----

// A value as the volume keeps it: integer types as a number, text, doubles and blobs as bytes.
struct Value {
    bool present = false;
    sqlite3_int64 number = 0;
    std::vector<unsigned char> bytes;
};

Value columnValue(sqlite3_stmt *s, int col) {
    Value v;
    int t = sqlite3_column_type(s, col);
    if (t == SQLITE_NULL) return v;
    v.present = true;
    if (t == SQLITE_INTEGER) {
        v.number = sqlite3_column_int64(s, col);
    } else {
        auto p = static_cast<const unsigned char *>(sqlite3_column_blob(s, col));
        int n = sqlite3_column_bytes(s, col);
        if (p && n > 0) v.bytes.assign(p, p + n);
    }
    return v;
}

// Stores one property value into statement parameter i; false for a value that cannot be kept.
bool bindValue(Stmt &st, int i, const CEPROPVAL &pv) {
    switch (TypeFromPropID(pv.propid)) {
    case CEVT_I2: st.bind(i, pv.val.iVal); return true;
    case CEVT_UI2: st.bind(i, pv.val.uiVal); return true;
    case CEVT_I4: st.bind(i, pv.val.lVal); return true;
    case CEVT_UI4: st.bind(i, pv.val.ulVal); return true;
    case CEVT_BOOL: st.bind(i, pv.val.boolVal); return true;
    case CEVT_FILETIME:
        st.bind(i, static_cast<sqlite3_int64>(
                       (static_cast<ULONGLONG>(pv.val.filetime.dwHighDateTime) << 32) |
                       pv.val.filetime.dwLowDateTime));
        return true;
    case CEVT_R8: st.bindBlob(i, &pv.val.dblVal, sizeof(double)); return true;
    case CEVT_LPWSTR:
        if (!pv.val.lpwstr) return false;
        st.bindBlob(i, pv.val.lpwstr, wcslen(pv.val.lpwstr) * sizeof(WCHAR));
        return true;
    case CEVT_BLOB:
        if (pv.val.blob.dwCount && !pv.val.blob.lpb) return false;
        st.bindBlob(i, pv.val.blob.lpb, pv.val.blob.dwCount);
        return true;
    default: return false;
    }
}

double asDouble(const Value &v) {
    double d = 0;
    if (v.bytes.size() == sizeof d) memcpy(&d, v.bytes.data(), sizeof d);
    return d;
}

Value valueOf(const CEPROPVAL &pv) {
    Value v;
    v.present = true;
    switch (TypeFromPropID(pv.propid)) {
    case CEVT_I2: v.number = pv.val.iVal; break;
    case CEVT_UI2: v.number = pv.val.uiVal; break;
    case CEVT_I4: v.number = pv.val.lVal; break;
    case CEVT_UI4: v.number = pv.val.ulVal; break;
    case CEVT_BOOL: v.number = pv.val.boolVal; break;
    case CEVT_FILETIME:
        v.number = static_cast<sqlite3_int64>(
            (static_cast<ULONGLONG>(pv.val.filetime.dwHighDateTime) << 32) |
            pv.val.filetime.dwLowDateTime);
        break;
    case CEVT_R8: {
        auto p = reinterpret_cast<const unsigned char *>(&pv.val.dblVal);
        v.bytes.assign(p, p + sizeof(double));
        break;
    }
    case CEVT_LPWSTR:
        if (pv.val.lpwstr) {
            auto p = reinterpret_cast<const unsigned char *>(pv.val.lpwstr);
            v.bytes.assign(p, p + wcslen(pv.val.lpwstr) * sizeof(WCHAR));
        }
        break;
    case CEVT_BLOB:
        if (pv.val.blob.lpb) v.bytes.assign(pv.val.blob.lpb, pv.val.blob.lpb + pv.val.blob.dwCount);
        break;
    default: v.present = false; break;
    }
    return v;
}

// ---- handles ----

constexpr DWORD kHandleMagic = 0x43454442;  // "CEDB"

// A record's place in a sort order: its id and its sort key in a form that compares quickly.
// Text keys are the platform's sort keys (LCMapStringW), which order byte by byte exactly as
// CompareStringW orders the texts, so that sorting needs no call into the platform per
// comparison.
struct Entry {
    CEOID oid = 0;
    bool present = false;
    sqlite3_int64 number = 0;
    double real = 0;
    std::string key;  // text: sort key; blob: the bytes
};

// A property read ahead of the walk; its bytes lie in the handle's fetchBytes.
struct FetchedProp {
    CEOID oid;
    sqlite3_int64 seq;
    CEPROPID propid;
    bool present;
    sqlite3_int64 number;
    size_t offset, length;
};

// A record read ahead of the walk: whether it still existed, and where its properties lie in
// the handle's fetchProps (in stored order).
struct Fetched {
    bool exists = false;
    size_t first = 0, count = 0;
};

// A property as a read hands it out.
struct PropView {
    CEPROPID propid;
    bool present;
    sqlite3_int64 number;
    const unsigned char *data;
    size_t length;
};

// A change this process made to a database since a handle took its order.
struct Change {
    CEOID oid;
    bool erase;  // the record is gone
    bool place;  // the record takes the place of `entry` (new record or new sort key)
    Entry entry;
};

// More changes than this since a handle's last seek are cheaper to take by sorting afresh.
constexpr size_t kMaxChanges = 64;
// Reads ahead come in blocks growing from one record (a read by id) to this many (a walk).
constexpr size_t kMaxFetch = 512;

struct DbHandle {
    DWORD magic = kHandleMagic;
    CEOID db = 0;
    SORTORDERSPEC sort{0, 0};
    bool sorted = false;  // false: record id order (a database without sort orders)
    DWORD flags = 0;
    // The order of the records as the last seek found it; reads walk this list, so a walk sees
    // every record once even when writes on the way change the order in the database. An
    // absolute seek brings it up to date: from the file when another process has written since
    // (PRAGMA data_version), else by applying this process's own changes, else it is kept as it
    // is: an unchanged database is not sorted again.
    std::vector<Entry> order;
    bool haveOrder = false;
    size_t pos = 0;
    sqlite3_int64 dataVersion = -1;
    std::vector<Change> changes;
    bool changesLost = false;  // more than kMaxChanges, or a rolled back batch: sort afresh
    // Records read ahead of the position, by id; a write of this process drops its record.
    std::unordered_map<CEOID, Fetched> fetched;
    std::vector<FetchedProp> fetchProps;
    std::vector<unsigned char> fetchBytes;
    size_t nextFetch = 1;
    // The properties the block holds: empty for all of them, else these full ids only.
    std::vector<CEPROPID> fetchIds;
};

std::set<DbHandle *> g_handles;

DbHandle *handleOf(HANDLE h) {
    auto p = static_cast<DbHandle *>(h);
    return g_handles.count(p) ? p : nullptr;
}

Entry makeEntry(const DbHandle *h, CEOID oid, const Value &v) {
    Entry e;
    e.oid = oid;
    e.present = v.present;
    if (!v.present || !h->sorted) return e;
    switch (TypeFromPropID(h->sort.propid)) {
    case CEVT_LPWSTR: {
        std::wstring text(reinterpret_cast<const WCHAR *>(v.bytes.data()), v.bytes.size() / 2);
        DWORD how =
            LCMAP_SORTKEY | ((h->sort.dwFlags & CEDB_SORT_CASEINSENSITIVE) ? NORM_IGNORECASE : 0);
        char buffer[1024];
        int n = LCMapStringW(LOCALE_USER_DEFAULT, how, text.c_str(), -1,
                             reinterpret_cast<WCHAR *>(buffer), sizeof buffer);
        if (n > 0) {
            e.key.assign(buffer, static_cast<size_t>(n));
        } else {
            n = LCMapStringW(LOCALE_USER_DEFAULT, how, text.c_str(), -1, nullptr, 0);
            if (n > 0) {
                e.key.resize(static_cast<size_t>(n));
                LCMapStringW(LOCALE_USER_DEFAULT, how, text.c_str(), -1,
                             reinterpret_cast<WCHAR *>(e.key.data()), n);
            }
        }
        break;
    }
    case CEVT_BLOB: e.key.assign(v.bytes.begin(), v.bytes.end()); break;
    case CEVT_R8: e.real = asDouble(v); break;
    default: e.number = v.number; break;
    }
    return e;
}

// Three-way comparison of two sort keys under the handle's sort order; records without the key
// come last (first with CEDB_SORT_UNKNOWNFIRST).
int compareEntries(const DbHandle *h, const Entry &a, const Entry &b) {
    if (a.present != b.present) {
        bool unknownFirst = (h->sort.dwFlags & CEDB_SORT_UNKNOWNFIRST) != 0;
        return a.present != unknownFirst ? -1 : 1;
    }
    if (!a.present) return 0;
    int r = 0;
    switch (TypeFromPropID(h->sort.propid)) {
    case CEVT_LPWSTR:
    case CEVT_BLOB: {
        int c = a.key.compare(b.key);
        r = c < 0 ? -1 : c > 0;
        break;
    }
    case CEVT_R8: r = a.real < b.real ? -1 : a.real > b.real ? 1 : 0; break;
    case CEVT_FILETIME: {
        auto x = static_cast<ULONGLONG>(a.number), y = static_cast<ULONGLONG>(b.number);
        r = x < y ? -1 : x > y ? 1 : 0;
        break;
    }
    default: r = a.number < b.number ? -1 : a.number > b.number ? 1 : 0; break;
    }
    return (h->sort.dwFlags & CEDB_SORT_DESCENDING) ? -r : r;
}

// The order of the handle: by sort key, equal keys by record id; without sort order by id.
bool entryBefore(const DbHandle *h, const Entry &a, const Entry &b) {
    if (h->sorted) {
        int c = compareEntries(h, a, b);
        if (c) return c < 0;
    }
    return a.oid < b.oid;
}

sqlite3_int64 dataVersion() {
    Stmt st("PRAGMA data_version");
    return st && st.step() == SQLITE_ROW ? st.i64(0) : -1;
}

bool loadOrder(DbHandle *h, sqlite3_int64 version) {
    h->order.clear();
    h->haveOrder = false;
    h->changes.clear();
    h->changesLost = false;
    h->fetched.clear();
    Stmt st(
        "SELECT o.oid, p.value FROM objects o LEFT JOIN props p "
        "ON p.rec = o.oid AND p.propid = ? WHERE o.parent = ? ORDER BY o.oid");
    if (!st) return false;
    st.bind(1, h->sort.propid);
    st.bind(2, h->db);
    int rc;
    while ((rc = st.step()) == SQLITE_ROW)
        h->order.push_back(makeEntry(h, static_cast<CEOID>(st.i64(0)), columnValue(st.s, 1)));
    if (rc != SQLITE_DONE) return false;
    if (h->sorted)
        std::sort(h->order.begin(), h->order.end(),
                  [h](const Entry &a, const Entry &b) { return entryBefore(h, a, b); });
    h->haveOrder = true;
    h->dataVersion = version;
    h->pos = 0;
    return true;
}

size_t indexOf(const DbHandle *h, CEOID oid) {
    for (size_t i = 0; i < h->order.size(); ++i)
        if (h->order[i].oid == oid) return i;
    return h->order.size();
}

void eraseAt(DbHandle *h, size_t i) {
    h->order.erase(h->order.begin() + static_cast<std::ptrdiff_t>(i));
    if (h->pos > i) --h->pos;
}

// Brings the handle's order up to date for an absolute seek; the position goes to the start.
bool refreshOrder(DbHandle *h) {
    sqlite3_int64 version = dataVersion();
    if (version < 0) return false;
    h->fetched.clear();
    h->nextFetch = 1;
    if (!h->haveOrder || h->changesLost || version != h->dataVersion) return loadOrder(h, version);
    for (Change &c : h->changes) {
        size_t i = indexOf(h, c.oid);
        if (i < h->order.size()) {
            if (!c.erase && !c.place) continue;
            eraseAt(h, i);
        }
        if (c.erase) continue;
        auto at =
            std::lower_bound(h->order.begin(), h->order.end(), c.entry,
                             [h](const Entry &a, const Entry &b) { return entryBefore(h, a, b); });
        h->order.insert(at, std::move(c.entry));
    }
    h->changes.clear();
    h->pos = 0;
    return true;
}

// For moves from the current place: the walk's order stays, records deleted since drop out, so
// that offsets count live records.
bool dropDeleted(DbHandle *h) {
    sqlite3_int64 version = dataVersion();
    if (version < 0) return false;
    if (h->changesLost || version != h->dataVersion) {
        Stmt st("SELECT oid FROM objects WHERE parent = ?");
        if (!st) return false;
        st.bind(1, h->db);
        std::set<CEOID> live;
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) live.insert(static_cast<CEOID>(st.i64(0)));
        if (rc != SQLITE_DONE) return false;
        for (size_t i = h->order.size(); i-- > 0;)
            if (!live.count(h->order[i].oid)) eraseAt(h, i);
        return true;
    }
    for (const Change &c : h->changes) {
        if (!c.erase) continue;
        size_t i = indexOf(h, c.oid);
        if (i < h->order.size()) eraseAt(h, i);
    }
    return true;
}

// Whether a record is in the database: 1 yes, 0 no, -1 when the volume could not be read.
int recordPresence(CEOID db, CEOID rec) {
    Stmt st("SELECT 1 FROM objects WHERE oid=? AND parent=?");
    if (!st) return -1;
    st.bind(1, rec);
    st.bind(2, db);
    int rc = st.step();
    return rc == SQLITE_ROW ? 1 : rc == SQLITE_DONE ? 0 : -1;
}

bool recordExists(CEOID db, CEOID rec) { return recordPresence(db, rec) == 1; }

// Changes this process made, per database (all of them after a rolled back batch).
std::unordered_map<CEOID, DWORD> g_changeCounts;
DWORD g_forgotten = 0;

// Tells every handle on the database about a change this process made.
void noteChange(CEOID db, CEOID rec, bool created, bool erased, WORD count,
                const CEPROPVAL *props) {
    ++g_changeCounts[db];
    for (DbHandle *h : g_handles) {
        if (h->db != db) continue;
        h->fetched.erase(rec);
        if (!h->haveOrder || h->changesLost) continue;
        Change c{rec, erased, false, {}};
        if (!erased) {
            // The last value given for the sort property decides; a record written without it
            // keeps its place, a new one without it goes where records without key go.
            const CEPROPVAL *key = nullptr;
            for (WORD i = 0; i < count; ++i)
                if (props[i].propid == h->sort.propid) key = &props[i];
            if (h->sorted && key) {
                c.place = true;
                c.entry =
                    makeEntry(h, rec, key->wFlags & CEDB_PROPDELETE ? Value{} : valueOf(*key));
            } else if (created) {
                c.place = true;
                c.entry.oid = rec;
            } else {
                continue;
            }
        }
        if (h->changes.size() >= kMaxChanges) {
            h->changes.clear();
            h->changesLost = true;
            continue;
        }
        h->changes.push_back(std::move(c));
    }
}

// After a batch was rolled back nothing that the handles heard of its changes holds.
void forgetChanges() {
    ++g_forgotten;
    for (DbHandle *h : g_handles) {
        h->changes.clear();
        h->changesLost = true;
        h->fetched.clear();
    }
}

// Reads the records at the position and after it, one statement for a whole block. The block
// replaces the one read before (what was not read of it is read again when needed). The records
// are looked up in their own table, not in an index that would answer for them, so that a
// damaged table is a read error and never a record that seems to be there.
constexpr size_t kMaxFetchIds = 12;

// With ids (at most kMaxFetchIds), only properties of those full ids are read.
bool fetchAhead(DbHandle *h, const CEPROPID *ids, size_t idCount) {
    static std::string sqlAll, sqlSome;
    if (sqlAll.empty()) {
        std::string in;
        for (size_t i = 0; i < kMaxFetch; ++i) in += (i ? ",?" : "?") + std::to_string(i + 2);
        std::string some;
        for (size_t i = 0; i < kMaxFetchIds; ++i)
            some += (i ? ",?" : "?") + std::to_string(i + 2 + kMaxFetch);
        sqlAll =
            "SELECT o.oid, p.seq, p.propid, p.value FROM objects o NOT INDEXED LEFT JOIN props p "
            "ON p.rec = o.oid WHERE o.parent = ?1 AND o.oid IN (" +
            in + ")";
        sqlSome =
            "SELECT o.oid, p.seq, p.propid, p.value FROM objects o NOT INDEXED LEFT JOIN props p "
            "ON p.rec = o.oid AND p.propid IN (" +
            some + ") WHERE o.parent = ?1 AND o.oid IN (" + in + ")";
    }
    if (idCount == 0 || idCount > kMaxFetchIds) ids = nullptr;
    if (ids)
        h->fetchIds.assign(ids, ids + idCount);
    else
        h->fetchIds.clear();
    size_t n = std::min(h->nextFetch, h->order.size() - h->pos);
    h->nextFetch = std::min(h->nextFetch * 8, kMaxFetch);
    h->fetched.clear();
    h->fetchProps.clear();
    h->fetchBytes.clear();
    Stmt st(ids ? sqlSome.c_str() : sqlAll.c_str());
    if (!st) return false;
    st.bind(1, h->db);
    for (size_t i = 0; ids && i < idCount; ++i)
        st.bind(static_cast<int>(i + 2 + kMaxFetch), ids[i]);
    for (size_t i = 0; i < n; ++i) {
        CEOID oid = h->order[h->pos + i].oid;
        st.bind(static_cast<int>(i + 2), oid);
        h->fetched[oid] = Fetched{};
    }
    int rc;
    CEOID last = 0;
    while ((rc = st.step()) == SQLITE_ROW) {
        auto oid = static_cast<CEOID>(st.i64(0));
        if (oid != last) {
            h->fetched[oid].exists = true;
            last = oid;
        }
        if (sqlite3_column_type(st.s, 1) == SQLITE_NULL) continue;  // a record without properties
        FetchedProp p{oid, st.i64(1), static_cast<CEPROPID>(st.i64(2)), true, 0, 0, 0};
        int type = sqlite3_column_type(st.s, 3);
        if (type == SQLITE_NULL) {
            p.present = false;
        } else if (type == SQLITE_INTEGER) {
            p.number = sqlite3_column_int64(st.s, 3);
        } else {
            auto bytes = static_cast<const unsigned char *>(sqlite3_column_blob(st.s, 3));
            int length = sqlite3_column_bytes(st.s, 3);
            p.offset = h->fetchBytes.size();
            if (bytes && length > 0) {
                p.length = static_cast<size_t>(length);
                h->fetchBytes.insert(h->fetchBytes.end(), bytes, bytes + length);
            }
        }
        h->fetchProps.push_back(p);
    }
    if (rc != SQLITE_DONE) {
        h->fetched.clear();
        h->fetchProps.clear();
        h->fetchBytes.clear();
        return false;
    }
    std::stable_sort(h->fetchProps.begin(), h->fetchProps.end(),
                     [](const FetchedProp &a, const FetchedProp &b) {
                         return a.oid != b.oid ? a.oid < b.oid : a.seq < b.seq;
                     });
    for (size_t i = 0; i < h->fetchProps.size();) {
        size_t j = i;
        while (j < h->fetchProps.size() && h->fetchProps[j].oid == h->fetchProps[i].oid) ++j;
        Fetched &f = h->fetched[h->fetchProps[i].oid];
        f.first = i;
        f.count = j - i;
        i = j;
    }
    return true;
}

// The record at the position with where its properties lie, skipping records deleted since the
// order was taken; 0 at the end or on a read failure (*failed).
// With ids, only those properties are needed.
CEOID recordAtPosition(DbHandle *h, const CEPROPID *ids, size_t idCount, Fetched *record,
                       bool *failed) {
    *failed = false;
    while (h->pos < h->order.size()) {
        CEOID oid = h->order[h->pos].oid;
        auto it = h->fetched.find(oid);
        // A block of some properties serves only reads of those.
        bool holds = h->fetchIds.empty();
        if (!holds && ids) {
            holds = true;
            for (size_t i = 0; i < idCount && holds; ++i)
                holds =
                    std::find(h->fetchIds.begin(), h->fetchIds.end(), ids[i]) != h->fetchIds.end();
        }
        if (it == h->fetched.end() || !holds) {
            if (!fetchAhead(h, ids, idCount)) {
                *failed = true;
                return 0;
            }
            it = h->fetched.find(oid);
        }
        bool exists = it->second.exists;
        *record = it->second;
        h->fetched.erase(it);
        if (exists) return oid;
        h->order.erase(h->order.begin() + static_cast<std::ptrdiff_t>(h->pos));
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return 0;
}

size_t align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }

// Size of a property's data behind the CEPROPVAL array.
size_t dataSize(const PropView &p) {
    if (!p.present) return 0;
    switch (TypeFromPropID(p.propid)) {
    case CEVT_LPWSTR: return align8(p.length + sizeof(WCHAR));
    case CEVT_BLOB: return align8(p.length);
    default: return 0;
    }
}

void fillValue(CEPROPVAL *out, const PropView &p, BYTE **data) {
    out->propid = p.propid;
    out->wLenData = 0;
    out->wFlags = 0;
    memset(&out->val, 0, sizeof out->val);
    if (!p.present) {
        out->wFlags = CEDB_PROPNOTFOUND;
        return;
    }
    switch (TypeFromPropID(p.propid)) {
    case CEVT_I2: out->val.iVal = static_cast<short>(p.number); break;
    case CEVT_UI2: out->val.uiVal = static_cast<USHORT>(p.number); break;
    case CEVT_I4: out->val.lVal = static_cast<long>(p.number); break;
    case CEVT_UI4: out->val.ulVal = static_cast<ULONG>(p.number); break;
    case CEVT_BOOL: out->val.boolVal = static_cast<BOOL>(p.number); break;
    case CEVT_FILETIME: {
        auto u = static_cast<ULONGLONG>(p.number);
        out->val.filetime.dwLowDateTime = static_cast<DWORD>(u);
        out->val.filetime.dwHighDateTime = static_cast<DWORD>(u >> 32);
        break;
    }
    case CEVT_R8:
        if (p.length == sizeof(double)) memcpy(&out->val.dblVal, p.data, sizeof(double));
        break;
    case CEVT_LPWSTR: {
        size_t n = p.length;
        if (n) memcpy(*data, p.data, n);
        // Everything up to the aligned end is zero: a text of an odd number of bytes (only a
        // store made by hand holds one) still ends in a whole zero unit inside its data.
        memset(*data + n, 0, dataSize(p) - n);
        out->val.lpwstr = reinterpret_cast<LPWSTR>(*data);
        out->wLenData = static_cast<WORD>(std::min<size_t>(n + sizeof(WCHAR), 0xFFFF));
        *data += dataSize(p);
        break;
    }
    case CEVT_BLOB: {
        size_t n = p.length;
        if (n) memcpy(*data, p.data, n);
        out->val.blob.dwCount = static_cast<DWORD>(n);
        out->val.blob.lpb = *data;
        out->wLenData = static_cast<WORD>(std::min<size_t>(n, 0xFFFF));
        *data += dataSize(p);
        break;
    }
    default: break;
    }
}

}  // namespace

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
                std::string unixPath;
                int len = WideCharToMultiByte(CP_UTF8, 0, env, -1, nullptr, 0, nullptr, nullptr);
                unixPath.resize(static_cast<size_t>(len));
                WideCharToMultiByte(CP_UTF8, 0, env, -1, unixPath.data(), len, nullptr, nullptr);
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

CEOID CeCreateDatabase(LPWSTR lpszName, DWORD dwDbaseType, WORD wNumSortOrder,
                       SORTORDERSPEC *rgSortSpecs) {
    if (!lpszName || !*lpszName || wcslen(lpszName) >= CEDB_MAXDBASENAMELEN ||
        wNumSortOrder > CEDB_MAXSORTORDER || (wNumSortOrder && !rgSortSpecs)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (WORD i = 0; i < wNumSortOrder; ++i) {
        WORD t = TypeFromPropID(rgSortSpecs[i].propid);
        if (!validType(t) || t == CEVT_BLOB) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    VolumeUse vol;
    if (!vol.ok) return 0;
    Transaction tx;
    if (!tx.ok) {
        SetLastError(ERROR_LOCK_VIOLATION);
        return 0;
    }
    DbInfo existing;
    if (findDbByName(lpszName, &existing)) {
        SetLastError(ERROR_DUP_NAME);
        return 0;
    }
    Stmt ins("INSERT INTO objects(parent) VALUES(0)");
    if (!ins || ins.step() != SQLITE_DONE) {
        SetLastError(ERROR_DISK_FULL);
        return 0;
    }
    auto oid = static_cast<CEOID>(sqlite3_last_insert_rowid(g_db));
    Stmt db("INSERT INTO dbs(oid, name, type, sorts, modified) VALUES(?,?,?,?,?)");
    if (!db) return 0;
    db.bind(1, oid);
    db.bindBlob(2, lpszName, wcslen(lpszName) * sizeof(WCHAR));
    db.bind(3, dwDbaseType);
    db.bindBlob(4, rgSortSpecs, wNumSortOrder * sizeof(SORTORDERSPEC));
    db.bind(5, nowFileTime());
    if (db.step() != SQLITE_DONE || !tx.commit()) {
        SetLastError(ERROR_DISK_FULL);
        return 0;
    }
    return oid;
}

HANDLE CeOpenDatabase(PCEOID poid, LPWSTR lpszName, CEPROPID propid, DWORD dwFlags,
                      HWND /*hwndNotify: change notifications are not sent on the desktop*/) {
    if (!poid || (!*poid && (!lpszName || !*lpszName))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!acquireVolume()) return INVALID_HANDLE_VALUE;
    DbInfo info;
    bool found = *poid ? findDbByOid(*poid, &info) : findDbByName(lpszName, &info);
    if (!found) {
        releaseVolume();
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto h = std::make_unique<DbHandle>();
    h->db = info.oid;
    h->flags = dwFlags;
    if (!info.sorts.empty()) {
        auto it = propid ? std::find_if(info.sorts.begin(), info.sorts.end(),
                                        [&](const SORTORDERSPEC &s) { return s.propid == propid; })
                         : info.sorts.begin();
        if (it == info.sorts.end()) {
            releaseVolume();
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        h->sort = *it;
        h->sorted = true;
    } else if (propid) {
        releaseVolume();
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    *poid = info.oid;
    DbHandle *raw = h.release();
    g_handles.insert(raw);
    return raw;
}

BOOL CeJournalEmptiedAtClose() { return g_journalEmptied ? TRUE : FALSE; }

BOOL CeCloseHandle(HANDLE hObject) {
    DbHandle *h = handleOf(hObject);
    if (!h) return ::CloseHandle(hObject);
    g_handles.erase(h);
    h->magic = 0;
    delete h;
    releaseVolume();
    return TRUE;
}

int CeOpenHandleCount() { return static_cast<int>(g_handles.size()); }

CEOID CeSeekDatabase(HANDLE hDatabase, DWORD dwSeekType, DWORD_PTR dwValue, LPDWORD lpdwIndex) {
    DbHandle *h = handleOf(hDatabase);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    bool relative = dwSeekType == CEDB_SEEK_CURRENT || dwSeekType == CEDB_SEEK_VALUENEXTEQUAL;
    if (!(relative && h->haveOrder ? dropDeleted(h) : refreshOrder(h))) {
        SetLastError(ERROR_READ_FAULT);
        return 0;
    }
    const auto size = static_cast<long long>(h->order.size());
    long long target = -1;
    switch (dwSeekType) {
    case CEDB_SEEK_BEGINNING: target = static_cast<long long>(static_cast<DWORD>(dwValue)); break;
    case CEDB_SEEK_END:
        target = size - 1 - static_cast<long long>(static_cast<DWORD>(dwValue));
        break;
    case CEDB_SEEK_CURRENT:
        target = static_cast<long long>(h->pos) + static_cast<long>(static_cast<DWORD>(dwValue));
        break;
    case CEDB_SEEK_CEOID: {
        size_t i = indexOf(h, static_cast<CEOID>(dwValue));
        if (i < h->order.size()) target = static_cast<long long>(i);
        break;
    }
    case CEDB_SEEK_VALUESMALLER:
    case CEDB_SEEK_VALUEFIRSTEQUAL:
    case CEDB_SEEK_VALUEGREATER:
    case CEDB_SEEK_VALUENEXTEQUAL: {
        auto pv = reinterpret_cast<const CEPROPVAL *>(dwValue);
        if (!pv || !h->sorted || pv->propid != h->sort.propid) {
            h->pos = h->order.size();
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const Entry v = makeEntry(h, 0, valueOf(*pv));
        // Value seeks compare ascending whatever the direction of the order.
        const int direction = (h->sort.dwFlags & CEDB_SORT_DESCENDING) ? -1 : 1;
        auto ascending = [&](const Entry &a, const Entry &b) {
            return direction * compareEntries(h, a, b);
        };
        auto cmp = [&](long long i) {
            const Entry &k = h->order[static_cast<size_t>(i)];
            return k.present ? ascending(k, v) : 2;
        };
        if (dwSeekType == CEDB_SEEK_VALUEFIRSTEQUAL) {
            for (long long i = 0; i < size && target < 0; ++i)
                if (cmp(i) == 0) target = i;
        } else if (dwSeekType == CEDB_SEEK_VALUENEXTEQUAL) {
            for (long long i = static_cast<long long>(h->pos) + 1; i < size && target < 0; ++i)
                if (cmp(i) == 0) target = i;
        } else {
            const int side = dwSeekType == CEDB_SEEK_VALUEGREATER ? 1 : -1;
            long long best = -1;
            for (long long i = 0; i < size; ++i) {
                if (cmp(i) != side) continue;
                if (best < 0 || side * ascending(h->order[static_cast<size_t>(i)],
                                                 h->order[static_cast<size_t>(best)]) <
                                    0)
                    best = i;
            }
            target = best;
        }
        break;
    }
    default:
        h->pos = h->order.size();
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (target < 0 || target >= size) {
        // Nothing there: later reads find the end.
        h->pos = h->order.size();
        SetLastError(ERROR_SEEK);
        return 0;
    }
    h->pos = static_cast<size_t>(target);
    if (lpdwIndex) *lpdwIndex = static_cast<DWORD>(target);
    return h->order[h->pos].oid;
}

CEOID CeReadRecordProps(HANDLE hDbase, DWORD dwFlags, LPWORD lpcPropID, CEPROPID *rgPropID,
                        LPBYTE *lplpBuffer, LPDWORD lpcbBuffer) {
    DbHandle *h = handleOf(hDbase);
    if (!h || !lpcPropID || !lplpBuffer || !lpcbBuffer) {
        SetLastError(h ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!h->haveOrder && !refreshOrder(h)) {
        SetLastError(ERROR_READ_FAULT);
        return 0;
    }
    Fetched record;
    bool failed = false;
    CEOID rec = recordAtPosition(h, rgPropID, rgPropID ? *lpcPropID : 0, &record, &failed);
    if (!rec) {
        SetLastError(failed ? ERROR_READ_FAULT : ERROR_NO_MORE_ITEMS);
        return 0;
    }
    auto view = [h](const FetchedProp &p) {
        return PropView{p.propid, p.present, p.number, h->fetchBytes.data() + p.offset, p.length};
    };
    static std::vector<PropView> out;
    out.clear();
    const FetchedProp *stored = h->fetchProps.data() + record.first;
    if (rgPropID) {
        for (WORD i = 0; i < *lpcPropID; ++i) {
            const FetchedProp *found = nullptr;
            for (size_t k = 0; k < record.count && !found; ++k)
                if (stored[k].propid == rgPropID[i]) found = &stored[k];
            out.push_back(found ? view(*found) : PropView{rgPropID[i], false, 0, nullptr, 0});
        }
    } else {
        for (size_t k = 0; k < record.count; ++k) out.push_back(view(stored[k]));
    }
    size_t need = align8(out.size() * sizeof(CEPROPVAL));
    for (const PropView &p : out) need += dataSize(p);
    if (need == 0) need = sizeof(CEPROPVAL);  // a record without properties still gets a buffer
    if (need > 0xFFFFFFFFu) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!*lplpBuffer || *lpcbBuffer < need) {
        if (!(dwFlags & CEDB_ALLOWREALLOC)) {
            *lpcbBuffer = static_cast<DWORD>(need);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        HLOCAL mem = *lplpBuffer ? LocalReAlloc(*lplpBuffer, need, LMEM_MOVEABLE)
                                 : LocalAlloc(LMEM_FIXED, need);
        if (!mem) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        *lplpBuffer = static_cast<LPBYTE>(mem);
        *lpcbBuffer = static_cast<DWORD>(need);
    }
    auto vals = reinterpret_cast<CEPROPVAL *>(*lplpBuffer);
    BYTE *data = *lplpBuffer + align8(out.size() * sizeof(CEPROPVAL));
    for (size_t i = 0; i < out.size(); ++i) fillValue(&vals[i], out[i], &data);
    *lpcPropID = static_cast<WORD>(out.size());
    if (h->flags & CEDB_AUTOINCREMENT) ++h->pos;
    return rec;
}

namespace {
int g_writesUntilFault = 0;  // CeFailNthWrite: 0 off, else the writes left until the failing one
}  // namespace

void CeFailNthWrite(int k) { g_writesUntilFault = k > 0 ? k : 0; }

CEOID CeWriteRecordProps(HANDLE hDbase, CEOID oidRecord, WORD cPropID, CEPROPVAL *rgPropVal) {
    DbHandle *h = handleOf(hDbase);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (g_writesUntilFault > 0 && --g_writesUntilFault == 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return 0;
    }
    if (cPropID && !rgPropVal) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (WORD i = 0; i < cPropID; ++i) {
        if (!validType(TypeFromPropID(rgPropVal[i].propid))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    Transaction tx;
    if (!tx.ok) {
        SetLastError(ERROR_LOCK_VIOLATION);
        return 0;
    }
    CEOID rec = oidRecord;
    if (rec == 0) {
        if (recordCountOf(h->db) >= CEDB_MAXRECORDS) {
            SetLastError(ERROR_DISK_FULL);
            return 0;
        }
        Stmt ins("INSERT INTO objects(parent) VALUES(?)");
        if (!ins) return 0;
        ins.bind(1, h->db);
        if (ins.step() != SQLITE_DONE) {
            SetLastError(ERROR_DISK_FULL);
            return 0;
        }
        rec = static_cast<CEOID>(sqlite3_last_insert_rowid(g_db));
    } else if (!recordExists(h->db, rec)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Stmt del("DELETE FROM props WHERE rec=? AND propid=?");
    Stmt upd("UPDATE props SET value=? WHERE rec=? AND propid=?");
    Stmt ins(
        "INSERT INTO props(rec, seq, propid, value) "
        "VALUES(?1, (SELECT ifnull(max(seq), -1) + 1 FROM props WHERE rec=?1), ?2, ?3)");
    if (!del || !upd || !ins) return 0;
    for (WORD i = 0; i < cPropID; ++i) {
        const CEPROPVAL &pv = rgPropVal[i];
        if (pv.wFlags & CEDB_PROPDELETE) {
            sqlite3_reset(del.s);
            del.bind(1, rec);
            del.bind(2, pv.propid);
            if (del.step() != SQLITE_DONE) return 0;
            continue;
        }
        sqlite3_reset(upd.s);
        if (!bindValue(upd, 1, pv)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        upd.bind(2, rec);
        upd.bind(3, pv.propid);
        if (upd.step() != SQLITE_DONE) return 0;
        if (sqlite3_changes(g_db) == 0) {
            sqlite3_reset(ins.s);
            ins.bind(1, rec);
            ins.bind(2, pv.propid);
            bindValue(ins, 3, pv);
            if (ins.step() != SQLITE_DONE) {
                SetLastError(ERROR_DISK_FULL);
                return 0;
            }
        }
    }
    Stmt touch("UPDATE dbs SET modified=?, records=records+? WHERE oid=?");
    if (!touch) return 0;
    touch.bind(1, nowFileTime());
    touch.bind(2, oidRecord == 0 ? 1 : 0);
    touch.bind(3, h->db);
    if (touch.step() != SQLITE_DONE || !tx.commit()) {
        SetLastError(ERROR_DISK_FULL);
        return 0;
    }
    noteChange(h->db, rec, oidRecord == 0, false, cPropID, rgPropVal);
    return rec;
}

BOOL CeDeleteRecord(HANDLE hDatabase, CEOID oidRecord) {
    DbHandle *h = handleOf(hDatabase);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Transaction tx;
    if (!tx.ok || !recordExists(h->db, oidRecord)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Stmt props("DELETE FROM props WHERE rec=?");
    Stmt obj("DELETE FROM objects WHERE oid=?");
    Stmt touch("UPDATE dbs SET modified=?, records=records-1 WHERE oid=?");
    if (!props || !obj || !touch) return FALSE;
    props.bind(1, oidRecord);
    obj.bind(1, oidRecord);
    touch.bind(1, nowFileTime());
    touch.bind(2, h->db);
    if (props.step() != SQLITE_DONE || obj.step() != SQLITE_DONE || touch.step() != SQLITE_DONE ||
        !tx.commit()) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    noteChange(h->db, oidRecord, false, true, 0, nullptr);
    return TRUE;
}

BOOL CeDeleteAllRecords(HANDLE hDatabase) {
    DbHandle *h = handleOf(hDatabase);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Transaction tx;
    if (!tx.ok) {
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    // When the database holds every record of the volume, its properties are all there are:
    // SQLite then frees the table's pages whole instead of deleting the rows one by one, which
    // would cost an import that replaces a full store most of its time.
    Stmt others("SELECT 1 FROM objects WHERE parent<>0 AND parent<>? LIMIT 1");
    if (!others) return FALSE;
    others.bind(1, h->db);
    const int found = others.step();
    sqlite3_reset(others.s);
    if (found != SQLITE_ROW && found != SQLITE_DONE) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    Stmt props(found == SQLITE_DONE
                   ? "DELETE FROM props"
                   : "DELETE FROM props WHERE rec IN (SELECT oid FROM objects WHERE parent=?)");
    Stmt obj("DELETE FROM objects WHERE parent=?");
    Stmt touch("UPDATE dbs SET modified=?, records=0 WHERE oid=?");
    if (!props || !obj || !touch) return FALSE;
    if (found == SQLITE_ROW) props.bind(1, h->db);
    obj.bind(1, h->db);
    touch.bind(1, nowFileTime());
    touch.bind(2, h->db);
    if (props.step() != SQLITE_DONE || obj.step() != SQLITE_DONE || touch.step() != SQLITE_DONE ||
        !tx.commit()) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    // Every handle on the database finds it empty at its next seek; a walk under way drops the
    // records it has not reached yet, as it would after deletes one by one.
    ++g_changeCounts[h->db];
    for (DbHandle *other : g_handles) {
        if (other->db != h->db) continue;
        other->fetched.clear();
        other->changes.clear();
        other->changesLost = true;
    }
    return TRUE;
}

BOOL CeDeleteDatabase(CEOID oid) {
    for (DbHandle *h : g_handles) {
        if (h->db == oid) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    VolumeUse vol;
    if (!vol.ok) return FALSE;
    Transaction tx;
    DbInfo info;
    if (!tx.ok || !findDbByOid(oid, &info)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Stmt props("DELETE FROM props WHERE rec IN (SELECT oid FROM objects WHERE parent=?)");
    Stmt recs("DELETE FROM objects WHERE parent=? OR oid=?");
    Stmt db("DELETE FROM dbs WHERE oid=?");
    if (!props || !recs || !db) return FALSE;
    props.bind(1, oid);
    recs.bind(1, oid);
    recs.bind(2, oid);
    db.bind(1, oid);
    if (props.step() != SQLITE_DONE || recs.step() != SQLITE_DONE || db.step() != SQLITE_DONE ||
        !tx.commit()) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

BOOL CeOidGetInfo(CEOID oid, CEOIDINFO *poidInfo) {
    if (!oid || !poidInfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    VolumeUse vol;
    if (!vol.ok) return FALSE;
    Stmt st("SELECT parent FROM objects WHERE oid=?");
    if (!st) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    st.bind(1, oid);
    if (int rc = st.step(); rc != SQLITE_ROW) {
        // No such object, or a volume that cannot be read.
        SetLastError(rc == SQLITE_DONE ? ERROR_INVALID_PARAMETER : ERROR_READ_FAULT);
        return FALSE;
    }
    auto parent = static_cast<CEOID>(st.i64(0));
    memset(poidInfo, 0, sizeof *poidInfo);
    if (parent) {
        poidInfo->wObjType = OBJTYPE_RECORD;
        poidInfo->infRecord.oidParent = parent;
        return TRUE;
    }
    DbInfo info;
    if (!findDbByOid(oid, &info)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sqlite3_int64 count = recordCountOf(oid);
    if (count < 0) return FALSE;
    Stmt size(
        "SELECT ifnull(sum(length(value)), 0) + 8 * count(*) FROM props "
        "WHERE rec IN (SELECT oid FROM objects WHERE parent=?)");
    if (!size) return FALSE;
    size.bind(1, oid);
    if (size.step() != SQLITE_ROW) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    const sqlite3_int64 bytes = size.i64(0);
    CEDBASEINFO &d = poidInfo->infDatabase;
    poidInfo->wObjType = OBJTYPE_DATABASE;
    d.dwFlags = CEDB_VALIDNAME | CEDB_VALIDTYPE | CEDB_VALIDSORTSPEC | CEDB_VALIDMODTIME;
    lstrcpynW(d.szDbaseName, info.name.c_str(), CEDB_MAXDBASENAMELEN);
    d.dwDbaseType = info.type;
    d.wNumRecords = static_cast<WORD>(std::min<sqlite3_int64>(count, CEDB_MAXRECORDS));
    d.wNumSortOrder = static_cast<WORD>(info.sorts.size());
    d.dwSize = static_cast<DWORD>(std::min<sqlite3_int64>(bytes, 0xFFFFFFFF));
    d.ftLastModified.dwLowDateTime = static_cast<DWORD>(info.modified);
    d.ftLastModified.dwHighDateTime =
        static_cast<DWORD>(static_cast<ULONGLONG>(info.modified) >> 32);
    for (size_t i = 0; i < info.sorts.size() && i < CEDB_MAXSORTORDER; ++i)
        d.rgSortSpecs[i] = info.sorts[i];
    return TRUE;
}

CEOID CeFindNextDatabaseOid(CEOID previous) {
    VolumeUse vol;
    if (!vol.ok) return 0;
    Stmt st("SELECT oid FROM dbs WHERE oid > ? ORDER BY oid LIMIT 1");
    if (!st) {
        SetLastError(ERROR_READ_FAULT);
        return 0;
    }
    st.bind(1, previous);
    int rc = st.step();
    if (rc == SQLITE_ROW) return static_cast<CEOID>(st.i64(0));
    SetLastError(rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : ERROR_READ_FAULT);
    return 0;
}

namespace {

// Runs one of SQLite's checks of the whole file: 1 sound, 0 damaged, -1 when the volume cannot be
// opened (GetLastError as for opening a database). The reason goes into the buffer.
int runVolumeCheck(const char *pragma, WCHAR *reason, DWORD reasonChars) {
    auto say = [&](const WCHAR *text) {
        if (reason && reasonChars) lstrcpynW(reason, text, static_cast<int>(reasonChars));
    };
    VolumeUse vol;
    if (!vol.ok) {
        DWORD error = GetLastError();
        say(error == ERROR_BAD_FORMAT             ? L"not an Arkel store"
            : error == ERROR_FILE_CORRUPT         ? L"an Arkel store, damaged or cut short"
            : error == ERROR_FILENAME_EXCED_RANGE ? L"path too long"
            : error == ERROR_REVISION_MISMATCH    ? L"made by a newer version of the program"
            : error == ERROR_WRITE_PROTECT        ? L"read-only"
            : error == ERROR_BAD_FILE_TYPE        ? L"not a regular file"
                                                  : L"cannot be opened");
        SetLastError(error);
        return -1;
    }
    Stmt st(pragma);
    if (!st) {
        say(L"the check could not run");
        SetLastError(ERROR_FILE_CORRUPT);
        return 0;
    }
    std::string first;
    int rows = 0, rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        if (rows++ == 0) first = reinterpret_cast<const char *>(sqlite3_column_text(st.s, 0));
    }
    if (rc != SQLITE_DONE && rows == 0) first = sqlite3_errmsg(g_db);
    if (rc == SQLITE_DONE && rows == 1 && first == "ok") {
        say(L"ok");
        return 1;
    }
    std::wstring w(first.begin(), first.end());
    say(w.c_str());
    SetLastError(ERROR_FILE_CORRUPT);
    return 0;
}

}  // namespace

bool CeCheckVolume(WCHAR *reason, DWORD reasonChars) {
    return runVolumeCheck("PRAGMA integrity_check", reason, reasonChars) == 1;
}

int CeVerifyVolume(WCHAR *reason, DWORD reasonChars) {
    return runVolumeCheck("PRAGMA quick_check", reason, reasonChars);
}

BOOL CeBeginBatch() {
    if (!acquireVolume()) return FALSE;
    if (!run(g_batchDepth > 0 ? "SAVEPOINT cedb_batch" : "BEGIN IMMEDIATE")) {
        releaseVolume();
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    if (g_batchDepth == 0) exec(kBatchCacheSize);
    ++g_batchDepth;
    return TRUE;
}

namespace {

// After the outermost batch: the cache back to its size and emptied, its memory back to the
// system (the next reads take their pages from the mapped file again).
void endBatchCache() {
    if (g_batchDepth != 0) return;
    exec(kCacheSize);
    sqlite3_db_release_memory(g_db);
    ReleaseFreedPages();
}

}  // namespace

BOOL CeCommitBatch() {
    if (g_batchDepth == 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    const bool outermost = g_batchDepth == 1;
    // SQLite may have rolled the transaction back by itself after an I/O error.
    bool ok = !sqlite3_get_autocommit(g_db) && run(outermost ? "COMMIT" : "RELEASE cedb_batch");
    // A commit that fails (a full disk) leaves the transaction open: end it with nothing of the
    // batch written.
    if (!ok && !sqlite3_get_autocommit(g_db)) {
        if (outermost) {
            run("ROLLBACK");
        } else {
            run("ROLLBACK TO cedb_batch");
            run("RELEASE cedb_batch");
        }
    }
    if (!ok) forgetChanges();
    --g_batchDepth;
    endBatchCache();
    releaseVolume();
    if (!ok) SetLastError(ERROR_WRITE_FAULT);
    return ok ? TRUE : FALSE;
}

BOOL CeRollbackBatch() {
    if (g_batchDepth == 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    bool ok = true;
    if (!sqlite3_get_autocommit(g_db)) {
        if (g_batchDepth > 1)
            ok = run("ROLLBACK TO cedb_batch") && run("RELEASE cedb_batch");
        else
            ok = run("ROLLBACK");
    }
    // What the handles heard of the batch's changes no longer holds: the next seek sorts afresh.
    forgetChanges();
    --g_batchDepth;
    endBatchCache();
    releaseVolume();
    return ok ? TRUE : FALSE;
}

int CeDatabaseRecordCount(CEOID oid) {
    VolumeUse vol;
    if (!vol.ok) return -1;
    DbInfo info;
    if (!oid || !findDbByOid(oid, &info)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const sqlite3_int64 count = recordCountOf(oid);
    if (count < 0) SetLastError(ERROR_READ_FAULT);
    return count < 0 ? -1 : static_cast<int>(std::min<sqlite3_int64>(count, CEDB_MAXRECORDS));
}

ULONGLONG CeDatabaseChangeStamp(HANDLE hDatabase) {
    DbHandle *h = handleOf(hDatabase);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    sqlite3_int64 version = dataVersion();
    if (version < 0) return 0;
    // Other processes' writes show in the data version, this process's own in the counts.
    auto own = static_cast<ULONGLONG>(g_changeCounts[h->db] + g_forgotten);
    return (static_cast<ULONGLONG>(version) << 32 | (own & 0xFFFFFFFF)) + 1;
}

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
