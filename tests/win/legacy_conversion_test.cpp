// The one-time conversion of the earlier version's databases, its progress window, and the
// start-up steps that open the name stores.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/progress_dialog.h"
#include "app/shell.h"
#include "platform/cedb.h"
#include "prefs/settings.h"
#include "resources/resource.h"
#include "store/field_title_list.h"
#include "store/legacy_conversion.h"
#include "store/name_list.h"
#include "store/object_store.h"
#include "harness/win/test_env.h"
#include "harness/win/ui_driver.h"

namespace {

using Strings = std::vector<std::wstring>;

Strings operator+(Strings a, const Strings &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Records what happens to progress windows on this thread: creation, caption, bar range and
// position, text and destruction, in order. The pass dispatches no messages, so the hooks see
// the messages the pass sends, not anything posted.
class ProgressRecorder {
public:
    ProgressRecorder() {
        self = this;
        cbt = SetWindowsHookExW(WH_CBT, cbtProc, nullptr, GetCurrentThreadId());
        calls = SetWindowsHookExW(WH_CALLWNDPROC, callProc, nullptr, GetCurrentThreadId());
    }
    ~ProgressRecorder() {
        UnhookWindowsHookEx(cbt);
        UnhookWindowsHookEx(calls);
        self = nullptr;
    }
    ProgressRecorder(const ProgressRecorder &) = delete;
    ProgressRecorder &operator=(const ProgressRecorder &) = delete;

    Strings events;
    std::vector<HWND> windows;  // every progress window, in the order they were created

private:
    static bool isDialog(HWND w) {
        WCHAR cls[16] = {};
        GetClassNameW(w, cls, 16);
        return lstrcmpW(cls, L"#32770") == 0;
    }
    static LRESULT CALLBACK cbtProc(int code, WPARAM wParam, LPARAM lParam) {
        HWND w = reinterpret_cast<HWND>(wParam);
        if (self && code == HCBT_CREATEWND && isDialog(w)) {
            self->events.push_back(L"open");
            self->windows.push_back(w);
        } else if (self && code == HCBT_DESTROYWND && isDialog(w)) {
            self->events.push_back(L"close");
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK callProc(int code, WPARAM wParam, LPARAM lParam) {
        auto m = reinterpret_cast<const CWPSTRUCT *>(lParam);
        if (self && code == HC_ACTION) {
            HWND parent = GetParent(m->hwnd);
            int id = GetDlgCtrlID(m->hwnd);
            WCHAR line[300];
            line[0] = 0;
            if (m->message == WM_SETTEXT && isDialog(m->hwnd))
                wsprintfW(line, L"caption %s", reinterpret_cast<const WCHAR *>(m->lParam));
            else if (m->message == WM_SETTEXT && parent && isDialog(parent) &&
                     id == IDC_PROGRESS_TEXT)
                wsprintfW(line, L"text %s", reinterpret_cast<const WCHAR *>(m->lParam));
            else if (m->message == PBM_SETRANGE && id == IDC_PROGRESS_BAR)
                wsprintfW(line, L"range %d-%d", LOWORD(m->lParam), HIWORD(m->lParam));
            else if (m->message == PBM_SETPOS && id == IDC_PROGRESS_BAR)
                wsprintfW(line, L"pos %d", static_cast<int>(m->wParam));
            if (line[0]) self->events.push_back(line);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline ProgressRecorder *self = nullptr;
    HHOOK cbt, calls;
};

// What a conversion of n records shows: every record's text before it is copied, the bar after.
Strings ProgressOf(const wchar_t *caption, int total, int copied) {
    Strings e{L"open", L"range 0-" + std::to_wstring(total), std::wstring(L"caption ") + caption};
    for (int i = 0; i < copied; ++i) {
        e.push_back(L"text " + std::to_wstring(i) + L" von " + std::to_wstring(total));
        e.push_back(L"pos " + std::to_wstring(i + 1));
    }
    return e;
}

CEPROPVAL Text(CEPROPID id, const wchar_t *value) {
    CEPROPVAL v{};
    v.propid = id;
    v.val.lpwstr = const_cast<LPWSTR>(value);
    return v;
}
CEPROPVAL Number(CEPROPID id, long value) {
    CEPROPVAL v{};
    v.propid = id;
    v.val.lVal = value;
    return v;
}

// A property as stored, comparable; texts by value, other types by their 32-bit value.
struct Prop {
    CEPROPID propid;
    std::wstring text;
    long number;
    bool operator==(const Prop &) const = default;
};
using Record = std::vector<Prop>;

std::ostream &operator<<(std::ostream &os, const Prop &p) {
    char id[16];
    wsprintfA(id, "0x%08lX", static_cast<unsigned long>(p.propid));
    return os << "{" << id << " " << Utf8(p.text) << " " << p.number << "}";
}

Prop P(CEPROPID id, const wchar_t *text) { return {id, text, 0}; }
Prop P(CEPROPID id, long number) { return {id, L"", number}; }

std::vector<Record> ReadAll(HANDLE h) {
    std::vector<Record> all;
    WalkDatabase(h, [&](CEOID, const CEPROPVAL *props, WORD count) {
        Record r;
        for (WORD i = 0; i < count; ++i) {
            if (TypeFromPropID(props[i].propid) == CEVT_LPWSTR)
                r.push_back({props[i].propid, props[i].val.lpwstr, 0});
            else
                r.push_back({props[i].propid, L"", props[i].val.lVal});
        }
        all.push_back(r);
        return true;
    });
    return all;
}

// Creates a legacy database through the layer and closes it again; returns its object id.
CEOID MakeDatabase(const wchar_t *name, CEPROPID sortProp,
                   const std::vector<std::vector<CEPROPVAL>> &records) {
    SORTORDERSPEC sort{sortProp, CEDB_SORT_CASEINSENSITIVE};
    CEOID oid = CeCreateDatabase(const_cast<LPWSTR>(name), 0, 1, &sort);
    EXPECT_NE(oid, 0u) << Utf8(name);
    HANDLE h = CeOpenDatabase(&oid, nullptr, sortProp, CEDB_AUTOINCREMENT, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    for (auto props : records)
        EXPECT_NE(CeWriteRecordProps(h, 0, static_cast<WORD>(props.size()), props.data()), 0u);
    CloseHandle(h);
    return oid;
}

std::vector<Record> ReadDatabase(const wchar_t *name, CEPROPID sortProp) {
    CEOID oid = 0;
    HANDLE h =
        CeOpenDatabase(&oid, const_cast<LPWSTR>(name), sortProp, CEDB_AUTOINCREMENT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::vector<Record> all = ReadAll(h);
    CloseHandle(h);
    return all;
}

// Changes the volume behind the layer's back, as damage or another program might; the layer
// holds no handle meanwhile.
void EditVolume(const std::wstring &path, const char *sql) {
    ASSERT_EQ(CeOpenHandleCount(), 0);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open16(path.c_str(), &db), SQLITE_OK);
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

const Prop kDefaultTitles[] = {P(0x0007001F, L"Name"), P(0x0008001F, L"Seriennummer"),
                               P(0x0009001F, L"Bemerkung")};

Record With(Record r, bool titles) {
    if (titles) r.insert(r.end(), std::begin(kDefaultTitles), std::end(kDefaultTitles));
    return r;
}

class LegacyTest : public FreshStore {
protected:
    void SetUp() override {
        FreshStore::SetUp();
        lstrcpyW(currentCategory, kFilterAll);
    }
};

TEST_F(LegacyTest, ObjectsAreCopiedAsTheyAreAndOnlyObjectsWithoutTitlesGetTheDefaults) {
    MakeDatabase(
        L"Torvell", PROP_FIELD1,
        {{Text(PROP_FIELD1, L"Bank"), Text(PROP_FIELD2, L"1234"), Text(PROP_FIELD3, L""),
          Text(PROP_CATEGORY, L"Geld"), Text(0x0005001F, L"eigenes Feld"), Number(0x000A0002, 0)},
         {Text(PROP_FIELD1, L"Auto"), Text(PROP_TITLE2, L"Kennzeichen")},
         {Text(PROP_FIELD1, L"Zugang"), Text(PROP_TITLE1, L"Benutzer"),
          Text(PROP_TITLE2, L"Kennwort"), Text(PROP_TITLE3, L"Hinweis")}});
    const std::vector<Record> legacy = ReadDatabase(L"Torvell", PROP_FIELD1);
    ASSERT_EQ(legacy.size(), 3u);

    // A message posted before the start must still wait in the queue afterwards.
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 7, 0, 0);
    ProgressRecorder progress;
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    MSG waiting;
    EXPECT_TRUE(PeekMessageW(&waiting, nullptr, WM_APP + 7, WM_APP + 7, PM_REMOVE))
        << "the conversion dispatched messages";

    // The current record is the last one handled: "Zugang", last in both orders.
    EXPECT_EQ(objectStore.currentRecord,
              CeSeekDatabase(objectStore.hDatabase, CEDB_SEEK_END, 0, nullptr));
    std::vector<Record> converted = ReadAll(objectStore.hDatabase);
    ASSERT_EQ(converted.size(), 3u);
    EXPECT_EQ(converted[0], legacy[0]) << "Auto has title 2 and gets no default titles";
    EXPECT_EQ(converted[1], With(legacy[1], true));
    EXPECT_EQ(converted[2], legacy[2]);

    // Objects read as usual: a missing title falls back, the legacy property 5 is ignored.
    ObjectRecord o;
    objectStore.readVisible(0, &o);
    EXPECT_STREQ(o.title1, L"Name");
    EXPECT_STREQ(o.title2, L"Kennzeichen");
    objectStore.readVisible(1, &o);
    EXPECT_STREQ(o.category, L"Geld");
    EXPECT_EQ(o.encrypt, 0);
    EXPECT_STREQ(o.title3, L"Bemerkung");

    EXPECT_EQ(progress.events, (ProgressOf(L"Torvell konvertieren", 3, 3) + Strings{L"close"}));
    EXPECT_EQ(ReadDatabase(L"Torvell", PROP_FIELD1), legacy) << "the legacy data stays as it was";
}

TEST_F(LegacyTest, CategoriesAlwaysGetTheDefaultTitles) {
    MakeDatabase(L"Torvell-Kategorien", PROP_NAME,
                 {{Text(PROP_NAME, L"Bank"), Text(PROP_DEFAULT_TITLE1, L"Konto"),
                   Text(PROP_DEFAULT_TITLE3, L"PIN"), Number(0x000A0003, 0)},
                  {Text(PROP_NAME, L"Auto")}});
    ProgressRecorder progress;
    ASSERT_EQ(categoryStore.openCategories(kCategoryDatabase), 0);

    // The last result is the last record handled: "Bank", last in both orders.
    EXPECT_EQ(categoryStore.lastResult,
              CeSeekDatabase(categoryStore.hDatabase, CEDB_SEEK_END, 0, nullptr));
    std::vector<Record> converted = ReadAll(categoryStore.hDatabase);
    EXPECT_EQ(converted,
              (std::vector<Record>{
                  With({P(PROP_NAME, L"Auto")}, true),
                  {P(PROP_NAME, L"Bank"), P(0x0007001F, L"Name"), P(0x0009001F, L"Bemerkung"),
                   P(0x000A0003, 0L), P(0x0008001F, L"Seriennummer")},
              }));
    WCHAR t1[256], t2[256], t3[256];
    short flag = -1;
    categoryStore.readCategory(L"Auto", t1, t2, t3, &flag);
    EXPECT_EQ(flag, 1) << "no flag is added";
    categoryStore.readCategory(L"bank", t1, t2, t3, &flag);
    EXPECT_STREQ(t1, L"Name");
    EXPECT_STREQ(t2, L"Seriennummer");
    EXPECT_STREQ(t3, L"Bemerkung");
    EXPECT_EQ(flag, 0) << "a legacy flag is kept";

    EXPECT_EQ(progress.events, ProgressOf(L"Kategorien konvertieren", 2, 2) + Strings{L"close"});
}

// When a progress window appears, and when nothing is converted.
TEST_F(LegacyTest, ConversionRunsOnlyIntoANewDatabase) {
    struct Case {
        const char *what;
        bool legacy;    // legacy databases exist
        int records;    // records in each
        bool newStore;  // the current databases do not exist yet
    } cases[] = {
        {"no legacy databases", false, 0, true},
        {"empty legacy databases", true, 0, true},
        {"second start", true, 2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        if (c.legacy) {
            std::vector<std::vector<CEPROPVAL>> objects, categories;
            const wchar_t *names[] = {L"eins", L"zwei"};
            for (int i = 0; i < c.records; ++i) {
                objects.push_back({Text(PROP_FIELD1, names[i])});
                categories.push_back({Text(PROP_NAME, names[i])});
            }
            MakeDatabase(L"Torvell", PROP_FIELD1, objects);
            MakeDatabase(L"Torvell-Kategorien", PROP_NAME, categories);
        }
        if (!c.newStore) {
            ASSERT_EQ(objectStore.open(L"Arkel"), 0);
            ASSERT_EQ(categoryStore.openCategories(kCategoryDatabase), 0);
            ResetGlobalStores();
        }
        int objectsBefore = static_cast<int>(ReadDatabase(L"Arkel", PROP_FIELD1).size());
        int categoriesBefore = static_cast<int>(ReadDatabase(kCategoryDatabase, PROP_NAME).size());

        ProgressRecorder progress;
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
        ASSERT_EQ(categoryStore.openCategories(kCategoryDatabase), 0);
        if (c.legacy && c.newStore) {
            EXPECT_EQ(
                progress.events,
                (Strings{L"open", L"range 0-0", L"caption Torvell konvertieren", L"close", L"open",
                         L"range 0-0", L"caption Kategorien konvertieren", L"close"}));
        } else {
            EXPECT_EQ(progress.events, Strings{}) << "no window";
        }
        EXPECT_EQ(objectStore.recordCount(), objectsBefore);
        EXPECT_EQ(categoryStore.recordCount(), categoriesBefore);
    }
}

// A record the layer cannot write, or fewer records than the count promised, end the
// conversion early; what was copied stays and the start goes on.
TEST_F(LegacyTest, AFailureEndsTheConversionEarly) {
    struct Case {
        const char *what;
        const char *damage;
        int total;   // the count the progress window shows
        int copied;  // records converted completely
    } cases[] = {
        // The third record carries a value of a type the layer does not know: its read works,
        // its write is refused.
        {"unwritable record", "UPDATE props SET propid = 0x00050099 WHERE propid = 0x0005001F", 4,
         2},
        // The database information promises two records more than there are.
        {"count larger than the records",
         "UPDATE dbs SET records = records + 2 WHERE oid = (SELECT parent FROM objects WHERE oid ="
         " (SELECT rec FROM props WHERE propid = 0x0001001F LIMIT 1))",
         6, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        MakeDatabase(L"Torvell", PROP_FIELD1,
                     {{Text(PROP_FIELD1, L"a")},
                      {Text(PROP_FIELD1, L"b")},
                      {Text(PROP_FIELD1, L"c"), Text(0x0005001F, L"fremd")},
                      {Text(PROP_FIELD1, L"d")}});
        EditVolume(volumePath, c.damage);

        ProgressRecorder progress;
        ASSERT_EQ(objectStore.open(L"Arkel"), 0) << "the start goes on";
        std::vector<Record> converted = ReadAll(objectStore.hDatabase);
        ASSERT_EQ(static_cast<int>(converted.size()), c.copied);
        const wchar_t *names[] = {L"a", L"b", L"c", L"d"};
        for (int i = 0; i < c.copied; ++i) EXPECT_EQ(converted[i][0], P(PROP_FIELD1, names[i]));
        EXPECT_EQ(converted.back().size(), 4u) << "with the default titles";

        Strings expected = ProgressOf(L"Torvell konvertieren", c.total, c.copied);
        expected.push_back(L"text " + std::to_wstring(c.copied) + L" von " +
                           std::to_wstring(c.total));
        expected.push_back(L"close");
        EXPECT_EQ(progress.events, expected);
    }
}

TEST_F(LegacyTest, TheProgressWindow) {
    hbrWindowBack = CreateSolidBrush(RGB(1, 2, 3));
    clrWindowText = RGB(200, 100, 50);
    clrWindowBack = RGB(1, 2, 3);

    HWND w = OpenProgressWindow(L"Test", 10);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(WindowText(w), L"Test");
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_CAPTION);

    // 130 x 30 dialog units of client area, centred on the screen.
    RECT units{0, 0, 130, 30}, client, frame;
    MapDialogRect(w, &units);
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    GetWindowRect(w, &frame);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 2);

    HWND bar = GetDlgItem(w, IDC_PROGRESS_BAR);
    HWND text = GetDlgItem(w, IDC_PROGRESS_TEXT);
    WCHAR cls[32] = {};
    GetClassNameW(bar, cls, 32);
    EXPECT_STREQ(cls, L"msctls_progress32");
    EXPECT_EQ(GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
    RECT barRect, textRect;
    GetWindowRect(bar, &barRect);
    GetWindowRect(text, &textRect);
    EXPECT_LE(barRect.bottom, textRect.top) << "the bar above the text";

    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 10);
    SetProgressText(w, 3, 10);
    SetProgressPosition(w, 4);
    EXPECT_EQ(ItemText(w, IDC_PROGRESS_TEXT), L"3 von 10");
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 4);

    // The dialog colours of the settings.
    HDC dc = GetDC(text);
    LRESULT brush = SendMessageW(w, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), hbrWindowBack);
    EXPECT_EQ(GetTextColor(dc), clrWindowText);
    EXPECT_EQ(GetBkColor(dc), clrWindowBack);
    ReleaseDC(text, dc);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(SendMessageW(w, WM_CTLCOLORDLG, 0, 0)), hbrWindowBack);

    // Commands 1 and 2 close it.
    for (int command : {IDOK, IDCANCEL}) {
        HWND again = command == IDOK ? w : OpenProgressWindow(L"Noch einmal", 1);
        SendMessageW(again, WM_COMMAND, command, 0);
        EXPECT_FALSE(IsWindowVisible(again)) << command;
        CloseProgressWindow(again);
        EXPECT_FALSE(IsWindow(again));
    }
    DeleteObject(hbrWindowBack);
    hbrWindowBack = nullptr;
}

// ---- Start-up ----

class StartTest : public LegacyTest {
protected:
    void SetUp() override {
        LegacyTest::SetUp();
        static ATOM atom = RegisterMainClass(GetModuleHandleW(nullptr));
        ASSERT_NE(atom, 0);
    }
};

const char kLegacyDevice[] = R"({"databases":[
 {"name":"Torvell","type":0,"sortOrders":[{"propid":"0x0001001f","flags":2}],"records":[
  {"props":[{"propid":"0x0001001f","type":"LPWSTR","value":"Girokonto"},
            {"propid":"0x0002001f","type":"LPWSTR","value":"DE12 3456"},
            {"propid":"0x0004001f","type":"LPWSTR","value":"Bank"}]},
  {"props":[{"propid":"0x0001001f","type":"LPWSTR","value":"Fahrrad"},
            {"propid":"0x0004001f","type":"LPWSTR","value":"Schloss"},
            {"propid":"0x0008001f","type":"LPWSTR","value":"Code"},
            {"propid":"0x000a0002","type":"I2","value":0}]}]},
 {"name":"Torvell-Kategorien","type":0,"sortOrders":[{"propid":"0x0004001f","flags":2}],"records":[
  {"props":[{"propid":"0x0004001f","type":"LPWSTR","value":"bank"}]},
  {"props":[{"propid":"0x0004001f","type":"LPWSTR","value":"Privat"},
            {"propid":"0x0007001f","type":"LPWSTR","value":"Wer"}]}]}]})";

Strings Names(NameList &list) {
    Strings out;
    for (const Record &r : ReadAll(list.hDatabase)) out.push_back(r[0].text);
    return out;
}

TEST_F(StartTest, AFirstStartConvertsTheLegacyDatabasesAndMergesTheirNames) {
    std::wstring input = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(input, kLegacyDevice, sizeof kLegacyDevice - 1));
    std::string out;
    ASSERT_EQ(RunTool(L"arkstore.exe load " + input, &out), 0) << out;
    DeleteFileW(input.c_str());

