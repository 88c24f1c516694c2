// Windows CE property databases on SQLite: the checks of the whole file, and batches (many
// writes as one transaction).

#include "platform/cedb_internal.h"
#include "platform/page_heap.h"

using namespace cedb;

namespace {

// Runs one of SQLite's checks of the whole file: 1 sound, 0 damaged, -1 when the volume cannot be
// opened (GetLastError as for opening a database). The reason goes into the buffer.
int runVolumeCheck(const char *pragma, WCHAR *reason, DWORD reasonChars) {
    auto say = [&](const WCHAR *text) {
        if (reason && reasonChars) lstrcpynW(reason, text, static_cast<int>(reasonChars));
    };
    VolumeUse vol;
    if (!vol.ok) {
        DWORD error = GetLastError();
        say(error == ERROR_BAD_FORMAT             ? L"not an Arkel store"
            : error == ERROR_FILE_CORRUPT         ? L"an Arkel store, damaged or cut short"
            : error == ERROR_FILENAME_EXCED_RANGE ? L"path too long"
            : error == ERROR_REVISION_MISMATCH    ? L"made by a newer version of the program"
            : error == ERROR_WRITE_PROTECT        ? L"read-only"
            : error == ERROR_BAD_FILE_TYPE        ? L"not a regular file"
                                                  : L"cannot be opened");
        SetLastError(error);
        return -1;
    }
    Stmt st(pragma);
    if (!st) {
        say(L"the check could not run");
        SetLastError(ERROR_FILE_CORRUPT);
        return 0;
    }
    std::string first;
    int rows = 0, rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        if (rows++ == 0) first = reinterpret_cast<const char *>(sqlite3_column_text(st.s, 0));
    }
    if (rc != SQLITE_DONE && rows == 0) first = sqlite3_errmsg(g_db);
    if (rc == SQLITE_DONE && rows == 1 && first == "ok") {
        say(L"ok");
        return 1;
    }
    std::wstring w(first.begin(), first.end());
    say(w.c_str());
    SetLastError(ERROR_FILE_CORRUPT);
    return 0;
}

}  // namespace

bool CeCheckVolume(WCHAR *reason, DWORD reasonChars) {
    return runVolumeCheck("PRAGMA integrity_check", reason, reasonChars) == 1;
}

int CeVerifyVolume(WCHAR *reason, DWORD reasonChars) {
    return runVolumeCheck("PRAGMA quick_check", reason, reasonChars);
}

BOOL CeBeginBatch() {
    if (!acquireVolume()) return FALSE;
    if (!run(g_batchDepth > 0 ? "SAVEPOINT cedb_batch" : "BEGIN IMMEDIATE")) {
        releaseVolume();
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    if (g_batchDepth == 0) exec(kBatchCacheSize);
    ++g_batchDepth;
    return TRUE;
}

namespace {

// After the outermost batch: the cache back to its size and emptied, its memory back to the
// system (the next reads take their pages from the mapped file again).
void endBatchCache() {
    if (g_batchDepth != 0) return;
    exec(kCacheSize);
    sqlite3_db_release_memory(g_db);
    ReleaseFreedPages();
}

}  // namespace

BOOL CeCommitBatch() {
    if (g_batchDepth == 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    const bool outermost = g_batchDepth == 1;
    // SQLite may have rolled the transaction back by itself after an I/O error.
    bool ok = !sqlite3_get_autocommit(g_db) && run(outermost ? "COMMIT" : "RELEASE cedb_batch");
    // A commit that fails (a full disk) leaves the transaction open: end it with nothing of the
    // batch written.
    if (!ok && !sqlite3_get_autocommit(g_db)) {
        if (outermost) {
            run("ROLLBACK");
        } else {
            run("ROLLBACK TO cedb_batch");
            run("RELEASE cedb_batch");
        }
    }
    if (!ok) forgetChanges();
    --g_batchDepth;
    endBatchCache();
    releaseVolume();
    if (!ok) SetLastError(ERROR_WRITE_FAULT);
    return ok ? TRUE : FALSE;
}

BOOL CeRollbackBatch() {
    if (g_batchDepth == 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    bool ok = true;
    if (!sqlite3_get_autocommit(g_db)) {
        if (g_batchDepth > 1)
            ok = run("ROLLBACK TO cedb_batch") && run("RELEASE cedb_batch");
        else
            ok = run("ROLLBACK");
    }
    // What the handles heard of the batch's changes no longer holds: the next seek sorts afresh.
    forgetChanges();
    --g_batchDepth;
    endBatchCache();
    releaseVolume();
    return ok ? TRUE : FALSE;
}
