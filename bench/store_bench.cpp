// store_bench: how a full store performs beside the floors of SQLite and Wine's controls on the
// same machine in the same run.
//
//   store_bench.exe OBJECTS [WORKDIR]
//
// Builds a store of OBJECTS objects with `arkstore load` and measures, each beside its floor:
//   - arkstore load                 floor: the same records written in one transaction
//   - start-up until idle           floor: one-statement read of names and categories, sorted,
//                                   plus a list box filled with redraw off and storage reserved
//   - selecting the first/last row  floor: selecting row 0
//   - the working set of arkel.exe started on the store
//   - the search box: every keystroke of a part of one object's field 3 typed in small letters,
//     the first keystroke of a letter that nearly every object holds (its list is the whole
//     store), Backspace back to it, and Esc back to the filter's list (target: under 50 ms a
//     keystroke at 65,535 objects)
// Times are the minimum (start-up: of two runs; selection: the median of seven). Run it through
// `make bench-store`, which gives it a Wine prefix and a display of its own.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "app/shell.h"
#include "bench/bench_kit.h"
#include "platform/cedb.h"
#include "platform/utf8.h"
#include "prefs/settings.h"
#include "sqlite3.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"

namespace {

using bench::Line;
using bench::Now;
using bench::RemoveVolume;
using bench::Time;
using bench::WriteInOneTransaction;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string JsonText(const std::wstring &w) {
    std::string s = "\"";
    for (char c : Utf8(w)) {
        if (c == '"' || c == '\\') s += '\\';
        s += c;
    }
    return s + "\"";
}

// ---- the objects: names with mixed case and umlauts, 24 categories and some without ----

struct BenchObject {
    std::wstring field1, field2, field3, category, title1, title2, title3;
    short encrypt;
};

std::vector<BenchObject> MakeObjects(int count) {
    static const wchar_t *first[] = {
        L"Konto",  L"bank", L"Ärzte", L"Versicherung", L"PIN",    L"router", L"Öltank", L"mail",
        L"Zugang", L"über", L"Karte", L"Schlüssel",    L"Tresor", L"wlan",   L"Server"};
    static const wchar_t *second[] = {L"Müller", L"schmidt", L"Meier", L"Ökobank", L"Sparkasse",
                                      L"Post",   L"Heim",    L"büro",  L"Privat",  L"Zentrale"};
    static const wchar_t *titles[] = {L"Name", L"Benutzer", L"Konto", L"Login"};
    std::vector<BenchObject> objects;
    objects.reserve(static_cast<size_t>(count));
    unsigned seed = 4711;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFFFF; };
    for (int i = 0; i < count; ++i) {
        BenchObject o;
        WCHAR buf[256];
        wsprintfW(buf, L"%s %s %05u", first[next() % 15], second[next() % 10], next() % 100000);
        o.field1 = buf;
        wsprintfW(buf, L"SN-%08X", next());
        o.field2 = buf;
        wsprintfW(buf, L"Bemerkung %d zu %s", i, o.field1.c_str());
        o.field3 = buf;
        unsigned c = next() % 28;
        if (c < 24) {
            wsprintfW(buf, L"Kategorie %02u", c);
            o.category = buf;
        }
        o.title1 = titles[next() % 4];
        o.title2 = L"Seriennummer";
        o.title3 = L"Bemerkung";
        o.encrypt = 0;
        objects.push_back(std::move(o));
    }
    return objects;
}

std::string PropJson(const char *id, const std::wstring &text) {
    return std::string("{\"propid\":\"") + id +
           "\",\"type\":\"LPWSTR\",\"value\":" + JsonText(text) + "}";
}

