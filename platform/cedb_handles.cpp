// Windows CE property databases on SQLite: database handles. A handle keeps the order of its
// database's records as its last seek found it, the walk's position in it, the changes this
// process made since, and the records read ahead of the position.

#include <algorithm>

#include "platform/cedb_internal.h"

namespace cedb {

std::set<DbHandle *> g_handles;
std::unordered_map<CEOID, DWORD> g_changeCounts;
DWORD g_forgotten = 0;

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

namespace {

// The order of the handle: by sort key, equal keys by record id; without sort order by id.
bool entryBefore(const DbHandle *h, const Entry &a, const Entry &b) {
    if (h->sorted) {
        int c = compareEntries(h, a, b);
        if (c) return c < 0;
    }
    return a.oid < b.oid;
}

}  // namespace

sqlite3_int64 dataVersion() {
    Stmt st("PRAGMA data_version");
    return st && st.step() == SQLITE_ROW ? st.i64(0) : -1;
}

namespace {

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

}  // namespace

size_t indexOf(const DbHandle *h, CEOID oid) {
    for (size_t i = 0; i < h->order.size(); ++i)
        if (h->order[i].oid == oid) return i;
    return h->order.size();
}

namespace {

void eraseAt(DbHandle *h, size_t i) {
    h->order.erase(h->order.begin() + static_cast<std::ptrdiff_t>(i));
    if (h->pos > i) --h->pos;
}

}  // namespace

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

namespace {

// Whether a record is in the database: 1 yes, 0 no, -1 when the volume could not be read.
int recordPresence(CEOID db, CEOID rec) {
    Stmt st("SELECT 1 FROM objects WHERE oid=? AND parent=?");
    if (!st) return -1;
    st.bind(1, rec);
    st.bind(2, db);
    int rc = st.step();
    return rc == SQLITE_ROW ? 1 : rc == SQLITE_DONE ? 0 : -1;
}

}  // namespace

bool recordExists(CEOID db, CEOID rec) { return recordPresence(db, rec) == 1; }

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

namespace {

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

}  // namespace

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

}  // namespace cedb
