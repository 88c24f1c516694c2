// Speed of the vault's passes (not a test): a store of N objects (default 10,000) is written
// with one CeWriteRecordProps per object, then encrypted by the closing pass and decrypted by the
// opening pass, each timed; the writes are the floor the passes are measured against, since
// each pass rewrites every record with one write of its own.
//   vault_bench.exe [N]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "app/shell.h"
#include "crypto/bulk_crypt.h"
#include "prefs/settings.h"
#include "store/object_store.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

}  // namespace

int main(int argc, char **argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    WCHAR dir[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    wsprintfW(path, L"%sarkel-vault-bench-%lu.cdb", dir, GetCurrentProcessId());
    for (const WCHAR *suffix : {L"", L"-wal", L"-shm"}) {
        WCHAR name[MAX_PATH + 8];
        wsprintfW(name, L"%s%s", path, suffix);
        DeleteFileW(name);
    }
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", path);
    hInst = GetModuleHandleW(nullptr);
    settings.SetEncrypt(0);
    if (objectStore.open(L"Arkel") != 0) return 1;

    LARGE_INTEGER t0 = Now();
    for (int i = 0; i < n; ++i) {
        ObjectRecord o;
        ClearObjectRecord(&o);
        wsprintfW(o.field1, L"Objekt %05d", i);
        wsprintfW(o.field2, L"SN-%05d-%05d", i, (i * 7919) % 100000);
        wsprintfW(o.field3, L"Bemerkung zum Objekt %d", i);
        wsprintfW(o.category, L"Kategorie %d", i % 7);
        if (!objectStore.addObject(o)) return 1;
    }
    LARGE_INTEGER t1 = Now();
    WCHAR password[] = L"Bench-Passwort-1";
    objectStore.setPassword(password);
    int close = cryptAllObjects(&objectStore, 1);
    LARGE_INTEGER t2 = Now();
    int open = cryptAllObjects(&objectStore, 0);
    LARGE_INTEGER t3 = Now();
    objectStore.clearKeyMaterial();

    const double writes = Seconds(t0, t1), closing = Seconds(t1, t2), opening = Seconds(t2, t3);
    std::printf("%d objects\n", n);
    std::printf("single-record writes of the layer: %8.2f s (%.3f ms a record)\n", writes,
                1000 * writes / n);
    std::printf("closing pass (encrypt):            %8.2f s, %.2f x the writes (result %d)\n",
                closing, closing / writes, close);
    std::printf("opening pass (decrypt):            %8.2f s, %.2f x the writes (result %d)\n",
                opening, opening / writes, open);
    CloseHandle(objectStore.hDatabase);
    objectStore.hDatabase = INVALID_HANDLE_VALUE;
    for (const WCHAR *suffix : {L"", L"-wal", L"-shm"}) {
        WCHAR name[MAX_PATH + 8];
        wsprintfW(name, L"%s%s", path, suffix);
        DeleteFileW(name);
    }
    return close == 0 && open == 0 ? 0 : 1;
}