// The dump of a store holding the objects, their categories and the three title lists.
std::string DumpOf(const std::vector<BenchObject> &objects) {
    std::string s = "{\"databases\":[";
    s += "{\"name\":\"Arkel\",\"sortOrders\":[{\"propid\":\"0x0001001f\",\"flags\":2}],"
         "\"records\":[";
    for (size_t i = 0; i < objects.size(); ++i) {
        const BenchObject &o = objects[i];
        if (i) s += ",";
        s += "{\"props\":[" + PropJson("0x0001001f", o.field1) + "," +
             PropJson("0x0002001f", o.field2) + "," + PropJson("0x0003001f", o.field3) + "," +
             PropJson("0x0004001f", o.category) + "," + PropJson("0x0007001f", o.title1) + "," +
             PropJson("0x0008001f", o.title2) + "," + PropJson("0x0009001f", o.title3) +
             ",{\"propid\":\"0x000a0002\",\"type\":\"I2\",\"value\":" + std::to_string(o.encrypt) +
             "}]}";
    }
    s += "]},{\"name\":\"Arkel-Kategorien\",\"sortOrders\":[{\"propid\":\"0x0004001f\","
         "\"flags\":2}],\"records\":[]}";
    const wchar_t *seeds[] = {L"Name", L"Seriennummer", L"Bemerkung"};
    for (int n = 0; n < 3; ++n) {
        s += ",{\"name\":\"Arkel-Titel" + std::to_string(n + 1) +
             "\",\"sortOrders\":[{\"propid\":\"0x0004001f\",\"flags\":2}],\"records\":[{\"props\":"
             "[" +
             PropJson("0x0004001f", seeds[n]) + "]}]}";
    }
    return s + "]}";
}

std::wstring Folder;

std::wstring PathIn(const wchar_t *name) { return Folder + L"\\" + name; }

std::wstring ProgramFolder() {
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    *wcsrchr(self, L'\\') = 0;
    return self;
}

// Runs a program of the build tree on the volume and waits for it; its exit code.
DWORD RunAndWait(const std::wstring &commandLine) {
    std::wstring command = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return 999;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 999;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}

// ---- floors ----

// The objects written in one transaction, as the layer writes them.
double FloorWrites(const std::vector<BenchObject> &objects) {
    return WriteInOneTransaction(PathIn(L"floor-writes.cdb"), [&](HANDLE h) {
        for (const BenchObject &o : objects) {
            CEPROPVAL v[8] = {};
            const std::wstring *texts[7] = {&o.field1, &o.field2, &o.field3, &o.category,
                                            &o.title1, &o.title2, &o.title3};
            const CEPROPID ids[7] = {PROP_FIELD1, PROP_FIELD2, PROP_FIELD3, PROP_CATEGORY,
                                     PROP_TITLE1, PROP_TITLE2, PROP_TITLE3};
            for (int i = 0; i < 7; ++i) {
                v[i].propid = ids[i];
                v[i].val.lpwstr = const_cast<LPWSTR>(texts[i]->c_str());
            }
            v[7].propid = PROP_ENCRYPT;
            v[7].val.iVal = o.encrypt;
            CeWriteRecordProps(h, 0, 8, v);
        }
    });
}

// Names and categories of the object database with one statement, sorted by the platform's
// sort keys (which order as CompareStringW does); also the time of a sort with CompareStringW.
double FloorReadAndSort(const std::wstring &volume, double *compareSort) {
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", volume.c_str());
    CEOID oid = 0;
    HANDLE h = CeOpenDatabase(&oid, const_cast<LPWSTR>(L"Arkel"), 0, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    sqlite3 *db = nullptr;
    sqlite3_open_v2(Utf8(volume).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    struct Row {
        std::wstring name, category;
        std::string key;
    };
    std::vector<Row> rows;
    double read = Time([&] {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT n.value, c.value FROM objects o "
                           "LEFT JOIN props n ON n.rec = o.oid AND n.propid = 65567 "
                           "LEFT JOIN props c ON c.rec = o.oid AND c.propid = 262175 "
                           "WHERE o.parent = ?",
                           -1, &st, nullptr);
        sqlite3_bind_int64(st, 1, oid);
        while (sqlite3_step(st) == SQLITE_ROW) {
            Row r;
            auto text = [&](int c) {
                return std::wstring(static_cast<const wchar_t *>(sqlite3_column_blob(st, c)),
                                    static_cast<size_t>(sqlite3_column_bytes(st, c)) / 2);
            };
            r.name = text(0);
            r.category = text(1);
            rows.push_back(std::move(r));
        }
        sqlite3_finalize(st);
    });
    sqlite3_close(db);
    std::vector<Row> copy = rows;
    *compareSort =
        read + Time([&] {
            std::stable_sort(copy.begin(), copy.end(), [](const Row &a, const Row &b) {
                return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.name.c_str(),
                                      static_cast<int>(a.name.size()), b.name.c_str(),
                                      static_cast<int>(b.name.size())) == CSTR_LESS_THAN;
            });
        });
    return read + Time([&] {
               for (Row &r : rows) {
                   char buf[1024];
                   int n =
                       LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE,
                                    r.name.c_str(), -1, reinterpret_cast<WCHAR *>(buf), sizeof buf);
                   r.key.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
               }
               std::stable_sort(rows.begin(), rows.end(),
                                [](const Row &a, const Row &b) { return a.key < b.key; });
           });
}

