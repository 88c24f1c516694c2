// Export and import of a full store (65,535 objects), plain and encrypted: exportData and
// importData with their dialogs answered, without the main window (whose list refill after an
// import is the shell's cost, not the exchange's). Prints the times; asserts only that the work
// was done.
//   scripts/with-display.sh env WINEPREFIX=$PWD/build/win/wineprefix wine
//   build/win/bin/exchange_bench.exe
#include <gtest/gtest.h>
#include <windows.h>

#include <dlgs.h>

#include <cstdio>
#include <string>

#include "app/shell.h"
#include "exchange/export.h"
#include "exchange/import.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "resources/resource.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "tests/win/ui_driver.h"

namespace {

constexpr int kObjects = CEDB_MAXRECORDS;
const wchar_t kPassword[] = L"Benchmark-Passwort";

std::function<void(HWND)> ChooseFile(const std::wstring &path, int filter) {
    return [=](HWND d) {
        HWND name = GetDlgItem(d, cmb13);
        if (!name) name = GetDlgItem(d, edt1);
        SetWindowTextW(name, path.c_str());
        if (filter) {
            HWND types = GetDlgItem(d, cmb1);
            SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(filter - 1), 0);
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK),
                         reinterpret_cast<LPARAM>(types));
        }
        PressButton(d, IDOK);
    };
}

std::function<void(HWND)> AnswerPassword() {
    return [](HWND d) {
        for (int id : {IDC_PASSWORD_ENTER, IDC_PASSWORD_SET, IDC_PASSWORD_SET_AGAIN})
            if (HWND edit = GetDlgItem(d, id)) SetWindowTextW(edit, kPassword);
        WCHAR copy[129];
        lstrcpyW(copy, kPassword);
        objectStore.setPassword(copy);
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

class ExchangeBench : public ShellTest {};

TEST_F(ExchangeBench, FullStore) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    // The floor: the same records written in one transaction.
    LARGE_INTEGER fillStart;
    QueryPerformanceCounter(&fillStart);
    ASSERT_TRUE(CeBeginBatch());
    const wchar_t *categories[] = {L"Privat", L"Arbeit", L"Bank", L"Auto", L"", L"Reisen"};
    for (int i = 0; i < kObjects; ++i) {
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
    const double fillTime = Seconds(fillStart);
    printf("floor: %d objects written in one transaction %.2f s\n", kObjects, fillTime);
    ASSERT_EQ(categoryStore.openCategories(kCategoryDatabase), 0);
    ASSERT_EQ(titleList1.open(L"Arkel-Titel1"), 0);
    ASSERT_EQ(titleList2.open(L"Arkel-Titel2"), 0);
    ASSERT_EQ(titleList3.open(L"Arkel-Titel3"), 0);

    for (int filter : {2, 1}) {
        const bool encrypted = filter == 1;
        std::wstring path = TempPath(encrypted ? L".ark" : L".txt");
        LARGE_INTEGER start;
        {
            UiDriver ui;
            ui.onNextDialog(ChooseFile(path, filter));
            if (encrypted) ui.onNextDialog(AnswerPassword());
            QueryPerformanceCounter(&start);
            EXPECT_EQ(exportData(objectStore, nullptr), 0);
        }
        double exportTime = Seconds(start);
        size_t bytes = ReadWholeFile(path).size();
        {
            UiDriver ui;
            ui.onNextDialog(ChooseFile(path, 0));
            if (encrypted) ui.onNextDialog(AnswerPassword());
            ui.answerMessageBox(IDYES);
            QueryPerformanceCounter(&start);
            EXPECT_EQ(importData(objectStore, nullptr), 0);
        }
        double importTime = Seconds(start);
        EXPECT_EQ(objectStore.recordCount(), kObjects);
        printf(
            "%s: %d objects, file %zu bytes; export %.2f s, import (delete and add) %.2f s, "
            "import/export %.1f, import/floor %.1f\n",
            encrypted ? "encrypted" : "plain", kObjects, bytes, exportTime, importTime,
            importTime / exportTime, importTime / fillTime);
        DeleteFileW(path.c_str());
    }
}

}  // namespace
