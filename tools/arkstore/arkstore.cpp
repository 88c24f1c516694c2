// arkstore: support tool for the store volume.
//
//   arkstore dump [-o FILE]   every database with every record, as JSON
//   arkstore load FILE        create the databases and records a dump describes
//   arkstore check            SQLite's integrity check of the volume
//
// The volume is the program's (ARKEL_OBJECT_STORE names another one).

#include <fcntl.h>
#include <io.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <system_error>
#include <string>
#include <vector>

#include "platform/cedb.h"
#include "platform/private_file.h"
#include "platform/utf8.h"
#include "store/property_database.h"

namespace {

using nlohmann::json;

// Strict: fails on bytes that are not UTF-8.
bool wide(const std::string &s, std::wstring *out) {
    out->clear();
    if (s.empty()) return true;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                                nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                        out->data(), n);
    return true;
}

bool wellFormedUtf16(const WCHAR *s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (IS_HIGH_SURROGATE(s[i])) {
            if (i + 1 >= n || !IS_LOW_SURROGATE(s[i + 1])) return false;
            ++i;
        } else if (IS_LOW_SURROGATE(s[i])) {
            return false;
        }
    }
    return true;
}

std::string hex(const BYTE *p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool unhex(const std::string &s, std::vector<BYTE> *out) {
    if (s.size() % 2) return false;
    out->clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        auto nib = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        int hi = nib(s[i]), lo = nib(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<BYTE>(hi * 16 + lo));
    }
    return true;
}

struct TypeName {
    WORD type;
    const char *name;
};
const TypeName kTypes[] = {{CEVT_I2, "I2"},
                           {CEVT_UI2, "UI2"},
                           {CEVT_I4, "I4"},
                           {CEVT_UI4, "UI4"},
                           {CEVT_BOOL, "BOOL"},
                           {CEVT_R8, "R8"},
                           {CEVT_FILETIME, "FILETIME"},
                           {CEVT_LPWSTR, "LPWSTR"},
                           {CEVT_BLOB, "BLOB"}};

const char *typeName(WORD t) {
    for (const TypeName &k : kTypes)
        if (k.type == t) return k.name;
    return "?";
}

std::string propHex(CEPROPID id) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%08lx", static_cast<unsigned long>(id));
    return buf;
}

json propToJson(const CEPROPVAL &v) {
    json p;
    p["propid"] = propHex(v.propid);
    WORD t = TypeFromPropID(v.propid);
    p["type"] = typeName(t);
    switch (t) {
    case CEVT_I2: p["value"] = v.val.iVal; break;
    case CEVT_UI2: p["value"] = v.val.uiVal; break;
    case CEVT_I4: p["value"] = v.val.lVal; break;
    case CEVT_UI4: p["value"] = v.val.ulVal; break;
    case CEVT_BOOL: p["value"] = v.val.boolVal; break;
    case CEVT_FILETIME:
        p["value"] = (static_cast<unsigned long long>(v.val.filetime.dwHighDateTime) << 32) |
                     v.val.filetime.dwLowDateTime;
        break;
    case CEVT_R8:
        // JSON has no NaN or infinity; those keep their exact bits as hex.
        if (std::isfinite(v.val.dblVal))
            p["value"] = v.val.dblVal;
        else
            p["hex"] = hex(reinterpret_cast<const BYTE *>(&v.val.dblVal), sizeof(double));
        break;
    case CEVT_LPWSTR: {
        size_t n = wcslen(v.val.lpwstr);
        // Text that is not well-formed UTF-16 has no UTF-8 form; its code units go as hex.
        if (wellFormedUtf16(v.val.lpwstr, n))
            p["value"] = Utf8(std::wstring(v.val.lpwstr, n));
        else
            p["hex"] = hex(reinterpret_cast<const BYTE *>(v.val.lpwstr), n * sizeof(WCHAR));
        break;
    }
    case CEVT_BLOB: p["value"] = hex(v.val.blob.lpb, v.val.blob.dwCount); break;
    default: break;
    }
    return p;
}