// A list box of the program's size and style filled with redraw off and storage reserved.
double FloorListFill(const std::vector<BenchObject> &objects) {
    HWND top = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr,
                               nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", 0x50200001, 0, 60, 240, 260, top,
                                nullptr, nullptr, nullptr);
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        best = std::min(best, Time([&] {
                            SendMessageW(list, WM_SETREDRAW, FALSE, 0);
                            SendMessageW(list, LB_RESETCONTENT, 0, 0);
                            SendMessageW(list, LB_INITSTORAGE, objects.size(), objects.size() * 64);
                            for (const BenchObject &o : objects)
                                SendMessageW(list, LB_ADDSTRING, 0,
                                             reinterpret_cast<LPARAM>(o.field1.c_str()));
                            SendMessageW(list, WM_SETREDRAW, TRUE, 0);
                            InvalidateRect(list, nullptr, TRUE);
                            UpdateWindow(list);
                        }));
    }
    DestroyWindow(top);
    return best;
}

// ---- the program ----

void PumpUntilIdle() {
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchShellMessage(&msg);
        if (!GetQueueStatus(QS_ALLINPUT)) return;
    }
}

void CloseProgram() {
    if (hMainWnd && IsWindow(hMainWnd)) DestroyWindow(hMainWnd);
    hMainWnd = nullptr;
    ReleaseDrawingObjects();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    PropertyDatabase *stores[] = {&objectStore, &categoryStore, &titleList1, &titleList2,
                                  &titleList3};
    for (PropertyDatabase *store : stores) {
        if (store->hDatabase != INVALID_HANDLE_VALUE) CloseHandle(store->hDatabase);
        store->hDatabase = INVALID_HANDLE_VALUE;
        store->oidDatabase = 0;
    }
    objectStore.currentRecord = 0;
}

// A first start: no settings stored, the store as loaded.
double StartUp(const std::wstring &volume, const std::wstring &loaded) {
    RemoveVolume(volume);
    CopyFileW(loaded.c_str(), volume.c_str(), FALSE);
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", volume.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Mobrix\\Arkel");
    currentCategory[0] = 0;
    return Time([&] {
        if (!InitInstance(GetModuleHandleW(nullptr), SW_SHOW)) {
            fprintf(stderr, "store_bench: the program did not start\n");
            ExitProcess(1);
        }
        PumpUntilIdle();
    });
}

double SelectRow(int row) {
    return Time([&] {
        SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hObjectList), LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(hObjectList));
        PumpUntilIdle();
    });
}

// One keystroke in the search box: the text changed as a key does (the list refilled, the first
// match shown), and the window painted.
double SearchKey(const std::wstring &text) {
    return Time([&] {
        SetWindowTextW(hSearchEdit, text.c_str());
        PumpUntilIdle();
    });
}

