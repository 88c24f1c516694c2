// What the benchmarks share: a clock, a store volume removed with its companion files, the floor
// of writes in one transaction, and the line each result is printed as.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/cedb.h"
#include "store/object_store.h"

namespace bench {

inline double Now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Time(const std::function<void()> &work) {
    const double start = Now();
    work();
    return Now() - start;
}

inline void RemoveVolume(const std::wstring &path) {
    for (const wchar_t *suffix : {L"", L"-wal", L"-shm", L"-journal"})
        DeleteFileW((path + suffix).c_str());
}

// The time of writing records into a new object database of a volume of their own in one
// transaction, as the layer writes them: writeAll gets the open database and writes every record.
// The volume is removed afterwards.
inline double WriteInOneTransaction(const std::wstring &volume,
                                    const std::function<void(HANDLE)> &writeAll) {
    RemoveVolume(volume);
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", volume.c_str());
    const double t = Time([&] {
        CeBeginBatch();
        SORTORDERSPEC sort{PROP_FIELD1, CEDB_SORT_CASEINSENSITIVE};
        CEOID oid = CeCreateDatabase(const_cast<LPWSTR>(L"Arkel"), 0, 1, &sort);
        HANDLE h = CeOpenDatabase(&oid, nullptr, PROP_FIELD1, CEDB_AUTOINCREMENT, nullptr);
        writeAll(h);
        CeCommitBatch();
        CloseHandle(h);
    });
    RemoveVolume(volume);
    return t;
}

// One result: beside its floor and their ratio when there is a floor. The targets hold for a full
// store (ratio at most 2); smaller stores show their ratios without a verdict.
inline void Line(int objects, const char *what, double value, double floor = 0,
                 const char *floorName = "") {
    if (floor <= 0) {
        printf("%7d  %-28s %9.3f s\n", objects, what, value);
        return;
    }
    const char *verdict = objects < CEDB_MAXRECORDS ? "" : value / floor <= 2 ? "ok" : "OVER";
    printf("%7d  %-28s %9.3f s  %9.3f s  %6.2fx  %-34s %s\n", objects, what, value, floor,
           value / floor, floorName, verdict);
}

}  // namespace bench