int fail(const std::string &message, int code = 1) {
    fprintf(stderr, "arkstore: %s\n", message.c_str());
    return code;
}

// The volume's path, or why there is none: a path that does not fit is refused, so that no other
// store is ever used in its place.
bool locateVolume(std::wstring *path, std::string *problem) {
    WCHAR buffer[MAX_PATH];
    if (CeGetVolumePath(buffer)) {
        *path = buffer;
        return true;
    }
    *problem = GetLastError() == ERROR_FILENAME_EXCED_RANGE
                   ? "the store path (ARKEL_OBJECT_STORE) is longer than 259 characters"
                   : "no path for the store";
    return false;
}

std::string volumeName() {
    std::wstring path;
    std::string problem;
    return locateVolume(&path, &problem) ? Utf8(path) : std::string("(no volume path)");
}

// Whether anything is at the volume's path: a file, or something Windows does not list as one
// but opens (a FIFO, a device), which the layer then refuses with its reason.
bool volumeExists() {
    WCHAR path[MAX_PATH];
    if (!CeGetVolumePath(path)) return false;
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return true;
    HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

std::string openError() {
    const DWORD error = GetLastError();
    return volumeName() + (error == ERROR_BAD_FORMAT ? ": not an Arkel store"
                           : error == ERROR_FILE_CORRUPT
                               ? ": an Arkel store, but damaged or cut short; nothing read or "
                                 "written"
                           : error == ERROR_REVISION_MISMATCH ? ": made by a newer version of the "
                                                                "program; nothing read or written"
                           : error == ERROR_WRITE_PROTECT ? ": read-only; nothing read or written"
                           : error == ERROR_LOCK_VIOLATION
                               ? ": in use by another program (The Arkel runs on it); nothing "
                                 "written"
                           : error == ERROR_BAD_FILE_TYPE
                               ? ": not a regular file (a device, FIFO or folder); nothing touched"
                               : ": cannot be opened");
}

std::string damaged(const std::string &what) {
    return volumeName() + ": " + what +
           " cannot be read: the store is damaged (arkstore check tells more); nothing written";
}

// A path as Windows names it; under Wine an absolute Unix path is taken as the volume's is.
std::wstring windowsPath(const std::wstring &path) {
    if (path.empty() || path[0] != L'/') return path;
    using ToDosFn = WCHAR *(CDECL *)(const char *);
    auto toDos = reinterpret_cast<ToDosFn>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return path;
    WCHAR *dos = toDos(Utf8(path).c_str());
    if (!dos) return path;
    std::wstring result = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return result;
}

std::wstring fullPath(const std::wstring &path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (!n) return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    full.resize(n);
    return full;
}

// The identity of an existing file or folder: volume and file index.
bool fileIdentity(const std::wstring &path, BY_HANDLE_FILE_INFORMATION *info) {
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, info) != 0;
    CloseHandle(h);
    return ok;
}