void SearchBench(int count, const std::vector<BenchObject> &objects) {
    double opening = Time([] {
        OpenSearch();
        PumpUntilIdle();
    });
    Line(count, "search: Ctrl+F (one walk)", opening);
    // A part of one object's field 3, typed key by key in small letters, three times; each key's
    // best time counts (the machine's other work only ever adds).
    const BenchObject &target = objects[objects.size() / 2];
    std::wstring part = target.field3.substr(target.field3.find(L' ') + 1, 12);
    CharLowerW(part.data());
    std::vector<double> best(part.size(), 1e9);
    for (int round = 0; round < 3; ++round) {
        SearchKey(L"");
        std::wstring typed;
        for (size_t i = 0; i < part.size(); ++i) {
            typed += part[i];
            best[i] = std::min(best[i], SearchKey(typed));
        }
    }
    int rows = static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0));
    double worst = *std::max_element(best.begin(), best.end());
    double total = 0;
    for (double t : best) total += t;
    char name[96];
    snprintf(name, sizeof name, "search: %d keys, slowest", static_cast<int>(part.size()));
    Line(count, name, worst);
    Line(count, "search: mean keystroke", total / static_cast<double>(part.size()));
    printf("%7d  %-28s %9d rows found for \"%s\"; keys:", count, "", rows, Utf8(part).c_str());
    for (double t : best) printf(" %.3f", t);
    printf("\n");
    // A letter that nearly every object holds (its list is the whole store), the next key, and
    // Backspace back to it; a letter that about half the objects hold, from the filter's list.
    double all = 1e9, second = 1e9, back = 1e9, half = 1e9;
    for (int round = 0; round < 3; ++round) {
        SearchKey(L"");
        all = std::min(all, SearchKey(L"e"));
        second = std::min(second, SearchKey(L"er"));
        back = std::min(back, SearchKey(L"e"));
        SearchKey(L"");
        half = std::min(half, SearchKey(L"\u00fc"));
    }
    Line(count, "search: key matching all", all);
    Line(count, "search: second key", second);
    Line(count, "search: Backspace", back);
    printf("%7d  %-28s %9.3f s  (%d rows: filled anew)\n", count, "search: key matching some", half,
           static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0)));
    if (GetEnvironmentVariableW(L"ARKEL_BENCH_DETAIL", nullptr, 0)) {
        // Where a keystroke spends its time: the store's matching, the list's change, the detail
        // area, and the painting after it.
        for (const wchar_t *key : {L"3", L"e", L"\u00fc"}) {
            double match = 1e9, names = 1e9, fill = 1e9, detail = 1e9, paint = 1e9, reset = 1e9,
                   setCount = 1e9, shrink = 1e9;
            for (int round = 0; round < 3; ++round) {
                SearchKey(L"");
                match = std::min(match, Time([&] { objectStore.setSearch(key); }));
                std::vector<const WCHAR *> n;
                names =
                    std::min(names, Time([&] { objectStore.visibleNames(&n, kEncryptedName); }));
                fill = std::min(fill, Time([] { FillSearchList(); }));
                detail = std::min(detail, Time([] {
                                      SendMessageW(hObjectList, LB_SETCURSEL, 0, 0);
                                      RefreshDetail();
                                  }));
                paint = std::min(paint, Time([] { PumpUntilIdle(); }));
                const WPARAM shown = static_cast<WPARAM>(n.size());
                reset =
                    std::min(reset, Time([] { SendMessageW(hObjectList, LB_RESETCONTENT, 0, 0); }));
                setCount = std::min(
                    setCount, Time([&] { SendMessageW(hObjectList, LB_SETCOUNT, shown, 0); }));
                SendMessageW(hObjectList, LB_SETCOUNT, 65535, 0);
                shrink = std::min(shrink,
                                  Time([&] { SendMessageW(hObjectList, LB_SETCOUNT, shown, 0); }));
                FillSearchList();
            }
            printf(
                "  detail: key \"%s\": LB_RESETCONTENT %.4f, LB_SETCOUNT %.4f s, from 65535 "
                "%.4f s\n",
                Utf8(key).c_str(), reset, setCount, shrink);
            printf(
                "  detail: key \"%s\": match %.4f, names %.4f, list %.4f (names included), "
                "detail %.4f, paint %.4f s; %d rows\n",
                Utf8(key).c_str(), match, names, fill, detail, paint,
                static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0)));
        }
    }
    Line(count, "search: Esc to the filter", Time([] {
             CloseSearch();
             PumpUntilIdle();
         }));
}

