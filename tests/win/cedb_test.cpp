// The property-database layer: what the stores rely on, case by case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/cedb.h"
#include "platform/page_heap.h"
#include "sqlite3.h"
#include "store/property_database.h"
#include "harness/win/test_env.h"

namespace {

constexpr CEPROPID kName = 0x0001001F;
constexpr CEPROPID kOther = 0x0002001F;
constexpr CEPROPID kFlag = 0x000A0002;

class CedbTest : public FreshStore {
protected:
    // A database sorted case-insensitively on kName, open with automatic advance.
    HANDLE createNamed(const wchar_t *name = L"Test", DWORD openFlags = CEDB_AUTOINCREMENT) {
        SORTORDERSPEC sort{kName, CEDB_SORT_CASEINSENSITIVE};
        CEOID oid = CeCreateDatabase(const_cast<LPWSTR>(name), 0, 1, &sort);
        EXPECT_NE(oid, 0u) << "error " << GetLastError();
        HANDLE h = CeOpenDatabase(&oid, nullptr, kName, openFlags, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        handles.push_back(h);
        return h;
    }
    void TearDown() override {
        for (HANDLE h : handles) CloseHandle(h);
        handles.clear();
        FreshStore::TearDown();
    }
    std::vector<HANDLE> handles;
};

CEOID writeText(HANDLE h, CEOID id, CEPROPID prop, const wchar_t *text) {
    CEPROPVAL v{};
    v.propid = prop;
    v.val.lpwstr = const_cast<LPWSTR>(text);
    return CeWriteRecordProps(h, id, 1, &v);
}

CEOID writeFlag(HANDLE h, CEOID id, short flag) {
    CEPROPVAL v{};
    v.propid = kFlag;
    v.val.iVal = flag;
    return CeWriteRecordProps(h, id, 1, &v);
}

struct Read {
    CEOID id = 0;
    std::vector<CEPROPVAL> props;
    std::vector<BYTE> buffer;  // keeps the values' data alive
};

Read readNext(HANDLE h) {
    Read r;
    WORD count = 0;
    BYTE *buf = nullptr;
    DWORD size = 0;
    r.id = CeReadRecordProps(h, CEDB_ALLOWREALLOC, &count, nullptr, &buf, &size);
    if (buf) {
        r.buffer.assign(buf, buf + size);
        auto base = reinterpret_cast<CEPROPVAL *>(buf);
        // Rebase the pointers into the copy.
        for (WORD i = 0; i < count && r.id; ++i) {
            CEPROPVAL v = base[i];
            WORD t = TypeFromPropID(v.propid);
            if (t == CEVT_LPWSTR)
                v.val.lpwstr = reinterpret_cast<LPWSTR>(
                    r.buffer.data() + (reinterpret_cast<BYTE *>(v.val.lpwstr) - buf));
            if (t == CEVT_BLOB) v.val.blob.lpb = r.buffer.data() + (v.val.blob.lpb - buf);
            r.props.push_back(v);
        }
        LocalFree(buf);
    }
    return r;
}

std::wstring textOf(const Read &r, CEPROPID prop) {
    for (const CEPROPVAL &v : r.props)
        if (v.propid == prop) return v.val.lpwstr;
    return L"<absent>";
}

std::vector<std::wstring> walkNames(HANDLE h) {
    std::vector<std::wstring> names;
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    for (Read r = readNext(h); r.id; r = readNext(h)) names.push_back(textOf(r, kName));
    return names;
}

// The database order and a sorted list box agree position by position: deleting "the n-th entry
// of the list" relies on it.
TEST_F(CedbTest, SortsLikeASortedListBoxAndPutsRecordsWithoutKeyLast) {
    HANDLE h = createNamed();
    const wchar_t *names[] = {L"zebra", L"Äpfel", L"apfel",     L"Apfel", L"b",  L"ä",    L"a",
                              L"Öl",    L"oel",   L" - Alle -", L"_x",    L"10", L"9",    L"Ähre",
                              L"ahre",  L"ß",     L"ss",        L"É",     L"e",  L"Zebra"};
    CEOID keyless1 = writeFlag(h, 0, 1);
    for (const wchar_t *n : names) ASSERT_NE(writeText(h, 0, kName, n), 0u);
    CEOID keyless2 = writeFlag(h, 0, 0);

    HWND list = CreateWindowW(L"LISTBOX", L"", LBS_SORT | LBS_HASSTRINGS, 0, 0, 100, 100, nullptr,
                              nullptr, nullptr, nullptr);
    for (const wchar_t *n : names) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));

    std::vector<std::wstring> order = walkNames(h);
    ASSERT_EQ(order.size(), std::size(names) + 2);
    for (size_t i = 0; i < std::size(names); ++i) {
        WCHAR item[64] = {};
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
        // Entries equal but for case may stand in either order in the list box; compare folded.
        EXPECT_EQ(
            CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, item, -1, order[i].c_str(), -1),
            CSTR_EQUAL)
            << "position " << i << ": list " << Utf8(item) << ", database " << Utf8(order[i]);
    }
    DestroyWindow(list);
    // Records without the sort property come last, in the order of their ids.
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, std::size(names), nullptr);
    EXPECT_EQ(readNext(h).id, keyless1);
    EXPECT_EQ(readNext(h).id, keyless2);
    EXPECT_EQ(readNext(h).id, 0u);
}

TEST_F(CedbTest, EqualKeysKeepTheOrderOfTheirIds) {
    HANDLE h = createNamed();
    CEOID first = writeText(h, 0, kName, L"Same");
    CEOID second = writeText(h, 0, kName, L"same");
    CEOID third = writeText(h, 0, kName, L"SAME");
    writeText(h, 0, kName, L"a");
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 1, nullptr);
    EXPECT_EQ(readNext(h).id, first);
    EXPECT_EQ(readNext(h).id, second);
    EXPECT_EQ(readNext(h).id, third);
}

