// arkstore: support tool for the store volume.
//
//   arkstore dump [-o FILE]   every database with every record, as JSON
//   arkstore load FILE        create the databases and records a dump describes
//   arkstore check            SQLite's integrity check of the volume
//
// The volume is the program's (ARKEL_OBJECT_STORE names another one).

#include <fcntl.h>
#include <io.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/cedb.h"
#include "store/property_database.h"

namespace {

using nlohmann::json;

std::string utf8(const std::wstring &w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

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
            p["value"] = utf8(std::wstring(v.val.lpwstr, n));
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

std::string volumeName() {
    WCHAR path[MAX_PATH];
    return CeGetVolumePath(path) ? utf8(path) : std::string("(no volume path)");
}

bool volumeExists() {
    WCHAR path[MAX_PATH];
    return CeGetVolumePath(path) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

std::string openError() {
    return volumeName() +
           (GetLastError() == ERROR_BAD_FORMAT ? ": not an Arkel store" : ": cannot be opened");
}

int dump(const std::wstring &outPath) {
    if (!volumeExists()) return fail(volumeName() + ": no store there");
    json root;
    root["databases"] = json::array();
    CEOID oid = 0;
    SetLastError(0);
    while ((oid = CeFindNextDatabaseOid(oid)) != 0) {
        CEOIDINFO info;
        if (!CeOidGetInfo(oid, &info)) return fail(openError());
        const CEDBASEINFO &d = info.infDatabase;
        json db;
        db["name"] = utf8(d.szDbaseName);
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
        WalkDatabase(h, [&](CEOID rec, const CEPROPVAL *vals, WORD count) {
            json r;
            r["oid"] = rec;
            r["props"] = json::array();
            for (WORD i = 0; i < count; ++i) r["props"].push_back(propToJson(vals[i]));
            db["records"].push_back(std::move(r));
            return true;
        });
        CloseHandle(h);
        root["databases"].push_back(std::move(db));
    }
    if (GetLastError() == ERROR_BAD_FORMAT || GetLastError() == ERROR_OPEN_FAILED)
        return fail(openError());
    std::string text = root.dump(2) + "\n";
    if (outPath.empty()) {
        _setmode(_fileno(stdout), _O_BINARY);
        fwrite(text.data(), 1, text.size(), stdout);
        return fflush(stdout) == 0 ? 0 : fail("cannot write the output");
    }
    std::ofstream out(std::filesystem::path(outPath), std::ios::binary);
    out << text;
    out.close();
    return out ? 0 : fail(utf8(outPath) + ": cannot write");
}

// One property read from a dump, kept until every record has been checked.
struct LoadedProp {
    CEPROPVAL value{};
    std::wstring text;
    std::vector<BYTE> bytes;
};

bool parseProp(const json &p, LoadedProp *out, std::string *why) {
    if (!p.is_object() || !p.contains("propid") || !p["propid"].is_string()) {
        *why = "property without \"propid\"";
        return false;
    }
    const std::string &id = p["propid"].get_ref<const std::string &>();
    char *end = nullptr;
    unsigned long v = strtoul(id.c_str(), &end, 16);
    if (id.size() < 3 || id.compare(0, 2, "0x") != 0 || *end) {
        *why = "bad propid " + id;
        return false;
    }
    out->value.propid = static_cast<CEPROPID>(v);
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

int loadInto(std::vector<LoadedDb> &dbs);

int load(const std::wstring &path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) return fail(utf8(path) + ": cannot be read");
    json root = json::parse(in, nullptr, false);
    if (root.is_discarded()) return fail(utf8(path) + ": not valid JSON");
    if (!root.is_object() || !root.contains("databases") || !root["databases"].is_array())
        return fail(utf8(path) + ": no \"databases\" array");

    // Read and check everything first, so that a bad file changes nothing.
    std::vector<LoadedDb> dbs;
    for (const json &d : root["databases"]) {
        LoadedDb db;
        std::string why;
        if (!d.is_object() || !d.contains("name") || !d["name"].is_string() ||
            !wide(d["name"].get<std::string>(), &db.name) || db.name.empty() ||
            db.name.size() >= CEDB_MAXDBASENAMELEN)
            return fail(utf8(path) + ": database without a valid \"name\"");
        db.type = d.contains("type") && d["type"].is_number_unsigned() ? d["type"].get<DWORD>() : 0;
        if (d.contains("sortOrders")) {
            for (const json &s : d["sortOrders"]) {
                if (!s.is_object() || !s.contains("propid") || !s["propid"].is_string())
                    return fail(utf8(path) + ": bad sort order in " + utf8(db.name));
                SORTORDERSPEC order{static_cast<CEPROPID>(strtoul(
                                        s["propid"].get<std::string>().c_str(), nullptr, 16)),
                                    s.contains("flags") ? s["flags"].get<DWORD>() : 0};
                db.sorts.push_back(order);
            }
        }
        if (db.sorts.size() > CEDB_MAXSORTORDER)
            return fail(utf8(path) + ": too many sort orders in " + utf8(db.name));
        if (d.contains("records")) {
            for (const json &r : d["records"]) {
                if (!r.is_object() || !r.contains("props") || !r["props"].is_array())
                    return fail(utf8(path) + ": record without \"props\" in " + utf8(db.name));
                std::vector<LoadedProp> props;
                for (const json &p : r["props"]) {
                    LoadedProp lp;
                    if (!parseProp(p, &lp, &why)) return fail(utf8(path) + ": " + why);
                    props.push_back(std::move(lp));
                }
                if (props.size() > 0xFFFF)
                    return fail(utf8(path) + ": record with too many properties");
                db.records.push_back(std::move(props));
            }
        }
        if (db.records.size() > CEDB_MAXRECORDS)
            return fail(utf8(path) + ": more than 65535 records in " + utf8(db.name));
        dbs.push_back(std::move(db));
    }

    // One batch for the whole load: a load that fails or is killed part-way leaves the store as
    // it was, and a rerun starts from there.
    if (!CeBeginBatch()) return fail(openError());
    int result = loadInto(dbs);
    if (result != 0) {
        CeRollbackBatch();
        return result;
    }
    if (!CeCommitBatch()) return fail(volumeName() + ": cannot write the store");
    return 0;
}

int loadInto(std::vector<LoadedDb> &dbs) {
    for (LoadedDb &db : dbs) {
        CEOID oid = CeCreateDatabase(db.name.data(), db.type, static_cast<WORD>(db.sorts.size()),
                                     db.sorts.data());
        if (!oid) {
            DWORD err = GetLastError();
            if (err == ERROR_DUP_NAME)
                return fail(volumeName() + ": database " + utf8(db.name) + " exists already");
            if (err == ERROR_BAD_FORMAT || err == ERROR_OPEN_FAILED) return fail(openError());
            return fail(volumeName() + ": cannot create database " + utf8(db.name));
        }
        HANDLE h = CeOpenDatabase(&oid, nullptr, 0, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return fail(openError());
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
                return fail(volumeName() + ": cannot write a record of " + utf8(db.name));
            }
        }
        CloseHandle(h);
    }
    return 0;
}

int check() {
    if (!volumeExists()) return fail(volumeName() + ": no store there");
    WCHAR reason[256];
    if (CeCheckVolume(reason, 256)) {
        printf("%s: ok\n", volumeName().c_str());
        return 0;
    }
    return fail(volumeName() + ": " + utf8(reason));
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

}  // namespace

int wmain(int argc, wchar_t **argv) {
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