    UiDriver ui;
    ProgressRecorder progress;
    ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    for (const SeenDialog &d : ui.seen()) EXPECT_EQ(d.text, L"") << "no message box";
    EXPECT_EQ(progress.events, ProgressOf(L"Torvell konvertieren", 2, 2) + Strings{L"close"} +
                                   ProgressOf(L"Kategorien konvertieren", 2, 2) +
                                   Strings{L"close"});

    EXPECT_EQ(objectStore.recordCount(), 2);
    // "Schloss" came from an object: no titles but its own title 2, and its flag 0.
    EXPECT_EQ(Names(categoryStore), (Strings{L"bank", L"Privat", L"Schloss"}));
    WCHAR t1[256], t2[256], t3[256];
    short flag = -1;
    categoryStore.readCategory(L"Schloss", t1, t2, t3, &flag);
    EXPECT_STREQ(t1, L"");
    EXPECT_STREQ(t2, L"Code");
    EXPECT_EQ(flag, 0);
    categoryStore.readCategory(L"Privat", t1, t2, t3, &flag);
    EXPECT_STREQ(t1, L"Name") << "converted categories carry the default titles";
    EXPECT_EQ(Names(titleList1), (Strings{L"Name"}));
    EXPECT_EQ(Names(titleList2), (Strings{L"Code", L"Seriennummer"}));
    EXPECT_EQ(Names(titleList3), (Strings{L"Bemerkung"}));