bool sameIdentity(const std::wstring &a, const std::wstring &b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return fileIdentity(a, &x) && fileIdentity(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// Whether two names mean the same file, also when it does not exist yet (a journal file between
// two runs): the same full path, the same existing file (a link, a Unix path, another drive
// letter), or the same name in the same folder.
bool sameFile(const std::wstring &a, const std::wstring &b) {
    const std::wstring fa = fullPath(a), fb = fullPath(b);
    if (CompareStringOrdinal(fa.c_str(), -1, fb.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    if (sameIdentity(fa, fb)) return true;
    const size_t sa = fa.find_last_of(L"\\/"), sb = fb.find_last_of(L"\\/");
    if (sa == std::wstring::npos || sb == std::wstring::npos) return false;
    return CompareStringOrdinal(fa.c_str() + sa + 1, -1, fb.c_str() + sb + 1, -1, TRUE) ==
               CSTR_EQUAL &&
           sameIdentity(fa.substr(0, sa + 1), fb.substr(0, sb + 1));
}

// Writes a new file beside the target and moves it over the target, so that a failed write leaves
// the old file as it was.
bool writeAtomically(const std::wstring &path, const std::string &text, std::string *why) {
    std::wstring full = fullPath(path);
    std::wstring dir = full.substr(0, full.find_last_of(L"\\/") + 1);
    WCHAR temp[MAX_PATH];
    if (dir.empty() || dir.size() >= MAX_PATH - 14 ||
        !GetTempFileNameW(dir.c_str(), L"ark", 0, temp)) {
        *why = "cannot create a file in its folder";
        return false;
    }
    // The dump holds every secret of a plain store: the name GetTempFileNameW reserved is made
    // again as a file of the user alone.
    DeleteFileW(temp);
    HANDLE h = CreatePrivateFile(temp);
    DWORD put = 0;
    bool ok = h != INVALID_HANDLE_VALUE &&
              WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
              put == text.size() && FlushFileBuffers(h);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!ok ||
        !MoveFileExW(temp, full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp);
        *why = "cannot write";
        return false;
    }
    return true;
}

int dump(const std::wstring &output) {
    std::wstring volume;
    std::string problem;
    if (!locateVolume(&volume, &problem)) return fail(problem);
    const std::wstring outPath = windowsPath(output);
    // The output must not take the place of the store or of its journal files.
    if (!outPath.empty()) {
        for (const wchar_t *suffix : {L"", L"-wal", L"-shm", L"-journal"})
            if (sameFile(outPath, volume + suffix))
                return fail(Utf8(output) + ": that is the store" +
                            (*suffix ? std::string(" journal") : std::string()) +
                            " itself; nothing written");
    }
    if (!volumeExists()) return fail(volumeName() + ": no store there");
    json root;
    root["databases"] = json::array();
    CEOID oid = 0;
    SetLastError(0);
    while ((oid = CeFindNextDatabaseOid(oid)) != 0) {
        CEOIDINFO info;
        if (!CeOidGetInfo(oid, &info))
            return fail(GetLastError() == ERROR_READ_FAULT ? damaged("the list of databases")
                                                           : openError());
        const CEDBASEINFO &d = info.infDatabase;
        json db;
        db["name"] = Utf8(d.szDbaseName);
        db["oid"] = oid;
        db["type"] = d.dwDbaseType;
        db["sortOrders"] = json::array();
        for (WORD i = 0; i < d.wNumSortOrder; ++i)
            db["sortOrders"].push_back({{"propid", propHex(d.rgSortSpecs[i].propid)},
                                        {"flags", d.rgSortSpecs[i].dwFlags}});
        db["records"] = json::array();
        CEOID open = oid;
        HANDLE h = CeOpenDatabase(&open, nullptr, 0, CEDB_AUTOINCREMENT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return fail(openError());
        bool whole = WalkDatabase(h, [&](CEOID rec, const CEPROPVAL *vals, WORD count) {
            json r;
            r["oid"] = rec;
            r["props"] = json::array();
            for (WORD i = 0; i < count; ++i) r["props"].push_back(propToJson(vals[i]));
            db["records"].push_back(std::move(r));
            return true;
        });
        CloseHandle(h);
        // A walk that ends early on a damaged page would make a backup that lacks records.
        if (!whole) return fail(damaged("database " + Utf8(d.szDbaseName)));
        root["databases"].push_back(std::move(db));
    }
    DWORD ended = GetLastError();
    if (ended == ERROR_BAD_FORMAT || ended == ERROR_OPEN_FAILED ||
        ended == ERROR_REVISION_MISMATCH || ended == ERROR_WRITE_PROTECT ||
        ended == ERROR_BAD_FILE_TYPE)
        return fail(openError());
    if (ended != ERROR_NO_MORE_ITEMS) return fail(damaged("the list of databases"));
    std::string text = root.dump(2) + "\n";
    if (outPath.empty()) {
        _setmode(_fileno(stdout), _O_BINARY);
        fwrite(text.data(), 1, text.size(), stdout);
        return fflush(stdout) == 0 ? 0 : fail("cannot write the output");
    }
    std::string why;
    return writeAtomically(outPath, text, &why) ? 0 : fail(Utf8(output) + ": " + why);
}

// One property read from a dump, kept until every record has been checked.
struct LoadedProp {
    CEPROPVAL value{};
    std::wstring text;
    std::vector<BYTE> bytes;
};

// A property id as a dump writes it: "0x" and one to eight hex digits.
bool parsePropId(const json &j, CEPROPID *id) {
    if (!j.is_string()) return false;
    const std::string &s = j.get_ref<const std::string &>();
    if (s.size() < 3 || s.size() > 10 || s.compare(0, 2, "0x") != 0) return false;
    for (size_t i = 2; i < s.size(); ++i)
        if (!isxdigit(static_cast<unsigned char>(s[i]))) return false;
    *id = static_cast<CEPROPID>(strtoul(s.c_str() + 2, nullptr, 16));
    return true;
}

// A whole number from 0 to 0xFFFFFFFF.
bool parseDword(const json &j, DWORD *value) {
    if (!j.is_number_unsigned() || j.get<unsigned long long>() > 0xFFFFFFFFULL) return false;
    *value = static_cast<DWORD>(j.get<unsigned long long>());
    return true;
}

bool parseProp(const json &p, LoadedProp *out, std::string *why) {
    if (!p.is_object() || !p.contains("propid") || !p["propid"].is_string()) {
        *why = "property without \"propid\"";
        return false;
    }
    const std::string &id = p["propid"].get_ref<const std::string &>();
    if (!parsePropId(p["propid"], &out->value.propid)) {
        *why = "bad propid " + id;
        return false;
    }
    WORD t = TypeFromPropID(out->value.propid);
    if (p.contains("type") && p["type"] != typeName(t)) {
        *why = "type of " + id + " does not match its propid";
        return false;
    }
    bool hasHex = p.contains("hex") && p["hex"].is_string();
    const json &val = p.contains("value") ? p["value"] : json();
    auto needNumber = [&](long long lo, unsigned long long hi, unsigned long long *n) {
        if (val.is_number_unsigned())
            *n = val.get<unsigned long long>();
        else if (val.is_number_integer() && val.get<long long>() >= lo)
            *n = static_cast<unsigned long long>(val.get<long long>());
        else
            return false;
        if (val.is_number_unsigned() && *n > hi) return false;
        return true;
    };
    unsigned long long n = 0;
    switch (t) {
    case CEVT_I2:
        if (!needNumber(-32768, 32767, &n)) break;
        out->value.val.iVal = static_cast<short>(n);
        return true;
    case CEVT_UI2:
        if (!needNumber(0, 65535, &n)) break;
        out->value.val.uiVal = static_cast<USHORT>(n);
        return true;
    case CEVT_I4:
        if (!needNumber(-2147483648LL, 2147483647ULL, &n)) break;
        out->value.val.lVal = static_cast<long>(n);
        return true;
    case CEVT_UI4:
        if (!needNumber(0, 0xFFFFFFFFULL, &n)) break;
        out->value.val.ulVal = static_cast<ULONG>(n);
        return true;
    case CEVT_BOOL:
        if (!needNumber(-2147483648LL, 2147483647ULL, &n)) break;
        out->value.val.boolVal = static_cast<BOOL>(n);
        return true;
    case CEVT_FILETIME:
        if (!needNumber(0, ~0ULL, &n)) break;
        out->value.val.filetime.dwLowDateTime = static_cast<DWORD>(n);
        out->value.val.filetime.dwHighDateTime = static_cast<DWORD>(n >> 32);
        return true;
    case CEVT_R8:
        if (hasHex) {
            if (!unhex(p["hex"], &out->bytes) || out->bytes.size() != sizeof(double)) break;
            memcpy(&out->value.val.dblVal, out->bytes.data(), sizeof(double));
            return true;
        }
        if (!val.is_number()) break;
        out->value.val.dblVal = val.get<double>();
        return true;
    case CEVT_LPWSTR:
        if (hasHex) {
            if (!unhex(p["hex"], &out->bytes) || out->bytes.size() % 2) break;
            out->text.assign(reinterpret_cast<const WCHAR *>(out->bytes.data()),
                             out->bytes.size() / 2);
        } else if (!val.is_string() || !wide(val.get<std::string>(), &out->text)) {
            break;
        }
        if (out->text.find(L'\0') != std::wstring::npos) break;
        return true;
    case CEVT_BLOB:
        if (!val.is_string() || !unhex(val.get<std::string>(), &out->bytes)) break;
        return true;
    default: *why = "unknown value type in " + id; return false;
    }
    *why = "bad value for " + id;
    return false;
}

struct LoadedDb {
    std::wstring name;
    DWORD type = 0;
    std::vector<SORTORDERSPEC> sorts;
    std::vector<std::vector<LoadedProp>> records;
};

bool sameDatabaseName(const std::wstring &a, const std::wstring &b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                          b.c_str(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

const char kNoProps[] = "record without \"props\" in ";

// One record of a dump: its properties, checked; an empty string, or what is wrong (kNoProps is
// completed with the database's name by the caller).
std::string readRecord(const json &r, std::vector<LoadedProp> *props) {
    if (!r.is_object() || !r.contains("props") || !r["props"].is_array()) return kNoProps;
    std::string why;
    for (const json &p : r["props"]) {
        LoadedProp lp;
        if (!parseProp(p, &lp, &why)) return why;
        props->push_back(std::move(lp));
    }
    if (props->size() > 0xFFFF) return "record with too many properties";
    return {};
}

// The records of each object of the "databases" array, read while the file is parsed (the last
// "databases" and "records" key counts, as in the tree). A record that passes readRecord leaves
// the tree at once: the tree of a full store would otherwise hold every record as a node of its
// own, whose making and freeing cost as much as the load's writes. A record that does not pass
// stays in the tree, where readDump names it.
class RecordTaker {
public:
    std::vector<std::vector<std::vector<LoadedProp>>> taken;

    bool operator()(int depth, json::parse_event_t event, json &parsed) {
        using E = json::parse_event_t;
        if (event == E::key && depth == 1) {
            inDatabases_ = parsed == "databases";
            if (inDatabases_) taken.clear();
        } else if (event == E::object_start && depth == 2 && inDatabases_) {
            taken.emplace_back();
            inRecords_ = false;
        } else if (event == E::key && depth == 3 && inDatabases_ && !taken.empty()) {
            inRecords_ = parsed == "records";
            if (inRecords_) taken.back().clear();
        } else if (event == E::object_end && depth == 4 && inDatabases_ && inRecords_) {
            std::vector<LoadedProp> props;
            try {
                if (!readRecord(parsed, &props).empty()) return true;
            } catch (const std::exception &) {
                return true;
            }
            taken.back().push_back(std::move(props));
            return false;
        }
        return true;
    }

private:
    bool inDatabases_ = false;
    bool inRecords_ = false;
};

// Reads a dump into dbs and checks everything the layer would refuse, so that a bad file is found
// before anything is written. taken: the records that RecordTaker took out of the tree while it
// was parsed. Returns an empty string, or what is wrong.
std::string readDump(const json &root, std::vector<std::vector<std::vector<LoadedProp>>> &taken,
                     std::vector<LoadedDb> *dbs) {
    if (!root.is_object() || !root.contains("databases") || !root["databases"].is_array())
        return "no \"databases\" array";
    size_t index = 0;
    for (const json &d : root["databases"]) {
        LoadedDb db;
        std::string why;
        if (!d.is_object() || !d.contains("name") || !d["name"].is_string() ||
            !wide(d["name"].get<std::string>(), &db.name) || db.name.empty() ||
            db.name.size() >= CEDB_MAXDBASENAMELEN || db.name.find(L'\0') != std::wstring::npos)
            return "database without a valid \"name\"";
        const std::string name = Utf8(db.name);
        for (const LoadedDb &earlier : *dbs)
            if (sameDatabaseName(earlier.name, db.name)) return "database " + name + " named twice";
        if (d.contains("type") && !parseDword(d["type"], &db.type))
            return "bad type of database " + name;
        if (d.contains("sortOrders")) {
            if (!d["sortOrders"].is_array()) return "bad sort orders in " + name;
            for (const json &o : d["sortOrders"]) {
                SORTORDERSPEC order{0, 0};
                if (!o.is_object() || !o.contains("propid") ||
                    !parsePropId(o["propid"], &order.propid) ||
                    (o.contains("flags") && !parseDword(o["flags"], &order.dwFlags)))
                    return "bad sort order in " + name;
                // What a database can be sorted on: a known type other than a BLOB, with the
                // known flags.
                WORD t = TypeFromPropID(order.propid);
                if (!strcmp(typeName(t), "?") || t == CEVT_BLOB || (order.dwFlags & ~0xFu))
                    return "sort order " + propHex(order.propid) + " of " + name +
                           " cannot be used";
                db.sorts.push_back(order);
            }
        }
        if (db.sorts.size() > CEDB_MAXSORTORDER) return "too many sort orders in " + name;
        if (d.contains("records")) {
            if (!d["records"].is_array()) return "bad records in " + name;
            if (index < taken.size()) db.records = std::move(taken[index]);
            // What the parse left in the tree did not pass; the first of it is named.
            for (const json &r : d["records"]) {
                std::vector<LoadedProp> props;
                why = readRecord(r, &props);
                if (!why.empty()) return why == kNoProps ? why + name : why;
                db.records.push_back(std::move(props));
            }
        }
        if (db.records.size() > CEDB_MAXRECORDS) return "more than 65535 records in " + name;
        dbs->push_back(std::move(db));
        ++index;
    }
    return {};
}

int load(const std::wstring &argument) {
    const std::wstring path = windowsPath(argument);
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) return fail(Utf8(argument) + ": cannot be read");
    // Read whole, then parsed from memory: the parser reads a stream one character at a time
    // through its buffer, which costs more than the copy.
    std::string text;
    std::error_code sizeUnknown;
    const auto size = std::filesystem::file_size(std::filesystem::path(path), sizeUnknown);
    if (!sizeUnknown) text.reserve(static_cast<size_t>(size));
    std::vector<char> chunk(1 << 16);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0)
        text.append(chunk.data(), static_cast<size_t>(in.gcount()));
    if (in.bad()) return fail(Utf8(argument) + ": cannot be read");
    std::vector<LoadedDb> dbs;
    std::string why;
    try {
        RecordTaker taker;
        json root = json::parse(text, std::ref(taker), false);
        std::string().swap(text);
        if (root.is_discarded()) return fail(Utf8(argument) + ": not valid JSON");
        why = readDump(root, taker.taken, &dbs);
    } catch (const json::exception &e) {
        why = std::string("not a dump (") + e.what() + ")";
    }
    if (!why.empty()) return fail(Utf8(argument) + ": " + why);

    // Then the store: it must be sound and hold none of the databases yet.
    std::wstring volume;
    if (!locateVolume(&volume, &why)) return fail(why);
    WCHAR reason[256];
    int sound = CeVerifyVolume(reason, 256);
    if (sound < 0) return fail(openError());
    if (sound == 0)
        return fail(volumeName() + ": the store is damaged (" + Utf8(reason) + "); nothing loaded");
    // One writer at a time: a program that has the store open keeps its own view of it.
    if (!CeClaimVolume()) return fail(openError());
    SetLastError(0);
    for (CEOID oid = 0; (oid = CeFindNextDatabaseOid(oid)) != 0;) {
        CEOIDINFO info;
        if (!CeOidGetInfo(oid, &info))
            return fail(GetLastError() == ERROR_READ_FAULT ? damaged("the list of databases")
                                                           : openError());
        for (const LoadedDb &db : dbs)
            if (sameDatabaseName(info.infDatabase.szDbaseName, db.name))
                return fail(volumeName() + ": database " + Utf8(db.name) +
                            " exists already; nothing loaded");
    }
    if (GetLastError() != ERROR_NO_MORE_ITEMS) return fail(damaged("the list of databases"));

    // The whole load is one batch: much faster than a transaction per record, and a load that
    // fails or is killed part-way leaves the store as it was. Without a batch (the volume is
    // busy), a write that still fails (a full disk) takes back the databases made so far.
    const bool batch = CeBeginBatch() != FALSE;
    std::vector<CEOID> created;
    auto undo = [&](const std::string &message) {
        if (batch)
            CeRollbackBatch();
        else
            for (CEOID oid : created) CeDeleteDatabase(oid);
        return fail(message + "; nothing loaded");
    };
    for (LoadedDb &db : dbs) {
        CEOID oid = CeCreateDatabase(db.name.data(), db.type, static_cast<WORD>(db.sorts.size()),
                                     db.sorts.data());
        if (!oid) return undo(volumeName() + ": cannot create database " + Utf8(db.name));
        created.push_back(oid);
        HANDLE h = CeOpenDatabase(&oid, nullptr, 0, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return undo(openError());
        for (auto &props : db.records) {
            std::vector<CEPROPVAL> values;
            for (LoadedProp &p : props) {
                WORD t = TypeFromPropID(p.value.propid);
                if (t == CEVT_LPWSTR) p.value.val.lpwstr = p.text.data();
                if (t == CEVT_BLOB) {
                    p.value.val.blob.dwCount = static_cast<DWORD>(p.bytes.size());
                    p.value.val.blob.lpb = p.bytes.data();
                }
                values.push_back(p.value);
            }
            if (!CeWriteRecordProps(h, 0, static_cast<WORD>(values.size()), values.data())) {
                CloseHandle(h);
                return undo(volumeName() + ": cannot write a record of " + Utf8(db.name));
            }
        }
        CloseHandle(h);
    }
    if (batch && !CeCommitBatch())
        return fail(volumeName() + ": cannot write the store; nothing loaded");
    return 0;
}

int check() {
    std::wstring volume;
    std::string problem;
    if (!locateVolume(&volume, &problem)) return fail(problem);
    if (!volumeExists()) return fail(volumeName() + ": no store there");
    WCHAR reason[256];
    if (CeCheckVolume(reason, 256)) {
        printf("%s: ok\n", volumeName().c_str());
        return 0;
    }
    if (GetLastError() == ERROR_FILE_CORRUPT)
        return fail(volumeName() + ": the store is damaged: " + Utf8(reason));
    return fail(volumeName() + ": " + Utf8(reason));
}

int usage(FILE *to, int code) {
    fputs(
        "usage: arkstore dump [-o FILE] | load FILE | check\n"
        "  dump    print every database and record of the store volume as JSON\n"
        "  load    create the databases and records that a dump describes\n"
        "  check   run the integrity check of the store volume\n"
        "The volume is the program's store, or the file that ARKEL_OBJECT_STORE names.\n",
        to);
    return code;
}

int run(int argc, wchar_t **argv) {
    if (argc < 2) return usage(stderr, 2);
    std::wstring cmd = argv[1];
    if (cmd == L"--help" || cmd == L"-h" || cmd == L"help") return usage(stdout, 0);
    for (int i = 2; i < argc; ++i)
        if (std::wstring(argv[i]) == L"--help") return usage(stdout, 0);
    if (cmd == L"dump") {
        if (argc == 2) return dump(L"");
        if (argc == 4 && std::wstring(argv[2]) == L"-o") return dump(argv[3]);
        return usage(stderr, 2);
    }
    if (cmd == L"load" && argc == 3) return load(argv[2]);
    if (cmd == L"check" && argc == 2) return check();
    return usage(stderr, 2);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    // Whatever a file holds, it gets a message and exit 1, never an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        return fail(e.what());
    }
}