// arkel.exe on the store: the time until it waits for input, and its working set then.
bool ProgramProcess(const std::wstring &volume, const std::wstring &loaded, double *seconds,
                    SIZE_T *workingSet, SIZE_T *peak) {
    RemoveVolume(volume);
    CopyFileW(loaded.c_str(), volume.c_str(), FALSE);
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", volume.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Mobrix\\Arkel");
    std::wstring command = L"\"" + ProgramFolder() + L"\\arkel.exe\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    double start = Now();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    WaitForInputIdle(pi.hProcess, 900000);
    // Wine reports input idle at the first wait for a message; the list is there once the main
    // window has been found and a message round trip through it has come back.
    HWND main = nullptr;
    while (!(main = FindWindowW(L"Arkel", L"The Arkel")) &&
           WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) {
    }
    DWORD_PTR answer = 0;
    if (main) SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 900000, &answer);
    *seconds = Now() - start;
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc);
    *workingSet = pmc.WorkingSetSize;
    *peak = pmc.PeakWorkingSetSize;
    if (main) PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return main != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: store_bench OBJECTS [WORKDIR]\n");
        return 2;
    }
    int count = _wtoi(argv[1]);
    if (count < 1 || count > CEDB_MAXRECORDS) return 2;
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    Folder = argc > 2 ? argv[2] : temp;
    if (!Folder.empty() && Folder.back() == L'\\') Folder.pop_back();

    std::vector<BenchObject> objects = MakeObjects(count);
    std::wstring dump = PathIn(L"bench-store.json");
    std::string text = DumpOf(objects);
    HANDLE f = CreateFileW(dump.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);

    // arkstore load, and its floor.
    std::wstring loaded = PathIn(L"bench-loaded.cdb");
    RemoveVolume(loaded);
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", loaded.c_str());
    double load = Time([&] {
        if (RunAndWait(L"\"" + ProgramFolder() + L"\\arkstore.exe\" load \"" + dump + L"\"") != 0) {
            fprintf(stderr, "store_bench: arkstore load failed\n");
            ExitProcess(1);
        }
    });
    double writes = 1e9;
    for (int run = 0; run < 2; ++run) writes = std::min(writes, FloorWrites(objects));
    Line(count, "arkstore load", load, writes, "one-transaction writes");

    double compareSort = 0;
    double readSort = 1e9;
    for (int run = 0; run < 3; ++run) {
        double c = 0;
        readSort = std::min(readSort, FloorReadAndSort(loaded, &c));
        compareSort = run ? std::min(compareSort, c) : c;
    }
    double fill = FloorListFill(objects);
    char floorName[96];
    snprintf(floorName, sizeof floorName, "read+sort %.3f + fill %.3f", readSort, fill);

    static ATOM atom = RegisterMainClass(GetModuleHandleW(nullptr));
    if (!atom) return 1;
    std::wstring volume = PathIn(L"bench-run.cdb");
    double startUp = 1e9;
    std::vector<double> first, last, middle;
    for (int run = 0; run < 2; ++run) {
        startUp = std::min(startUp, StartUp(volume, loaded));
        int rows = static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0));
        if (rows != count) fprintf(stderr, "store_bench: %d rows for %d objects\n", rows, count);
        for (int i = 0; i < 4; ++i) {
            first.push_back(SelectRow(0));
            last.push_back(SelectRow(rows - 1));
            middle.push_back(SelectRow(rows / 2));
        }
        if (run == 0 && GetEnvironmentVariableW(L"ARKEL_BENCH_DETAIL", nullptr, 0)) {
            // Where start-up and selection spend their time.
            ObjectRecord o;
            printf("  detail: readVisible(last) %.4f s\n",
                   Time([&] { objectStore.readVisible(rows - 1, &o); }));
            printf("  detail: RefreshDetail %.4f s\n", Time([&] { RefreshDetail(); }));
            printf("  detail: walk of all records %.3f s\n", Time([&] {
                       WalkDatabase(objectStore.hDatabase,
                                    [](CEOID, const CEPROPVAL *, WORD) { return true; });
                   }));
            static const CEPROPID three[] = {PROP_FIELD1, PROP_CATEGORY, PROP_VERIFIER};
            printf("  detail: walk of three properties %.3f s\n", Time([&] {
                       WalkDatabase(
                           objectStore.hDatabase,
                           [](CEOID, const CEPROPVAL *, WORD) { return true; }, three, 3);
                   }));
            printf("  detail: walk of all records again %.3f s\n", Time([&] {
                       WalkDatabase(objectStore.hDatabase,
                                    [](CEOID, const CEPROPVAL *, WORD) { return true; });
                   }));
            std::vector<std::wstring> names;
            printf("  detail: walk copying names %.3f s\n", Time([&] {
                       WalkDatabase(objectStore.hDatabase,
                                    [&](CEOID, const CEPROPVAL *props, WORD count) {
                                        WCHAR name[256] = {};
                                        for (int i = count - 1; i >= 0; --i)
                                            if (props[i].propid == PROP_FIELD1)
                                                CopyStoredText(name, props[i]);
                                        names.emplace_back(name);
                                        return true;
                                    });
                   }));
            printf("  detail: list adds %.3f s\n", Time([&] {
                       SendMessageW(hObjectList, WM_SETREDRAW, FALSE, 0);
                       SendMessageW(hObjectList, LB_RESETCONTENT, 0, 0);
                       SendMessageW(hObjectList, LB_INITSTORAGE, names.size(), names.size() * 64);
                       for (const std::wstring &n : names)
                           SendMessageW(hObjectList, LB_ADDSTRING, 0,
                                        reinterpret_cast<LPARAM>(n.c_str()));
                       SendMessageW(hObjectList, WM_SETREDRAW, TRUE, 0);
                   }));
            WCHAR reason[64];
            printf("  detail: CeVerifyVolume (start-up's check of the store) %.3f s\n",
                   Time([&] { CeVerifyVolume(reason, 64); }));
            printf("  detail: MergeNamesFromObjects %.3f s\n",
                   Time([&] { MergeNamesFromObjects(); }));
            printf("  detail: FillObjectList %.3f s\n",
                   Time([&] { FillObjectList(objectStore, hObjectList); }));
            printf("  detail: pump after fill %.3f s\n", Time([&] { PumpUntilIdle(); }));
            CEPROPVAL v{};
            v.propid = PROP_FIELD3;
            v.val.lpwstr = const_cast<LPWSTR>(L"x");
            CEOID first = CeSeekDatabase(objectStore.hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
            CeWriteRecordProps(objectStore.hDatabase, first, 1, &v);
            v.propid = PROP_FIELD1;
            CeWriteRecordProps(objectStore.hDatabase, first, 1, &v);
            printf("  detail: seek after one write %.4f s\n", Time([&] {
                       CeSeekDatabase(objectStore.hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
                   }));
            for (int i = 0; i < 100; ++i) CeWriteRecordProps(objectStore.hDatabase, first, 1, &v);
            printf("  detail: seek after 100 writes (sorted afresh) %.4f s\n", Time([&] {
                       CeSeekDatabase(objectStore.hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
                   }));
        }
        if (run == 1) SearchBench(count, objects);
        CloseProgram();
    }
    Line(count, "start-up until idle", startUp, readSort + fill, floorName);
    printf("%7d  %-28s %9.3f s  (read and sort with CompareStringW instead: %.3f s)\n", count, "",
           startUp, compareSort);
    Line(count, "select row 0", Median(first));
    Line(count, "select the middle row", Median(middle), Median(first), "selecting row 0");
    Line(count, "select the last row", Median(last), Median(first), "selecting row 0");

    double processStart = 0;
    SIZE_T workingSet = 0, peak = 0;
    if (ProgramProcess(volume, loaded, &processStart, &workingSet, &peak)) {
        Line(count, "arkel.exe until input idle", processStart);
        printf("%7d  %-28s %9.1f MB (peak %.1f MB)  target < 100 MB: %s\n", count,
               "arkel.exe working set", static_cast<double>(workingSet) / 1048576.0,
               static_cast<double>(peak) / 1048576.0, peak < 100u * 1048576u ? "ok" : "OVER");
    }
    RemoveVolume(volume);
    RemoveVolume(loaded);
    DeleteFileW(dump.c_str());
    return 0;
}
