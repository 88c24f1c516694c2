#include "harness/win/test_env.h"

#include <cstdio>

#include "app/pass_host.h"
#include "app/shell.h"
#include "platform/cedb.h"
#include "prefs/settings.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"

#include "sqlite3.h"

// Every test runs the passes as the program does: with the shell's progress window and prompts,
// which the dialog driver sees and answers. (The program hands its host over at start-up.)
[[maybe_unused]] static const bool shellHostSet = (SetPassHost(&ShellPassHost()), true);

std::wstring TempPath(const wchar_t *ending) {
    static LONG counter = 0;
    WCHAR dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    WCHAR name[MAX_PATH];
    wsprintfW(name, L"%sarkel-test-%lu-%ld%s", dir, GetCurrentProcessId(),
              InterlockedIncrement(&counter), ending);
    // Process ids repeat under Wine: clear what an earlier run with the same id left behind.
    for (const wchar_t *suffix : {L"", L"-wal", L"-shm", L"-journal"})
        DeleteFileW((std::wstring(name) + suffix).c_str());
    return name;
}

BOOL HandheldWorkArea(RECT *work) {
    *work = {0, 26, 240, 320};
    return TRUE;
}

void ClearSettingsKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey); }

void ResetGlobalStores() {
    CloseStores();
    CeReleaseVolumeClaim();  // as at the end of the program's process
}

void ResetShell() {
    if (hMainWnd && IsWindow(hMainWnd)) DestroyWindow(hMainWnd);
    hMainWnd = nullptr;
    ReleaseDrawingObjects();
    // Drop the quit message that destroying the main window posted.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    currentCategory[0] = 0;
    autoQuitActive = autoQuitPeriod = 0;
}

void FreshStore::SetUp() {
    volumePath = TempPath(L".cdb");
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", volumePath.c_str());
    ClearSettingsKey();
    ResetGlobalStores();
}

void FreshStore::TearDown() {
    ResetShell();
    ResetGlobalStores();
    CeReleaseVolumeClaim();
    EXPECT_EQ(CeOpenHandleCount(), 0) << "a database handle was left open";
    ClearSettingsKey();
    for (const wchar_t *suffix : {L"", L"-wal", L"-shm", L"-journal"})
        DeleteFileW((volumePath + suffix).c_str());
}

bool DamageRecordTable(const std::wstring &volume) {
    sqlite3 *db = nullptr;
    int pageSize = 0, root = 0;
    if (sqlite3_open_v2(Utf8(volume).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT rootpage, (SELECT page_size FROM pragma_page_size) "
                               "FROM sqlite_schema WHERE name='objects'",
                               -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            root = sqlite3_column_int(st, 0);
            pageSize = sqlite3_column_int(st, 1);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    if (root <= 0 || pageSize <= 0) return false;
    HANDLE h = CreateFileW(volume.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<BYTE> garbage(static_cast<size_t>(pageSize));
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<BYTE>(i * 151 + 7);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(root - 1) * pageSize;
    DWORD put = 0;
    bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
              WriteFile(h, garbage.data(), static_cast<DWORD>(garbage.size()), &put, nullptr) &&
              put == garbage.size();
    CloseHandle(h);
    return ok;
}

std::vector<BYTE> ReadWholeFile(const std::wstring &path) {
    std::vector<BYTE> data;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return data;
    BYTE buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        data.insert(data.end(), buf, buf + got);
    CloseHandle(h);
    return data;
}

bool WriteWholeFile(const std::wstring &path, const void *data, size_t size) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, data, static_cast<DWORD>(size), &put, nullptr) && put == size;
    CloseHandle(h);
    return ok;
}

namespace {

// One run of a tool; standard error is written to a file and handed back whole. -1 when the
// process did not start.
int RunToolOnce(const std::wstring &commandLine, std::string *output, std::string *errors) {
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self);
    dir.resize(dir.find_last_of(L"\\/") + 1);

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &sa, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    // Standard error goes to a file, so that a full pipe can never stop the tool.
    const std::wstring errorFile = TempPath(L".stderr");
    HANDLE errorHandle = CreateFileW(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    si.hStdError = errorHandle;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::wstring line =
        L"\"" + dir + commandLine.substr(0, commandLine.find(L' ')) + L"\"" +
        (commandLine.find(L' ') == std::wstring::npos ? L""
                                                      : commandLine.substr(commandLine.find(L' ')));
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    if (!started)
        fprintf(stderr, "RunTool: %s did not start (error %lu)\n", Utf8(line).c_str(),
                GetLastError());
    CloseHandle(writeEnd);
    if (errorHandle != INVALID_HANDLE_VALUE) CloseHandle(errorHandle);
    std::string out;
    DWORD code = static_cast<DWORD>(-1);
    if (started) {
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &code);
        // The tools end with 0, 1 or 2; anything else is a crash or a kill, named for the log.
        if (code > 2) fprintf(stderr, "RunTool: %s ended with 0x%08lx\n", Utf8(line).c_str(), code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(readEnd);
    *output = out;
    std::vector<BYTE> text = ReadWholeFile(errorFile);
    errors->assign(text.begin(), text.end());
    DeleteFileW(errorFile.c_str());
    return static_cast<int>(code);
}

}  // namespace

int RunTool(const std::wstring &commandLine, std::string *output, std::string *errors) {
    // A run that ends with -1 and has written nothing never reached the tool's code (the tools end
    // with 0, 1 or 2 and say why): under Wine a new process fails to come up now and then, which
    // says nothing about the tool. Such a run is tried again, and each one is named in the test's
    // output, so that a machine where it keeps happening shows.
    for (int attempt = 1;; ++attempt) {
        std::string out, err;
        const int code = RunToolOnce(commandLine, &out, &err);
        if (code != -1 || !out.empty() || !err.empty() || attempt == 3) {
            if (output) *output = out;
            if (errors)
                *errors = err;
            else
                fputs(err.c_str(), stderr);
            return code;
        }
        fprintf(stderr, "RunTool: %s ended with -1 and wrote nothing (attempt %d); again\n",
                Utf8(commandLine).c_str(), attempt);
        Sleep(200);
    }
}
