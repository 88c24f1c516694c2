// Windows CE property databases on SQLite: the calls on databases and records.

#include <algorithm>
#include <memory>

#include "platform/cedb_internal.h"
#include "platform/test_seam.h"

using namespace cedb;

namespace {

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

}  // namespace

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
    std::vector<PropView> &out = h->readViews;
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

CEOID CeWriteRecordProps(HANDLE hDbase, CEOID oidRecord, WORD cPropID, CEPROPVAL *rgPropVal) {
    DbHandle *h = handleOf(hDbase);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (CeTestWriteFails()) {
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
