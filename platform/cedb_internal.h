// What the files of the property-database layer share; nothing outside platform/cedb_*.cpp
// includes it. cedb.h says what callers rely on.
//
// The layer in five files, along its concerns:
// - cedb_volume.cpp   the connection (one SQLite file, shared by all handles, closed with the
//                     last), its prepared statements and transactions, the file checks before
//                     opening, the privacy of the volume and its journal, the claim and the flush
// - cedb_values.cpp   property values: their stored form, and the form a read hands out
// - cedb_handles.cpp  database handles: sort keys and their order, the walk's position, the
//                     changes of this process, the records read ahead
// - cedb_api.cpp      the Windows CE calls on databases and records
// - cedb_checks.cpp   the checks of the whole file, and batches
#pragma once

#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/cedb.h"
#include "sqlite3.h"

#undef CloseHandle

namespace cedb {

// ---- the volume (cedb_volume.cpp) ----

extern sqlite3 *g_db;
// Open batches (CeBeginBatch): the outermost is a transaction, every inner one a savepoint.
extern int g_batchDepth;

// The page cache between batches, and during one (see cedb_volume.cpp).
extern const char kCacheSize[];
extern const char kBatchCacheSize[];

// Prepared statements live as long as the connection: preparing one costs more than running it
// for a single record. A statement in use by one caller is not handed to a second; that one gets
// a statement of its own for the length of its use.
struct CachedStatement {
    const char *sql;
    sqlite3_stmt *s;
    bool busy;
};

struct Stmt {
    sqlite3_stmt *s = nullptr;
    size_t slot = 0;
    Stmt(const char *sql);
    ~Stmt();
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

bool exec(const char *sql);
// A statement without result rows, kept prepared (transaction control runs for every write).
bool run(const char *sql);

// The volume opened for the first user and closed with the last; false with the reason in
// GetLastError when it cannot be opened.
bool acquireVolume();
void releaseVolume();

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
    VolumeUse(const VolumeUse &) = delete;
    VolumeUse &operator=(const VolumeUse &) = delete;
};

// One call's changes as one atomic unit: a transaction of its own, or inside a batch a savepoint,
// so that a failed call leaves the batch as it was before the call.
struct Transaction {
    bool done = false;
    bool nested;
    bool ok;
    Transaction();
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    bool commit();
    void undo();
};

// ---- property values (cedb_values.cpp) ----

// Whether the layer keeps values of this type.
bool validType(WORD type);

// A value as the volume keeps it: integer types as a number, text, doubles and blobs as bytes.
struct Value {
    bool present = false;
    sqlite3_int64 number = 0;
    std::vector<unsigned char> bytes;
};

Value columnValue(sqlite3_stmt *s, int col);
// Stores one property value into statement parameter i; false for a value that cannot be kept.
bool bindValue(Stmt &st, int i, const CEPROPVAL &pv);
double asDouble(const Value &v);
Value valueOf(const CEPROPVAL &pv);

// A property as a read hands it out.
struct PropView {
    CEPROPID propid;
    bool present;
    sqlite3_int64 number;
    const unsigned char *data;
    size_t length;
};

inline size_t align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }
// Size of a property's data behind the CEPROPVAL array.
size_t dataSize(const PropView &p);
// Writes the property into out, its text or bytes at *data (which moves past them).
void fillValue(CEPROPVAL *out, const PropView &p, BYTE **data);

// ---- handles (cedb_handles.cpp) ----

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
    // The properties of the record being read, as the read hands them out; kept with the handle,
    // so that a read through another handle never touches them.
    std::vector<PropView> readViews;
};

extern std::set<DbHandle *> g_handles;
// Changes this process made, per database (all of them after a rolled back batch).
extern std::unordered_map<CEOID, DWORD> g_changeCounts;
extern DWORD g_forgotten;

// The handle behind h, or nullptr when h is none of the layer's open handles.
DbHandle *handleOf(HANDLE h);
Entry makeEntry(const DbHandle *h, CEOID oid, const Value &v);
// Three-way comparison of two sort keys under the handle's sort order; records without the key
// come last (first with CEDB_SORT_UNKNOWNFIRST).
int compareEntries(const DbHandle *h, const Entry &a, const Entry &b);
sqlite3_int64 dataVersion();
size_t indexOf(const DbHandle *h, CEOID oid);
// Brings the handle's order up to date for an absolute seek; the position goes to the start.
bool refreshOrder(DbHandle *h);
// For moves from the current place: the walk's order stays, records deleted since drop out, so
// that offsets count live records.
bool dropDeleted(DbHandle *h);
bool recordExists(CEOID db, CEOID rec);
// Tells every handle on the database about a change this process made.
void noteChange(CEOID db, CEOID rec, bool created, bool erased, WORD count, const CEPROPVAL *props);
// After a batch was rolled back nothing that the handles heard of its changes holds.
void forgetChanges();
// The record at the position with where its properties lie, skipping records deleted since the
// order was taken; 0 at the end or on a read failure (*failed). With ids, only those properties
// are needed.
CEOID recordAtPosition(DbHandle *h, const CEPROPID *ids, size_t idCount, Fetched *record,
                       bool *failed);

}  // namespace cedb