TEST_F(CedbTest, SeekKinds) {
    HANDLE h = createNamed();
    CEOID a = writeText(h, 0, kName, L"Anton");
    CEOID b1 = writeText(h, 0, kName, L"Berta");
    CEOID b2 = writeText(h, 0, kName, L"BERTA");
    CEOID c = writeText(h, 0, kName, L"Cäsar");

    CEPROPVAL berta{};
    berta.propid = kName;
    berta.val.lpwstr = const_cast<LPWSTR>(L"berta");
    CEPROPVAL dora = berta;
    dora.val.lpwstr = const_cast<LPWSTR>(L"Dora");
    CEPROPVAL wrongProp = berta;
    wrongProp.propid = kOther;

    struct Case {
        const char *what;
        DWORD kind;
        DWORD_PTR value;
        CEOID found;
        CEOID nextRead;
    } cases[] = {
        {"beginning", CEDB_SEEK_BEGINNING, 0, a, a},
        {"beginning + 2", CEDB_SEEK_BEGINNING, 2, b2, b2},
        {"beginning past the end", CEDB_SEEK_BEGINNING, 4, 0, 0},
        {"end", CEDB_SEEK_END, 0, c, c},
        {"end - 1", CEDB_SEEK_END, 1, b2, b2},
        {"record id", CEDB_SEEK_CEOID, b1, b1, b1},
        {"unknown record id", CEDB_SEEK_CEOID, 999999, 0, 0},
        {"first equal, any case", CEDB_SEEK_VALUEFIRSTEQUAL, reinterpret_cast<DWORD_PTR>(&berta),
         b1, b1},
        {"first equal, none", CEDB_SEEK_VALUEFIRSTEQUAL, reinterpret_cast<DWORD_PTR>(&dora), 0, 0},
        {"greater", CEDB_SEEK_VALUEGREATER, reinterpret_cast<DWORD_PTR>(&berta), c, c},
        {"smaller", CEDB_SEEK_VALUESMALLER, reinterpret_cast<DWORD_PTR>(&berta), a, a},
        {"value of another property", CEDB_SEEK_VALUEFIRSTEQUAL,
         reinterpret_cast<DWORD_PTR>(&wrongProp), 0, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_EQ(CeSeekDatabase(h, k.kind, k.value, nullptr), k.found);
        EXPECT_EQ(readNext(h).id, k.nextRead);
    }
    // Relative seeks move from where the last read left the position.
    CeSeekDatabase(h, CEDB_SEEK_VALUEFIRSTEQUAL, reinterpret_cast<DWORD_PTR>(&berta), nullptr);
    EXPECT_EQ(
        CeSeekDatabase(h, CEDB_SEEK_VALUENEXTEQUAL, reinterpret_cast<DWORD_PTR>(&berta), nullptr),
        b2);
    DWORD index = 99;
    EXPECT_EQ(CeSeekDatabase(h, CEDB_SEEK_CURRENT, static_cast<DWORD>(-2), &index), a);
    EXPECT_EQ(index, 0u);
}

TEST_F(CedbTest, ReadsAdvanceOnlyWithAutomaticAdvance) {
    HANDLE still = createNamed(L"Still", 0);
    CEOID x = writeText(still, 0, kName, L"x");
    writeText(still, 0, kName, L"y");
    CeSeekDatabase(still, CEDB_SEEK_BEGINNING, 0, nullptr);
    EXPECT_EQ(readNext(still).id, x);
    EXPECT_EQ(readNext(still).id, x);

    HANDLE moving = createNamed(L"Moving");
    EXPECT_EQ(readNext(moving).id, 0u) << "an empty database reads nothing";
    writeText(moving, 0, kName, L"y");
    writeText(moving, 0, kName, L"x");
    EXPECT_EQ(walkNames(moving), (std::vector<std::wstring>{L"x", L"y"}));
}

TEST_F(CedbTest, BuffersAreAllocatedGrownAndRefused) {
    HANDLE h = createNamed();
    std::wstring longText(300, L'ü');
    writeText(h, 0, kName, longText.c_str());

    // Without CEDB_ALLOWREALLOC a small buffer is refused and the size needed reported.
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    BYTE small[16];
    BYTE *buf = small;
    DWORD size = sizeof small;
    WORD count = 0;
    EXPECT_EQ(CeReadRecordProps(h, 0, &count, nullptr, &buf, &size), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_GE(size, sizeof(CEPROPVAL) + 601);

    // With it, a buffer of the caller's local heap is grown, and the caller frees it.
    buf = static_cast<BYTE *>(LocalAlloc(LMEM_FIXED, 8));
    size = 8;
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    ASSERT_NE(CeReadRecordProps(h, CEDB_ALLOWREALLOC, &count, nullptr, &buf, &size), 0u);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(reinterpret_cast<CEPROPVAL *>(buf)->val.lpwstr, longText);
    EXPECT_EQ(LocalSize(buf), size);
    EXPECT_EQ(LocalFree(buf), nullptr);
}

TEST_F(CedbTest, AskedPropertiesComeInTheAskedOrderAndMissingOnesAreMarked) {
    HANDLE h = createNamed();
    CEPROPVAL both[2] = {};
    both[0].propid = kName;
    both[0].val.lpwstr = const_cast<LPWSTR>(L"n");
    both[1].propid = kFlag;
    both[1].val.iVal = 7;
    CeWriteRecordProps(h, 0, 2, both);
    CEPROPID ask[3] = {kFlag, kOther, kName};
    WORD count = 3;
    BYTE *buf = nullptr;
    DWORD size = 0;
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    ASSERT_NE(CeReadRecordProps(h, CEDB_ALLOWREALLOC, &count, ask, &buf, &size), 0u);
    auto v = reinterpret_cast<CEPROPVAL *>(buf);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(v[0].val.iVal, 7);
    EXPECT_EQ(v[1].wFlags & CEDB_PROPNOTFOUND, CEDB_PROPNOTFOUND);
    EXPECT_STREQ(v[2].val.lpwstr, L"n");
    LocalFree(buf);
}

// What a read hands out is the caller's: reads through other handles (of the same database and
// of another, for all properties and for some) between two reads of one walk leave the first
// read's values and the walk's place as they were.
TEST_F(CedbTest, AReadThroughOneHandleLeavesWhatAnotherHandlesReadReturned) {
    HANDLE a = createNamed(L"Eins");
    HANDLE b = createNamed(L"Zwei");
    for (const wchar_t *name : {L"Anton", L"Berta"}) ASSERT_NE(writeText(a, 0, kName, name), 0u);
    for (const wchar_t *name : {L"Xaver", L"Yvonne mit einem viel l\u00e4ngeren Namen"})
        ASSERT_NE(writeText(b, 0, kName, name), 0u);
    CEOID none = 0;
    HANDLE a2 =
        CeOpenDatabase(&none, const_cast<LPWSTR>(L"Eins"), kName, CEDB_AUTOINCREMENT, nullptr);
    ASSERT_NE(a2, INVALID_HANDLE_VALUE);
    handles.push_back(a2);
    for (HANDLE h : {a, a2, b}) ASSERT_NE(CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr), 0u);

    struct Buffer {
        BYTE *data = nullptr;
        DWORD size = 0;
        WORD count = 0;
        ~Buffer() { LocalFree(data); }
        CEPROPVAL *values() { return reinterpret_cast<CEPROPVAL *>(data); }
    } first, second, other;
    CEPROPID ask[2] = {kOther, kName};
    auto read = [](HANDLE h, Buffer *into, CEPROPID *ids, WORD asked) {
        into->count = asked;
        return CeReadRecordProps(h, CEDB_ALLOWREALLOC, &into->count, ids, &into->data, &into->size);
    };
    ASSERT_NE(read(a, &first, nullptr, 0), 0u);
    ASSERT_NE(read(b, &other, ask, 2), 0u);
    ASSERT_NE(read(a2, &second, nullptr, 0), 0u);
    ASSERT_EQ(first.count, 1);
    EXPECT_STREQ(first.values()[0].val.lpwstr, L"Anton");
    EXPECT_STREQ(second.values()[0].val.lpwstr, L"Anton");
    ASSERT_EQ(other.count, 2);
    EXPECT_EQ(other.values()[0].wFlags & CEDB_PROPNOTFOUND, CEDB_PROPNOTFOUND);
    EXPECT_STREQ(other.values()[1].val.lpwstr, L"Xaver");

    // The walks go on where each one was.
    ASSERT_NE(read(b, &other, nullptr, 0), 0u);
    ASSERT_NE(read(a, &first, ask, 2), 0u);
    EXPECT_STREQ(other.values()[0].val.lpwstr, L"Yvonne mit einem viel l\u00e4ngeren Namen");
    EXPECT_STREQ(first.values()[1].val.lpwstr, L"Berta");
    EXPECT_STREQ(second.values()[0].val.lpwstr, L"Anton");
}

TEST_F(CedbTest, WritesReplaceKeepAndDeleteProperties) {
    HANDLE h = createNamed();
    CEPROPVAL three[3] = {};
    three[0].propid = kName;
    three[0].val.lpwstr = const_cast<LPWSTR>(L"name");
    three[1].propid = kOther;
    three[1].val.lpwstr = const_cast<LPWSTR>(L"other");
    three[2].propid = kFlag;
    three[2].val.iVal = 1;
    CEOID id = CeWriteRecordProps(h, 0, 3, three);
    ASSERT_NE(id, 0u);

    CEPROPVAL change[2] = {};
    change[0].propid = kOther;
    change[0].wFlags = CEDB_PROPDELETE;
    change[1].propid = kFlag;
    change[1].val.iVal = 0;
    EXPECT_EQ(CeWriteRecordProps(h, id, 2, change), id);
    CEPROPVAL added{};
    added.propid = 0x01020041;
    BYTE bytes[3] = {1, 2, 3};
    added.val.blob = {3, bytes};
    EXPECT_EQ(CeWriteRecordProps(h, id, 1, &added), id);

    CeSeekDatabase(h, CEDB_SEEK_CEOID, id, nullptr);
    Read r = readNext(h);
    ASSERT_EQ(r.props.size(), 3u) << "kOther is gone, the blob is new";
    EXPECT_EQ(r.props[0].propid, kName) << "properties keep their stored order";
    EXPECT_EQ(r.props[1].propid, kFlag);
    EXPECT_EQ(r.props[1].val.iVal, 0);
    EXPECT_EQ(r.props[2].propid, 0x01020041u);

    EXPECT_EQ(CeWriteRecordProps(h, 424242, 1, &added), 0u) << "no such record";
}

TEST_F(CedbTest, AFailedWriteChangesNothing) {
    HANDLE h = createNamed();
    CEOID id = writeText(h, 0, kName, L"before");
    CEPROPVAL bad[2] = {};
    bad[0].propid = kName;
    bad[0].val.lpwstr = const_cast<LPWSTR>(L"after");
    bad[1].propid = kOther;
    bad[1].val.lpwstr = nullptr;  // no text
    EXPECT_EQ(CeWriteRecordProps(h, id, 2, bad), 0u);
    bad[1].propid = 0x00020099;  // no such value type
    EXPECT_EQ(CeWriteRecordProps(h, id, 2, bad), 0u);
    EXPECT_EQ(walkNames(h), std::vector<std::wstring>{L"before"});
}

TEST_F(CedbTest, EveryValueTypeRoundTrips) {
    HANDLE h = createNamed();
    BYTE big[1000];
    for (int i = 0; i < 1000; ++i) big[i] = static_cast<BYTE>(i * 7);
    const wchar_t oddText[] = {L'a', 0xD800, L'b', 0xDC00, 0x00FC, 0};  // unpaired surrogates
    double negZero = -0.0;
    double nan = std::nan("0x123");
    std::vector<CEPROPVAL> v(12);
    v[0].propid = 0x00010002;
    v[0].val.iVal = -32768;
    v[1].propid = 0x00020012;
    v[1].val.uiVal = 65535;
    v[2].propid = 0x00030003;
    v[2].val.lVal = -2147483647 - 1;
    v[3].propid = 0x00040013;
    v[3].val.ulVal = 0xFFFFFFFF;
    v[4].propid = 0x0005000B;
    v[4].val.boolVal = TRUE;
    v[5].propid = 0x00060005;
    v[5].val.dblVal = negZero;
    v[6].propid = 0x00070005;
    v[6].val.dblVal = nan;
    v[7].propid = 0x00080040;
    v[7].val.filetime = {0xFFFFFFFF, 0xFFFFFFFF};
    v[8].propid = 0x0009001F;
    v[8].val.lpwstr = const_cast<LPWSTR>(oddText);
    v[9].propid = 0x000A001F;
    v[9].val.lpwstr = const_cast<LPWSTR>(L"");
    v[10].propid = 0x000B0041;
    v[10].val.blob = {0, nullptr};
    v[11].propid = 0x000C0041;
    v[11].val.blob = {sizeof big, big};
    CEOID id = CeWriteRecordProps(h, 0, static_cast<WORD>(v.size()), v.data());
    ASSERT_NE(id, 0u);

    // Read back through a second handle, after the first is closed: from the file, not a cache.
    CloseHandle(h);
    handles.clear();
    CEOID oid = 0;
    HANDLE again =
        CeOpenDatabase(&oid, const_cast<LPWSTR>(L"TEST"), kName, CEDB_AUTOINCREMENT, nullptr);
    ASSERT_NE(again, INVALID_HANDLE_VALUE) << "names are found regardless of case";
    handles.push_back(again);
    Read r = readNext(again);
    ASSERT_EQ(r.id, id);
    ASSERT_EQ(r.props.size(), v.size());
    for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(r.props[i].propid, v[i].propid);
    EXPECT_EQ(r.props[0].val.iVal, -32768);
    EXPECT_EQ(r.props[1].val.uiVal, 65535);
    EXPECT_EQ(r.props[2].val.lVal, -2147483647L - 1);
    EXPECT_EQ(r.props[3].val.ulVal, 0xFFFFFFFFul);
    EXPECT_EQ(r.props[4].val.boolVal, TRUE);
    EXPECT_EQ(memcmp(&r.props[5].val.dblVal, &negZero, 8), 0);
    EXPECT_EQ(memcmp(&r.props[6].val.dblVal, &nan, 8), 0);
    EXPECT_EQ(r.props[7].val.filetime.dwLowDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(r.props[7].val.filetime.dwHighDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(std::wstring(r.props[8].val.lpwstr), std::wstring(oddText));
    EXPECT_EQ(std::wstring(r.props[9].val.lpwstr), L"");
    EXPECT_EQ(r.props[10].val.blob.dwCount, 0u);
    ASSERT_EQ(r.props[11].val.blob.dwCount, sizeof big);
    EXPECT_EQ(memcmp(r.props[11].val.blob.lpb, big, sizeof big), 0);
}

// A text stored with an odd number of bytes (only a store made by hand holds one) reads as its
// whole units and a terminator: the padding behind it is zero, whatever the buffer held before.
TEST_F(CedbTest, ATextOfOddLengthEndsInsideItsData) {
    HANDLE h = createNamed();
    const CEOID id = writeText(h, 0, kName, L"ABCD");
    ASSERT_NE(id, 0u);
    struct Case {
        const char *hex;  // the stored bytes
        const wchar_t *text;
    } cases[] = {{"4100420043", L"AB\u0043"},
                 {"41004200430044004500", L"ABCDE"},
                 {"410042004300440045", L"ABCD\u0045"},
                 {"41", L"\u0041"}};
    for (const Case &c : cases) {
        sqlite3 *other = nullptr;
        ASSERT_EQ(sqlite3_open_v2(Utf8(volumePath).c_str(), &other, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        const std::string sql = "UPDATE props SET value = X'" + std::string(c.hex) +
                                "' WHERE rec = " + std::to_string(id) +
                                " AND propid = " + std::to_string(kName);
        ASSERT_EQ(sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        ASSERT_EQ(CeSeekDatabase(h, CEDB_SEEK_CEOID, id, nullptr), id);
        std::vector<BYTE> buffer(512, 0xFF);
        BYTE *data = buffer.data();
        DWORD size = static_cast<DWORD>(buffer.size());
        WORD count = 0;
        ASSERT_EQ(CeReadRecordProps(h, 0, &count, nullptr, &data, &size), id) << c.hex;
        ASSERT_EQ(count, 1);
        const auto *v = reinterpret_cast<const CEPROPVAL *>(data);
        EXPECT_EQ(std::wstring(v->val.lpwstr), std::wstring(c.text)) << c.hex;
    }
}

// The close checkpoints the journal and truncates it; while another process holds a read for
// longer than the close waits, the journal stays and the close says so. The next close empties it.
TEST_F(CedbTest, TheLastCloseSaysWhenTheJournalCouldNotBeEmptied) {
    HANDLE h = createNamed();
    handles.clear();
    ASSERT_NE(writeText(h, 0, kName, L"geheim"), 0u);
    sqlite3 *reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Utf8(volumePath).c_str(), &reader, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM props;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CeJournalEmptiedAtClose());
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);

    CEOID oid = 0;
    HANDLE again = CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Test"), kName, 0, nullptr);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_TRUE(CeJournalEmptiedAtClose());
    WIN32_FILE_ATTRIBUTE_DATA wal{};
    if (GetFileAttributesExW((volumePath + L"-wal").c_str(), GetFileExInfoStandard, &wal)) {
        EXPECT_EQ(wal.nFileSizeLow, 0u) << "the journal is truncated";
    }
}

// A flush while the handles stay open (a lock of the running program): the overwritten text is
// gone from the file and the journal is empty. It refuses inside a batch and says when a reader
// of another process keeps the journal; the handle works on after each.
TEST_F(CedbTest, AFlushEmptiesTheJournalWhileTheHandlesStayOpen) {
    HANDLE h = createNamed();
    CEOID record = writeText(h, 0, kName, L"SECRET-before-the-lock");
    writeText(h, record, kName, L"locked");

    ASSERT_TRUE(CeBeginBatch());
    EXPECT_FALSE(CeFlushVolume()) << "not inside a batch";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    ASSERT_TRUE(CeCommitBatch());

    sqlite3 *reader = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Utf8(volumePath).c_str(), &reader, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM props;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_FALSE(CeFlushVolume()) << "a reader keeps the journal";
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);

    EXPECT_TRUE(CeFlushVolume());
    EXPECT_TRUE(ReadWholeFile(volumePath + L"-wal").empty()) << "the journal is truncated";
    std::vector<BYTE> file = ReadWholeFile(volumePath);
    const std::wstring secret = L"SECRET-before-the-lock";
    auto bytes = reinterpret_cast<const BYTE *>(secret.data());
    std::vector<BYTE> needle(bytes, bytes + secret.size() * 2);
    EXPECT_EQ(std::search(file.begin(), file.end(), needle.begin(), needle.end()), file.end());
    EXPECT_EQ(walkNames(h), std::vector<std::wstring>{L"locked"}) << "the handle works on";
}

TEST_F(CedbTest, DatabaseInformationAndNames) {
    SORTORDERSPEC sorts[2] = {{kName, CEDB_SORT_CASEINSENSITIVE}, {kFlag, CEDB_SORT_DESCENDING}};
    CEOID oid = CeCreateDatabase(const_cast<LPWSTR>(L"Arkel-Titel1"), 7, 2, sorts);
    ASSERT_NE(oid, 0u);
    EXPECT_EQ(CeCreateDatabase(const_cast<LPWSTR>(L"ARKEL-titel1"), 0, 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DUP_NAME));
    EXPECT_EQ(
        CeCreateDatabase(const_cast<LPWSTR>(L"A name that is longer than 31 units"), 0, 0, nullptr),
        0u);

    HANDLE h = CeOpenDatabase(&oid, nullptr, kName, CEDB_AUTOINCREMENT, nullptr);
    writeText(h, 0, kName, L"one");
    CEOID two = writeText(h, 0, kName, L"two");
    CEOIDINFO info;
    ASSERT_TRUE(CeOidGetInfo(oid, &info));
    EXPECT_EQ(info.wObjType, OBJTYPE_DATABASE);
    EXPECT_STREQ(info.infDatabase.szDbaseName, L"Arkel-Titel1");
    EXPECT_EQ(info.infDatabase.dwDbaseType, 7u);
    EXPECT_EQ(info.infDatabase.wNumRecords, 2);
    EXPECT_EQ(info.infDatabase.wNumSortOrder, 2);
    EXPECT_EQ(info.infDatabase.rgSortSpecs[1].propid, kFlag);
    EXPECT_EQ(info.infDatabase.rgSortSpecs[1].dwFlags, static_cast<DWORD>(CEDB_SORT_DESCENDING));
    EXPECT_TRUE(CeDeleteRecord(h, two));
    EXPECT_FALSE(CeDeleteRecord(h, two));
    ASSERT_TRUE(CeOidGetInfo(oid, &info));
    EXPECT_EQ(info.infDatabase.wNumRecords, 1);
    ASSERT_TRUE(CeOidGetInfo(readNext(h).id, &info));
    EXPECT_EQ(info.wObjType, OBJTYPE_RECORD);
    EXPECT_EQ(info.infRecord.oidParent, oid);
    // A sort order the database does not have cannot be opened.
    CEOID byName = 0;
    EXPECT_EQ(CeOpenDatabase(&byName, const_cast<LPWSTR>(L"Arkel-Titel1"), kOther, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeOpenDatabase(&byName, const_cast<LPWSTR>(L"Missing"), 0, 0, nullptr),
              INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_FALSE(CeOidGetInfo(12345678, &info));
}

// A pass that rewrites every record while it walks (as the bulk encryption does, which removes
// and restores the sort key) sees each record exactly once.
TEST_F(CedbTest, AWalkThatRewritesTheSortKeyVisitsEachRecordOnce) {
    HANDLE h = createNamed();
    for (const wchar_t *n : {L"d", L"b", L"a", L"c"}) writeText(h, 0, kName, n);
    int visits = 0;
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    for (Read r = readNext(h); r.id; r = readNext(h)) {
        ++visits;
        CEPROPVAL change[2] = {};
        change[0].propid = kName;
        change[0].wFlags = CEDB_PROPDELETE;
        change[1].propid = 0x01020041;
        change[1].val.blob = {0, nullptr};
        ASSERT_EQ(CeWriteRecordProps(h, r.id, 2, change), r.id);
    }
    EXPECT_EQ(visits, 4);
    // And back, as the decryption does; a deletion on the way is skipped.
    visits = 0;
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    CEOID victim = CeSeekDatabase(h, CEDB_SEEK_END, 0, nullptr);
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    for (Read r = readNext(h); r.id; r = readNext(h)) {
        ++visits;
        EXPECT_NE(r.id, victim);
        if (visits == 1) CeDeleteRecord(h, victim);
        writeText(h, r.id, kName, L"x");
    }
    EXPECT_EQ(visits, 3);
}

TEST_F(CedbTest, ADatabaseHoldsAtMost65535Records) {
    HANDLE h = createNamed();
    CEPROPVAL v{};
    v.propid = kFlag;
    for (int i = 0; i < CEDB_MAXRECORDS; ++i) {
        v.val.iVal = static_cast<short>(i);
        ASSERT_NE(CeWriteRecordProps(h, 0, 1, &v), 0u) << "record " << i;
    }
    EXPECT_EQ(CeWriteRecordProps(h, 0, 1, &v), 0u);
    CEOIDINFO info;
    ASSERT_TRUE(CeOidGetInfo(CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr), &info));
    ASSERT_TRUE(CeOidGetInfo(info.infRecord.oidParent, &info));
    EXPECT_EQ(info.infDatabase.wNumRecords, 65535);
    // Deleting one makes room for one.
    CEOID last = CeSeekDatabase(h, CEDB_SEEK_END, 0, nullptr);
    CeDeleteRecord(h, last);
    EXPECT_NE(CeWriteRecordProps(h, 0, 1, &v), 0u);
}

// Emptying databases, by rows (another database still has records) and whole (the last one with
// records), leaves none of their text in the file either.
TEST_F(CedbTest, NothingOfEmptiedDatabasesStaysInTheFile) {
    HANDLE many = createNamed(L"Viele");
    HANDLE one = createNamed(L"Einer");
    for (int i = 0; i < 500; ++i) {
        WCHAR text[96];
        wsprintfW(text, L"SECRET-all-%03d with some more text to fill the pages", i);
        ASSERT_NE(writeText(many, 0, kName, text), 0u);
    }
    ASSERT_NE(writeText(one, 0, kName, L"SECRET-only-one"), 0u);
    ASSERT_TRUE(CeBeginBatch());
    ASSERT_TRUE(CeDeleteAllRecords(one));
    ASSERT_TRUE(CeDeleteAllRecords(many));
    ASSERT_TRUE(CeCommitBatch());
    for (HANDLE h : handles) CloseHandle(h);
    handles.clear();
    ASSERT_EQ(CeOpenHandleCount(), 0);

    std::vector<BYTE> file = ReadWholeFile(volumePath);
    ASSERT_FALSE(file.empty());
    for (const wchar_t *secret : {L"SECRET-all-", L"SECRET-only-one"}) {
        auto bytes = reinterpret_cast<const BYTE *>(secret);
        std::vector<BYTE> needle(bytes, bytes + wcslen(secret) * 2);
        EXPECT_EQ(std::search(file.begin(), file.end(), needle.begin(), needle.end()), file.end())
            << Utf8(secret) << " is still in the file";
    }
}

// Overwritten and deleted text must not stay in the file once the last handle is closed.
TEST_F(CedbTest, NothingDeletedOrOverwrittenStaysInTheFile) {
    HANDLE h = createNamed();
    CEOID kept = writeText(h, 0, kName, L"SECRET-overwritten-4711");
    CEOID gone = writeText(h, 0, kName, L"SECRET-deleted-0815");
    writeText(h, kept, kName, L"harmless");
    CeDeleteRecord(h, gone);
    CloseHandle(h);
    handles.clear();
    ASSERT_EQ(CeOpenHandleCount(), 0);

    std::vector<BYTE> wal = ReadWholeFile(volumePath + L"-wal");
    EXPECT_TRUE(wal.empty()) << "the journal is checkpointed and truncated";
    std::vector<BYTE> file = ReadWholeFile(volumePath);
    ASSERT_FALSE(file.empty());
    for (const wchar_t *secret : {L"SECRET-overwritten-4711", L"SECRET-deleted-0815"}) {
        auto bytes = reinterpret_cast<const BYTE *>(secret);
        std::vector<BYTE> needle(bytes, bytes + wcslen(secret) * 2);
        EXPECT_EQ(std::search(file.begin(), file.end(), needle.begin(), needle.end()), file.end())
            << Utf8(secret) << " is still in the file";
    }
}

TEST_F(CedbTest, AFileThatIsNotAStoreIsRefusedAndLeftAlone) {
    struct Case {
        const char *what;
        std::string content;
    } cases[] = {
        {"text", "Dies ist keine Datenbank.\r\n"},
        {"another SQLite file's header",
         std::string("SQLite format 3\0", 16) + std::string(4080, '\x01')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(volumePath, c.content.data(), c.content.size());
        CEOID oid = 0;
        EXPECT_EQ(CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Arkel"), 0, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        SORTORDERSPEC sort{kName, 0};
        EXPECT_EQ(CeCreateDatabase(const_cast<LPWSTR>(L"Arkel"), 0, 1, &sort), 0u);
        std::vector<BYTE> after = ReadWholeFile(volumePath);
        EXPECT_EQ(std::string(after.begin(), after.end()), c.content);
        EXPECT_EQ(GetFileAttributesW((volumePath + L"-wal").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(CedbTest, TheVolumeMayBeNamedWithAUnixPathUnderWine) {
    if (!GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"))
        GTEST_SKIP() << "only Wine knows Unix paths";
    using ToUnix = char *(CDECL *)(const WCHAR *);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    ASSERT_NE(toUnix, nullptr);
    char *unixPath = toUnix(volumePath.c_str());
    ASSERT_NE(unixPath, nullptr);
    SetEnvironmentVariableA("ARKEL_OBJECT_STORE", unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    createNamed();
    EXPECT_FALSE(ReadWholeFile(volumePath).empty()) << "the store went to the named file";
}

// ---- the kept sort order, other processes, write batches ----

// The order a handle keeps between seeks, brought up to date with this process's own changes,
// must be the order a freshly opened handle takes from the file, after any mix of changes.
TEST_F(CedbTest, TheKeptOrderFollowsEveryKindOfChange) {
    HANDLE kept = createNamed();
    std::vector<CEOID> ids;
    const wchar_t *names[] = {L"m", L"B", L"a", L"Z", L"b", L"ä", L"", L"zz"};
    for (const wchar_t *n : names) ids.push_back(writeText(kept, 0, kName, n));
    auto order = [](HANDLE h) {
        std::vector<CEOID> seen;
        CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
        for (Read r = readNext(h); r.id; r = readNext(h)) seen.push_back(r.id);
        return seen;
    };
    order(kept);
    CEPROPVAL dropKey{};
    dropKey.propid = kName;
    dropKey.wFlags = CEDB_PROPDELETE;
    struct Step {
        const char *what;
        std::function<void()> change;
    } steps[] = {
        {"new record with a key", [&] { ids.push_back(writeText(kept, 0, kName, L"Mitte")); }},
        {"new record without a key", [&] { ids.push_back(writeFlag(kept, 0, 1)); }},
        {"key rewritten", [&] { writeText(kept, ids[0], kName, L"0 first"); }},
        {"key equal to another's in other case", [&] { writeText(kept, ids[2], kName, L"b"); }},
        {"key removed", [&] { CeWriteRecordProps(kept, ids[3], 1, &dropKey); }},
        {"key given back", [&] { writeText(kept, ids[3], kName, L"zz"); }},
        {"other property only", [&] { writeText(kept, ids[4], kOther, L"x"); }},
        {"record deleted", [&] { CeDeleteRecord(kept, ids[1]); }},
        {"many changes at once",
         [&] {
             for (int i = 0; i < 100; ++i) {
                 WCHAR n[16];
                 wsprintfW(n, L"k%03d", (i * 37) % 100);
                 writeText(kept, ids[5 + i % 3], kName, n);
             }
         }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        CEOID oid = 0;
        HANDLE fresh =
            CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Test"), kName, CEDB_AUTOINCREMENT, nullptr);
        ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
        EXPECT_EQ(order(kept), order(fresh));
        CloseHandle(fresh);
    }
}

// The test program started again as a second process: what it does is chosen by
// ARKEL_CEDB_CHILD, and it signals the event named by ARKEL_CEDB_READY when it has done it.
class OtherProcess {
public:
    explicit OtherProcess(const wchar_t *job) {
        WCHAR self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        WCHAR event[64];
        wsprintfW(event, L"arkel-cedb-ready-%lu", GetCurrentProcessId());
        ready = CreateEventW(nullptr, TRUE, FALSE, event);
        SetEnvironmentVariableW(L"ARKEL_CEDB_CHILD", job);
        SetEnvironmentVariableW(L"ARKEL_CEDB_READY", event);
        std::wstring command =
            L"\"" + std::wstring(self) + L"\" --gtest_filter=CedbOtherProcess.Job";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi);
        SetEnvironmentVariableW(L"ARKEL_CEDB_CHILD", nullptr);
        SetEnvironmentVariableW(L"ARKEL_CEDB_READY", nullptr);
    }
    // True when the job signalled within the time.
    bool waitReady() {
        if (!started) return false;
        HANDLE both[2] = {ready, pi.hProcess};
        return WaitForMultipleObjects(2, both, FALSE, 120000) == WAIT_OBJECT_0;
    }
    DWORD waitExit() {
        DWORD code = 999;
        if (started && WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
    void kill() {
        if (!started) return;
        TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, 120000);
    }
    ~OtherProcess() {
        if (started) {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) kill();
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
        CloseHandle(ready);
    }

private:
    HANDLE ready = nullptr;
    PROCESS_INFORMATION pi{};
    BOOL started = FALSE;
};

TEST(CedbOtherProcess, Job) {
    WCHAR job[32] = {}, event[64] = {};
    if (!GetEnvironmentVariableW(L"ARKEL_CEDB_CHILD", job, 32) ||
        !GetEnvironmentVariableW(L"ARKEL_CEDB_READY", event, 64))
        GTEST_SKIP() << "runs only as the second process of another test";
    CEOID oid = 0;
    HANDLE h =
        CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Test"), kName, CEDB_AUTOINCREMENT, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, event);
    std::vector<CEOID> ids;
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    for (Read r = readNext(h); r.id; r = readNext(h)) ids.push_back(r.id);
    if (wcscmp(job, L"write") == 0) {
        // A new first record, and the first record of before deleted.
        ASSERT_NE(writeText(h, 0, kName, L"0 new"), 0u);
        ASSERT_TRUE(CeDeleteRecord(h, ids[0]));
        CloseHandle(h);
        SetEvent(ready);
    } else {
        // The first half in one committed batch, the second half in a batch that the test
        // kills before it ends.
        size_t half = ids.size() / 2;
        ASSERT_TRUE(CeBeginBatch());
        for (size_t i = 0; i < half; ++i) ASSERT_EQ(writeText(h, ids[i], kOther, L"new"), ids[i]);
        ASSERT_TRUE(CeCommitBatch());
        ASSERT_TRUE(CeBeginBatch());
        for (size_t i = half; i < ids.size(); ++i)
            ASSERT_EQ(writeText(h, ids[i], kOther, L"new"), ids[i]);
        SetEvent(ready);
        Sleep(INFINITE);
    }
}

TEST_F(CedbTest, AWriteOfAnotherProcessIsSeenByTheNextSeek) {
    HANDLE h = createNamed();
    CEOID first = writeText(h, 0, kName, L"a");
    CEOID second = writeText(h, 0, kName, L"b");
    EXPECT_EQ(walkNames(h), (std::vector<std::wstring>{L"a", L"b"}));  // the order is kept now
    OtherProcess other(L"write");
    ASSERT_TRUE(other.waitReady());
    EXPECT_EQ(other.waitExit(), 0u);
    EXPECT_EQ(walkNames(h), (std::vector<std::wstring>{L"0 new", L"b"}));
    EXPECT_EQ(CeSeekDatabase(h, CEDB_SEEK_CEOID, first, nullptr), 0u);
    EXPECT_EQ(CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 1, nullptr), second);
}

TEST_F(CedbTest, ABatchKilledPartWayLeavesEveryRecordOldOrNew) {
    HANDLE h = createNamed();
    std::vector<CEOID> ids;
    for (int i = 0; i < 200; ++i) {
        WCHAR n[16];
        wsprintfW(n, L"r%03d", i);
        CEPROPVAL v[2] = {};
        v[0].propid = kName;
        v[0].val.lpwstr = n;
        v[1].propid = kOther;
        v[1].val.lpwstr = const_cast<LPWSTR>(L"old");
        ids.push_back(CeWriteRecordProps(h, 0, 2, v));
    }
    {
        OtherProcess other(L"batch");
        ASSERT_TRUE(other.waitReady());
        other.kill();
    }
    WCHAR reason[128];
    EXPECT_TRUE(CeCheckVolume(reason, 128)) << Utf8(reason);
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    size_t i = 0;
    for (Read r = readNext(h); r.id; r = readNext(h), ++i) {
        ASSERT_LT(i, ids.size());
        EXPECT_EQ(r.id, ids[i]);
        EXPECT_EQ(textOf(r, kOther), i < 100 ? L"new" : L"old") << "record " << i;
    }
    EXPECT_EQ(i, ids.size());
    // The volume is free again for writers.
    EXPECT_NE(writeText(h, ids[150], kOther, L"after"), 0u);
}

// A batch spans databases: an import deletes and fills five of them as one unit.
TEST_F(CedbTest, ABatchTakesEffectWholeOrNotAtAll) {
    for (bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        HANDLE a = createNamed(commit ? L"A1" : L"A2");
        HANDLE b = createNamed(commit ? L"B1" : L"B2");
        CEOID old1 = writeText(a, 0, kName, L"old 1");
        writeText(a, 0, kName, L"old 2");
        writeText(b, 0, kName, L"b");

        ASSERT_TRUE(CeBeginBatch());
        for (CEOID id = CeSeekDatabase(a, CEDB_SEEK_BEGINNING, 0, nullptr); id;
             id = CeSeekDatabase(a, CEDB_SEEK_BEGINNING, 0, nullptr))
            ASSERT_TRUE(CeDeleteRecord(a, id));
        ASSERT_NE(writeText(a, 0, kName, L"new"), 0u);
        ASSERT_NE(writeText(b, 0, kName, L"c"), 0u);
        // A call that fails inside the batch takes back only its own part.
        CEPROPVAL bad[2] = {};
        bad[0].propid = kName;
        bad[0].val.lpwstr = const_cast<LPWSTR>(L"half");
        bad[1].propid = kOther;
        EXPECT_EQ(CeWriteRecordProps(b, 0, 2, bad), 0u);
        EXPECT_FALSE(CeDeleteRecord(a, old1)) << "deleted in this batch already";
        // The batch's calls see what it changed so far.
        EXPECT_EQ(walkNames(a), std::vector<std::wstring>{L"new"});
        EXPECT_EQ(walkNames(b), (std::vector<std::wstring>{L"b", L"c"}));

        ASSERT_TRUE(commit ? CeCommitBatch() : CeRollbackBatch());
        std::vector<std::wstring> expectA = commit ? std::vector<std::wstring>{L"new"}
                                                   : std::vector<std::wstring>{L"old 1", L"old 2"};
        std::vector<std::wstring> expectB =
            commit ? std::vector<std::wstring>{L"b", L"c"} : std::vector<std::wstring>{L"b"};
        EXPECT_EQ(walkNames(a), expectA);
        EXPECT_EQ(walkNames(b), expectB);
        CEOIDINFO info;
        ASSERT_TRUE(CeOidGetInfo(CeSeekDatabase(a, CEDB_SEEK_BEGINNING, 0, nullptr), &info));
        ASSERT_TRUE(CeOidGetInfo(info.infRecord.oidParent, &info));
        EXPECT_EQ(info.infDatabase.wNumRecords, expectA.size());

        // What was committed is in the file: it is there after the volume was closed.
        for (HANDLE h : handles) CloseHandle(h);
        handles.clear();
        ASSERT_EQ(CeOpenHandleCount(), 0);
        CEOID oid = 0;
        HANDLE again = CeOpenDatabase(&oid, const_cast<LPWSTR>(commit ? L"A1" : L"A2"), kName,
                                      CEDB_AUTOINCREMENT, nullptr);
        ASSERT_NE(again, INVALID_HANDLE_VALUE);
        EXPECT_EQ(walkNames(again), expectA);
        CloseHandle(again);
    }
    EXPECT_FALSE(CeCommitBatch()) << "no batch is open";
    EXPECT_FALSE(CeRollbackBatch()) << "no batch is open";
}

// Import's "delete everything, then add": every handle on the database sees it empty, others keep
// theirs, and the order after many writes is the one a freshly opened handle takes.
TEST_F(CedbTest, DeletingAllRecordsEmptiesOneDatabaseForEveryHandle) {
    for (bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        const wchar_t *nameA = commit ? L"A1" : L"A2";
        HANDLE a = createNamed(nameA);
        HANDLE b = createNamed(commit ? L"B1" : L"B2");
        for (const wchar_t *n : {L"old b", L"Old a", L"old c"}) writeText(a, 0, kName, n);
        writeText(b, 0, kName, L"b");
        auto openA = [&] {
            CEOID oid = 0;
            HANDLE h =
                CeOpenDatabase(&oid, const_cast<LPWSTR>(nameA), kName, CEDB_AUTOINCREMENT, nullptr);
            EXPECT_NE(h, INVALID_HANDLE_VALUE);
            handles.push_back(h);
            return h;
        };
        HANDLE other = openA();
        const std::vector<std::wstring> old = walkNames(other);

        ASSERT_TRUE(CeBeginBatch());
        ASSERT_TRUE(CeDeleteAllRecords(a));
        EXPECT_TRUE(walkNames(a).empty());
        EXPECT_TRUE(walkNames(other).empty());
        EXPECT_EQ(walkNames(b), std::vector<std::wstring>{L"b"});
        // Far more writes than a handle follows one by one, in no order, cases mixed.
        std::vector<std::wstring> written;
        for (int i = 0; i < 300; ++i) {
            WCHAR n[16];
            wsprintfW(n, (i % 2) ? L"n%03d" : L"N%03d", (i * 113) % 300);
            ASSERT_NE(writeText(a, 0, kName, n), 0u);
            written.push_back(n);
        }
        const std::vector<std::wstring> fresh = walkNames(openA());
        EXPECT_EQ(fresh.size(), written.size());
        EXPECT_EQ(walkNames(a), fresh);
        EXPECT_EQ(walkNames(other), fresh);

        ASSERT_TRUE(commit ? CeCommitBatch() : CeRollbackBatch());
        const std::vector<std::wstring> expect = commit ? fresh : old;
        EXPECT_EQ(walkNames(a), expect);
        EXPECT_EQ(walkNames(other), expect);
        EXPECT_EQ(walkNames(b), std::vector<std::wstring>{L"b"});
        CEOIDINFO info;
        ASSERT_TRUE(CeOidGetInfo(CeSeekDatabase(a, CEDB_SEEK_BEGINNING, 0, nullptr), &info));
        ASSERT_TRUE(CeOidGetInfo(info.infRecord.oidParent, &info));
        EXPECT_EQ(info.infDatabase.wNumRecords, expect.size());
    }
}

// Import's order: the small databases first, then the object database, which by then holds every
// record of the volume and is emptied whole. Each record keeps all of its properties on rollback;
// the record counts follow without summing sizes.
TEST_F(CedbTest, DeletingAllRecordsOfTheLastDatabaseWithRecordsKeepsTheOthersSound) {
    HANDLE a = createNamed(L"Objekte");
    HANDLE b = createNamed(L"Leer");
    HANDLE c = createNamed(L"Kategorien");
    for (const wchar_t *n : {L"Bank", L"Auto", L"PIN"}) {
        CEOID id = writeText(a, 0, kName, n);
        ASSERT_NE(writeFlag(a, id, 1), 0u);
    }
    ASSERT_NE(writeText(c, 0, kName, L"Privat"), 0u);
    auto oidOf = [](HANDLE h) {
        CEOIDINFO info{};
        CEOID rec = CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
        return rec && CeOidGetInfo(rec, &info) ? info.infRecord.oidParent : 0;
    };
    const CEOID oidA = oidOf(a), oidC = oidOf(c);
    // Every record with its name and flag, in order.
    auto records = [](HANDLE h) {
        std::vector<std::wstring> out;
        CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
        for (Read r = readNext(h); r.id; r = readNext(h)) {
            std::wstring flag = L"-";
            for (const CEPROPVAL &p : r.props)
                if (p.propid == kFlag) flag = std::to_wstring(p.val.iVal);
            out.push_back(textOf(r, kName) + L"/" + flag);
        }
        return out;
    };
    const std::vector<std::wstring> before = records(a);
    ASSERT_EQ(before, (std::vector<std::wstring>{L"Auto/1", L"Bank/1", L"PIN/1"}));

    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        ASSERT_TRUE(CeBeginBatch());
        ASSERT_TRUE(CeDeleteAllRecords(c));
        EXPECT_EQ(records(a), before) << "another database's records stay";
        ASSERT_TRUE(CeDeleteAllRecords(a));
        EXPECT_TRUE(records(a).empty());
        EXPECT_TRUE(records(c).empty());
        EXPECT_EQ(CeDatabaseRecordCount(oidA), 0);
        ASSERT_NE(writeText(a, 0, kName, L"Neu"), 0u);
        ASSERT_NE(writeText(b, 0, kName, L"b"), 0u);
        ASSERT_TRUE(commit ? CeCommitBatch() : CeRollbackBatch());
        if (commit) {
            EXPECT_EQ(records(a), std::vector<std::wstring>{L"Neu/-"});
            EXPECT_EQ(records(b), std::vector<std::wstring>{L"b/-"});
            EXPECT_TRUE(records(c).empty());
        } else {
            EXPECT_EQ(records(a), before);
            EXPECT_TRUE(records(b).empty());
            EXPECT_EQ(records(c), std::vector<std::wstring>{L"Privat/-"});
        }
        CEOIDINFO info{};
        ASSERT_TRUE(CeOidGetInfo(oidA, &info));
        EXPECT_EQ(CeDatabaseRecordCount(oidA), info.infDatabase.wNumRecords);
        EXPECT_EQ(CeDatabaseRecordCount(oidA), commit ? 1 : 3);
        EXPECT_EQ(CeDatabaseRecordCount(oidC), commit ? 0 : 1);
        WCHAR reason[128];
        EXPECT_TRUE(CeCheckVolume(reason, 128)) << reason;
    }
    EXPECT_EQ(CeDatabaseRecordCount(0), -1);
    EXPECT_EQ(CeDatabaseRecordCount(CeSeekDatabase(a, CEDB_SEEK_BEGINNING, 0, nullptr)), -1)
        << "a record is no database";
}

// A batch lets the page cache grow; when it ends, every page it held is freed and the heap that
// held them goes back to the system, and the store reads on as before.
TEST_F(CedbTest, ABatchGivesItsPagesBackWhenItEnds) {
    HANDLE h = createNamed();
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        ASSERT_TRUE(CeBeginBatch());
        for (int i = 0; i < 3000; ++i) {
            WCHAR n[32];
            wsprintfW(n, L"Eintrag %05d mit etwas Text", (i * 7919) % 3000);
            ASSERT_NE(writeText(h, 0, kName, n), 0u);
        }
        EXPECT_GT(PageHeapBytesInUse(), 20u * 4096) << "the batch's pages lie in the page heap";
        ASSERT_TRUE(commit ? CeCommitBatch() : CeRollbackBatch());
        EXPECT_EQ(PageHeapBytesInUse(), 0u);
        const std::vector<std::wstring> names = walkNames(h);
        ASSERT_EQ(names.size(), commit ? 3000u : 0u);
        if (commit) {
            EXPECT_EQ(names.front(), L"Eintrag 00000 mit etwas Text");
            EXPECT_EQ(names.back(), L"Eintrag 02999 mit etwas Text");
        }
    }
    WCHAR reason[128];
    EXPECT_TRUE(CeCheckVolume(reason, 128)) << reason;
}

// A pass that groups its own work in batches may run inside a caller's batch.
TEST_F(CedbTest, BatchesNest) {
    HANDLE h = createNamed();
    writeText(h, 0, kName, L"outer");
    ASSERT_TRUE(CeBeginBatch());
    writeText(h, 0, kName, L"outer 2");
    ASSERT_TRUE(CeBeginBatch());
    writeText(h, 0, kName, L"inner, rolled back");
    ASSERT_TRUE(CeRollbackBatch());
    ASSERT_TRUE(CeBeginBatch());
    writeText(h, 0, kName, L"inner, committed");
    ASSERT_TRUE(CeCommitBatch());
    EXPECT_EQ(walkNames(h), (std::vector<std::wstring>{L"inner, committed", L"outer", L"outer 2"}));
    // The outer rollback takes back what the inner batch committed into it.
    ASSERT_TRUE(CeRollbackBatch());
    EXPECT_EQ(walkNames(h), std::vector<std::wstring>{L"outer"});
}

// A batch may begin before any database is open, so that creating databases belongs to it too.
TEST_F(CedbTest, ABatchHoldsTheVolumeAndTakesInDatabaseCreation) {
    ASSERT_EQ(CeOpenHandleCount(), 0);
    ASSERT_TRUE(CeBeginBatch());
    SORTORDERSPEC sort{kName, CEDB_SORT_CASEINSENSITIVE};
    CEOID oid = CeCreateDatabase(const_cast<LPWSTR>(L"Batched"), 0, 1, &sort);
    EXPECT_NE(oid, 0u);
    CeRollbackBatch();
    CEOID byName = 0;
    EXPECT_EQ(CeOpenDatabase(&byName, const_cast<LPWSTR>(L"Batched"), 0, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeOpenHandleCount(), 0);
}

// A walk must tell the end of a database from a volume it cannot read: a damaged page that
// looked like the end would show a vault as empty and let a backup lose records.
TEST_F(CedbTest, ADamagedPageIsAReadErrorNotTheEnd) {
    HANDLE h = createNamed();
    Read end = readNext(h);
    EXPECT_EQ(end.id, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << "the end of a database";
    EXPECT_TRUE(WalkDatabase(h, [](CEOID, const CEPROPVAL *, WORD) { return true; }));
    for (int i = 0; i < 40; ++i) writeText(h, 0, kName, std::to_wstring(i).c_str());
    CloseHandle(h);
    handles.clear();
    WCHAR reason[128];
    EXPECT_EQ(CeVerifyVolume(reason, 128), 1) << Utf8(reason);

    ASSERT_TRUE(DamageRecordTable(volumePath));
    const std::vector<BYTE> damaged = ReadWholeFile(volumePath);
    CEOID oid = 0;
    h = CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Test"), kName, CEDB_AUTOINCREMENT, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "the list of databases is still readable";
    handles.push_back(h);
    // The seek may still find the order (from an index of its own); the record is not there.
    CeSeekDatabase(h, CEDB_SEEK_BEGINNING, 0, nullptr);
    WORD count = 0;
    BYTE *buffer = nullptr;
    DWORD size = 0;
    EXPECT_EQ(CeReadRecordProps(h, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_READ_FAULT));
    if (buffer) LocalFree(buffer);
    int visited = 0;
    EXPECT_FALSE(WalkDatabase(h, [&](CEOID, const CEPROPVAL *, WORD) { return ++visited, true; }));
    EXPECT_EQ(CeVerifyVolume(reason, 128), 0);
    EXPECT_NE(std::wstring(reason), L"ok");
    CloseHandle(h);
    handles.clear();
    EXPECT_EQ(ReadWholeFile(volumePath), damaged) << "reading wrote nothing";
}

// A path that does not fit is refused; the default store is never opened in its place.
TEST_F(CedbTest, AStorePathTooLongIsRefusedAndNoOtherStoreIsUsed) {
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", nullptr);
    WCHAR fallback[MAX_PATH];
    ASSERT_TRUE(CeGetVolumePath(fallback));
    const std::vector<BYTE> fallbackBefore = ReadWholeFile(fallback);
    const DWORD fallbackAttributes = GetFileAttributesW(fallback);

    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = temp;
    struct Case {
        std::wstring path;
        bool fits;
    };
    const Case cases[] = {
        {dir + std::wstring(MAX_PATH - dir.size() - 4, L'k') + L".cdb", false},
        {dir + std::wstring(MAX_PATH - 1 - dir.size() - 4, L'k') + L".cdb", true},
        {dir + std::wstring(200, L'k') + L"\\" + std::wstring(200, L'k') + L".cdb", false},
        {L"/tmp/" + std::wstring(200, L'k') + L"/" + std::wstring(200, L'k') + L".cdb", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.size());
        SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", c.path.c_str());
        WCHAR got[MAX_PATH];
        SORTORDERSPEC sort{kName, 0};
        CEOID oid = CeCreateDatabase(const_cast<LPWSTR>(L"Test"), 0, 1, &sort);
        if (c.fits) {
            EXPECT_TRUE(CeGetVolumePath(got));
            EXPECT_EQ(std::wstring(got), c.path);
            EXPECT_NE(oid, 0u) << "a path of 259 units works";
            EXPECT_FALSE(ReadWholeFile(c.path).empty());
            for (const wchar_t *suffix : {L"", L"-wal", L"-shm"})
                DeleteFileW((c.path + suffix).c_str());
            continue;
        }
        EXPECT_FALSE(CeGetVolumePath(got));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        EXPECT_EQ(oid, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        EXPECT_EQ(CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Test"), 0, 0, nullptr),
                  INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(GetFileAttributesW(fallback), fallbackAttributes);
    EXPECT_EQ(ReadWholeFile(fallback), fallbackBefore) << "the default store was left alone";
}

TEST_F(CedbTest, OtherHandlesStillCloseThroughCloseHandle) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
}

}  // namespace
