// Windows CE property databases on SQLite: property values, as the volume keeps them and as a
// read hands them out.

#include <algorithm>

#include "platform/cedb_internal.h"

namespace cedb {

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

// ---- the form a read hands out: CEPROPVALs, then their texts and bytes ----

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

}  // namespace cedb
