// Export and import of a store of ARKEL_BENCH_OBJECTS objects (default 65,535), plain and
// encrypted: exportData and importData with their dialogs answered, without the main window (whose
// list refill after an import is the shell's cost, not the exchange's). Each is printed beside its
// floor measured in the same run: export beside one statement reading every property of every
// object, import ("Ja": delete and add) beside the same objects written in one transaction.
// Asserts only that the work was done. `make bench-store` runs it; by hand:
//   scripts/with-display.sh env WINEPREFIX=$PWD/build/win/benchprefix wine
//   build/win/bin/exchange_bench.exe
#include <gtest/gtest.h>
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/shell.h"
#include "bench/bench_kit.h"
#include "exchange/export.h"
#include "exchange/import.h"
#include "harness/win/dialog_answers.h"
#include "harness/win/test_env.h"
#include "harness/win/ui_driver.h"
#include "platform/cedb.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"

#include "sqlite3.h"

namespace {

using bench::Line;

const wchar_t kPassword[] = L"Benchmark-Passwort";

// When the last dialog before the work was answered: the export and the import are timed from
// there, so that the time Wine takes to build the file dialog (the same for any store) is not
// counted as theirs.
LARGE_INTEGER answered;

// Answers the dialog with the step and notes when it did.
std::function<void(HWND)> Stamped(std::function<void(HWND)> step) {
    return [step](HWND d) {
        QueryPerformanceCounter(&answered);
        step(d);
    };
}

// The message that says how many objects were written or read ends the work: the time is taken
// when it appears, before it is answered.
double workSeconds;
double Seconds(LARGE_INTEGER from);
std::function<void(HWND)> CountSaid() {
    return [](HWND d) {
        workSeconds = Seconds(answered);
        PressButton(d, IDOK);
    };
}

double Seconds(LARGE_INTEGER from) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// One statement reading every property of every object, copied out as the export copies them.
double OneStatementRead() {
    WCHAR volume[MAX_PATH];
    if (!CeGetVolumePath(volume)) return 0;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(Utf8(volume).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return 0;
    std::vector<std::vector<unsigned char>> values;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT p.propid, p.value FROM objects o JOIN props p ON p.rec = o.oid "
                       "WHERE o.parent = ?",
                       -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, objectStore.oidDatabase);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto *v = static_cast<const unsigned char *>(sqlite3_column_blob(st, 1));
        values.emplace_back(v, v + sqlite3_column_bytes(st, 1));
    }
    sqlite3_finalize(st);
    const double seconds = Seconds(start);
    sqlite3_close(db);
    return values.empty() ? 0 : seconds;
}

double MegabytesInUse() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return static_cast<double>(pmc.WorkingSetSize) / 1048576.0;
}

// A store of its own and no settings, as every test has; the program is not started.
class ExchangeBench : public FreshStore {};

TEST_F(ExchangeBench, FullStore) {
    WCHAR size[16] = {};
    const int objects = GetEnvironmentVariableW(L"ARKEL_BENCH_OBJECTS", size, 16)
                            ? std::clamp(_wtoi(size), 1, CEDB_MAXRECORDS)
                            : CEDB_MAXRECORDS;
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    // The floor of the import: the same records written in one transaction.
    LARGE_INTEGER fillStart;
    QueryPerformanceCounter(&fillStart);
    ASSERT_TRUE(CeBeginBatch());
    const wchar_t *categories[] = {L"Privat", L"Arbeit", L"Bank", L"Auto", L"", L"Reisen"};
    for (int i = 0; i < objects; ++i) {
        ObjectRecord o;
        ClearObjectRecord(&o);
        wsprintfW(o.field1, L"Objekt %05d mit einem Namen", i);
        wsprintfW(o.field2, L"SN-%08X-%04d", i * 2654435761u, i % 9973);
        wsprintfW(o.field3, L"Bemerkung zu Nummer %d, \u00e4\u00f6\u00fc", i);
        lstrcpyW(o.category, categories[i % 6]);
        o.encrypt = static_cast<short>(i % 3 != 0);
        ASSERT_NE(objectStore.addObject(o), 0u);
    }
    ASSERT_TRUE(CeCommitBatch());
    const double writes = Seconds(fillStart);
    ASSERT_EQ(categoryStore.openCategories(kCategoryDatabase), 0);
    ASSERT_EQ(titleList1.open(L"Arkel-Titel1"), 0);
    ASSERT_EQ(titleList2.open(L"Arkel-Titel2"), 0);
    ASSERT_EQ(titleList3.open(L"Arkel-Titel3"), 0);
    double read = 1e9;
    for (int run = 0; run < 3; ++run) read = std::min(read, OneStatementRead());
    ASSERT_GT(read, 0);

    for (int filter : {2, 1}) {
        const bool encrypted = filter == 1;
        std::wstring path = TempPath(encrypted ? L".ark" : L".txt");
        // The running program has its list filled, so the handle's order is sorted already.
        CeSeekDatabase(objectStore.hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
        {
            UiDriver ui;
            ui.onNextDialog(Stamped(ChooseFile(path, filter)));
            if (encrypted) ui.onNextDialog(Stamped(AnswerPassword(kPassword)));
            // The question before a plain file: "Ja".
            if (!encrypted) ui.onNextDialog(Stamped([](HWND d) { PressButton(d, IDYES); }));
            ui.onNextDialog(CountSaid());
            EXPECT_EQ(exportData(objectStore, nullptr), 0);
        }
        const double exportTime = workSeconds;
        {
            UiDriver ui;
            ui.onNextDialog(Stamped(ChooseFile(path, 0)));
            if (encrypted) ui.onNextDialog(Stamped(AnswerPassword(kPassword)));
            ui.answerMessageBox(IDYES);
            ui.onNextDialog(CountSaid());
            EXPECT_EQ(importData(objectStore, nullptr), 0);
        }
        const double importTime = workSeconds;
        EXPECT_EQ(objectStore.recordCount(), objects);
        Line(objects, encrypted ? "export, encrypted" : "export, plain", exportTime, read,
             "one-statement read");
        Line(objects, encrypted ? "import, encrypted" : "import, plain", importTime, writes,
             "one-transaction writes");
        DeleteFileW(path.c_str());
    }
    printf("%7d  %-28s %9.1f MB\n", objects, "bench working set after", MegabytesInUse());
}

}  // namespace
