// Speed of the vault's passes (not a test): a store of OBJECTS objects (default 10,000) is written
// in one transaction, encrypted by the closing pass and decrypted by the opening pass. Each pass
// is printed beside its floor, the same records written in one transaction: the plain records
// for the opening pass, the encrypted ones (copied from the store after the closing pass into a
// volume of their own) for the closing pass.
//   vault_bench.exe [OBJECTS [WORKDIR]]
// ARKEL_BENCH_DETAIL=1 adds where a pass spends its time: reading, the cipher, the writes.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/pass_host.h"
#include "app/shell.h"
#include "bench/bench_kit.h"
#include "crypto/bulk_crypt.h"
#include "crypto/encrypted_record.h"
#include "prefs/settings.h"
#include "store/object_store.h"
#include "store/property_database.h"

namespace {

using bench::Line;
using bench::RemoveVolume;
using bench::Time;
using bench::WriteInOneTransaction;

// One record as its properties, owning the texts and BLOBs they point to.
struct StoredRecord {
    std::vector<CEPROPVAL> props;
    std::vector<std::vector<BYTE>> data;
};

std::vector<StoredRecord> CopyRecords(HANDLE db) {
    std::vector<StoredRecord> records;
    WalkDatabase(db, [&](CEOID, const CEPROPVAL *props, WORD count) {
        StoredRecord r;
        for (WORD i = 0; i < count; ++i) {
            CEPROPVAL v = props[i];
            if (TypeFromPropID(v.propid) == CEVT_LPWSTR && v.val.lpwstr) {
                const BYTE *p = reinterpret_cast<const BYTE *>(v.val.lpwstr);
                r.data.emplace_back(p, p + (lstrlenW(v.val.lpwstr) + 1) * sizeof(WCHAR));
            } else if (TypeFromPropID(v.propid) == CEVT_BLOB && v.val.blob.lpb) {
                r.data.emplace_back(v.val.blob.lpb, v.val.blob.lpb + v.val.blob.dwCount);
            } else {
                r.data.emplace_back();
            }
            r.props.push_back(v);
        }
        for (size_t i = 0; i < r.props.size(); ++i) {
            if (TypeFromPropID(r.props[i].propid) == CEVT_LPWSTR && !r.data[i].empty())
                r.props[i].val.lpwstr = reinterpret_cast<LPWSTR>(r.data[i].data());
            else if (TypeFromPropID(r.props[i].propid) == CEVT_BLOB && !r.data[i].empty())
                r.props[i].val.blob.lpb = r.data[i].data();
        }
        records.push_back(std::move(r));
        return true;
    });
    return records;
}

// The records written into a volume of their own in one transaction, as the layer writes them.
double OneTransactionWrites(const std::wstring &volume, std::vector<StoredRecord> &records) {
    return WriteInOneTransaction(volume, [&](HANDLE h) {
        for (StoredRecord &r : records)
            CeWriteRecordProps(h, 0, static_cast<WORD>(r.props.size()), r.props.data());
    });
}

bool OpenStore(const std::wstring &path) {
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", path.c_str());
    return objectStore.open(L"Arkel") == 0;
}

void CloseStore() {
    CloseHandle(objectStore.hDatabase);
    objectStore.hDatabase = INVALID_HANDLE_VALUE;
    objectStore.oidDatabase = 0;
    objectStore.currentRecord = 0;
}

// Where a pass spends its time, each part on its own: reading every record, reading and
// encrypting without writing.
void Detail(int n) {
    std::vector<StoredRecord> plain;
    printf("  detail: walk copying all records %.3f s\n",
           Time([&] { plain = CopyRecords(objectStore.hDatabase); }));
    CryptRecord work;
    printf("  detail: cipher of all records (no writes) %.3f s\n", Time([&] {
               for (StoredRecord &r : plain) {
                   LoadCryptRecord(&objectStore, &work, r.props.data(),
                                   static_cast<WORD>(r.props.size()));
                   EncryptRecord(&objectStore, &work);
               }
           }));
    printf("  detail: %d records\n", n);
}

}  // namespace

int main(int argc, char **argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (n < 1 || n > CEDB_MAXRECORDS) return 2;
    // The passes run as in the program, with the shell's progress window.
    SetPassHost(&ShellPassHost());
    WCHAR dir[MAX_PATH];
    if (argc > 2)
        MultiByteToWideChar(CP_ACP, 0, argv[2], -1, dir, MAX_PATH);
    else
        GetTempPathW(MAX_PATH, dir);
    std::wstring folder = dir;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    WCHAR name[64];
    wsprintfW(name, L"arkel-vault-bench-%lu", GetCurrentProcessId());
    const std::wstring store = folder + name + L".cdb", floorVolume = folder + name + L"-floor.cdb";
    RemoveVolume(store);
    hInst = GetModuleHandleW(nullptr);
    settings.SetEncrypt(0);
    if (!OpenStore(store)) return 1;

    // The store, written in one transaction: the floor of the opening pass, which writes the
    // same plain records again.
    const double plainWrites = Time([&] {
        CeBeginBatch();
        for (int i = 0; i < n; ++i) {
            ObjectRecord o;
            ClearObjectRecord(&o);
            wsprintfW(o.field1, L"Objekt %05d", i);
            wsprintfW(o.field2, L"SN-%05d-%05d", i, (i * 7919) % 100000);
            wsprintfW(o.field3, L"Bemerkung zum Objekt %d", i);
            wsprintfW(o.category, L"Kategorie %d", i % 7);
            if (!objectStore.addObject(o)) ExitProcess(1);
        }
        CeCommitBatch();
    });
    WCHAR password[] = L"Bench-Passwort-1";
    objectStore.setPassword(password);
    if (GetEnvironmentVariableW(L"ARKEL_BENCH_DETAIL", nullptr, 0)) Detail(n);

    const double closing = Time([&] {
        if (cryptAllObjects(&objectStore, 1) != 0) ExitProcess(1);
    });
    std::vector<StoredRecord> encrypted = CopyRecords(objectStore.hDatabase);
    CloseStore();
    const double encryptedWrites = OneTransactionWrites(floorVolume, encrypted);
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", store.c_str());
    objectStore.hDatabase = CeOpenDatabase(&objectStore.oidDatabase, const_cast<LPWSTR>(L"Arkel"),
                                           PROP_FIELD1, CEDB_AUTOINCREMENT, nullptr);
    if (objectStore.hDatabase == INVALID_HANDLE_VALUE) return 1;
    const double opening = Time([&] {
        if (cryptAllObjects(&objectStore, 0) != 0) ExitProcess(1);
    });
    objectStore.clearKeyMaterial();
    CloseStore();
    RemoveVolume(store);

    Line(n, "closing pass (encrypt)", closing, encryptedWrites, "one-transaction writes (encr.)");
    Line(n, "opening pass (decrypt)", opening, plainWrites, "one-transaction writes (plain)");
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    printf("%7d  %-28s %9.1f MB (peak %.1f MB)\n", n, "bench working set after",
           static_cast<double>(pmc.WorkingSetSize) / 1048576.0,
           static_cast<double>(pmc.PeakWorkingSetSize) / 1048576.0);
    return 0;
}