    // The title databases carry the digit right after "Arkel-Titel".
    for (const wchar_t *name : {L"Arkel-Titel1", L"Arkel-Titel2", L"Arkel-Titel3"})
        EXPECT_EQ(ReadDatabase(name, PROP_NAME).size(), name[11] == L'2' ? 2u : 1u) << Utf8(name);
    CEOID oid = 0;
    EXPECT_EQ(CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Arkel-Titel 1"), 0, 0, nullptr),
              INVALID_HANDLE_VALUE);

    // The second start converts nothing and finds everything as it was.
    ResetShell();
    ResetGlobalStores();
    ProgressRecorder second;
    ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    EXPECT_EQ(second.events, Strings{});
    EXPECT_EQ(objectStore.recordCount(), 2);
    EXPECT_EQ(Names(categoryStore), (Strings{L"bank", L"Privat", L"Schloss"}));
}

// A name database that exists but cannot be opened on its names ends the start with the
// database message, whichever of the four it is.
TEST_F(StartTest, ANameStoreThatCannotBeOpenedEndsTheStart) {
    for (const wchar_t *name :
         {L"Arkel-Kategorien", L"Arkel-Titel1", L"Arkel-Titel2", L"Arkel-Titel3"}) {
        SCOPED_TRACE(Utf8(name));
        TearDown();
        SetUp();
        MakeDatabase(name, PROP_FIELD1, {});  // sorted on the wrong property
        UiDriver ui;
        ui.answerMessageBox(IDOK);
        EXPECT_FALSE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
        ASSERT_EQ(ui.seen().size(), 1u);
        EXPECT_EQ(ui.seen()[0].caption, L"The Arkel");
        EXPECT_EQ(ui.seen()[0].text,
                  L"Die Datenbank konnte nicht ge\u00f6ffnet werden.\nDas Programm mu\u00df "
                  L"beendet werden.");
        EXPECT_EQ(hbrWindowBack, nullptr) << "drawing objects are released";
        CEOID oid = 0;
        HANDLE left = CeOpenDatabase(&oid, const_cast<LPWSTR>(name), PROP_FIELD1, 0, nullptr);
        EXPECT_NE(left, INVALID_HANDLE_VALUE) << "the database is left as it was";
        CloseHandle(left);
    }
}

}  // namespace
