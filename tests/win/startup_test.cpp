// Start-up: the single-instance rule, the drawing objects and the main window, and the way out
// when the store cannot be opened.
#include <gtest/gtest.h>

#include <string>

#include "app/shell.h"
#include "platform/cedb.h"
#include "sqlite3.h"
#include "prefs/settings.h"
#include "store/object_store.h"
#include "harness/win/test_env.h"
#include "harness/win/ui_driver.h"

namespace {

const wchar_t kDatabaseFailure[] =
    L"Die Datenbank konnte nicht ge\u00f6ffnet werden.\nDas Programm mu\u00df beendet werden.";
const wchar_t kDamagedStore[] =
    L"Die Datenbank ist besch\u00e4digt und kann nicht gelesen werden.\nDas Programm mu\u00df "
    L"beendet werden; die Datenbank bleibt unver\u00e4ndert.";
const wchar_t kPathTooLong[] =
    L"Der Pfad der Datenbank ist zu lang (h\u00f6chstens 259 Zeichen).\nDas Programm mu\u00df "
    L"beendet werden.";

class StartupTest : public FreshStore {
protected:
    void SetUp() override {
        FreshStore::SetUp();
        static ATOM atom = RegisterMainClass(GetModuleHandleW(nullptr));
        ASSERT_NE(atom, 0);
    }
};

// Starts the program; the start must end with exactly this one message.
void ExpectStartRefused(const wchar_t *message) {
    UiDriver ui;
    ui.answerMessageBox(IDOK);
    EXPECT_FALSE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].text, message);
}

TEST_F(StartupTest, AVolumeFileThatIsNotAStoreEndsTheStartWithTheMessage) {
    const char junk[] = "Kein Speicher, sondern ein Brief an die Oma.\r\n";
    ASSERT_TRUE(WriteWholeFile(volumePath, junk, sizeof junk - 1));

    UiDriver ui;
    ui.answerMessageBox(IDOK);
    EXPECT_FALSE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].caption, L"The Arkel");
    EXPECT_EQ(ui.seen()[0].text, kDatabaseFailure);
    EXPECT_EQ(hBoldFont, nullptr) << "drawing objects are released";
    EXPECT_EQ(hbrWindowBack, nullptr);

    std::vector<BYTE> after = ReadWholeFile(volumePath);
    EXPECT_EQ(std::string(after.begin(), after.end()), junk) << "the file is left as it was";
}

// A store with a damaged page must not look empty: the start ends with its message, and nothing
// is written to the file (no decryption, no merged names, no list fill).
TEST_F(StartupTest, ADamagedStoreEndsTheStartWithItsMessageAndStaysUnchanged) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ObjectRecord o;
    ClearObjectRecord(&o);
    for (const wchar_t *name : {L"Anton", L"Berta", L"Caesar"}) {
        lstrcpyW(o.field1, name);
        lstrcpyW(o.category, L"Bank");
        ASSERT_NE(objectStore.addObject(o), 0u);
    }
    ResetGlobalStores();
    ASSERT_TRUE(DamageRecordTable(volumePath));
    const std::vector<BYTE> before = ReadWholeFile(volumePath);

    UiDriver ui;
    ui.answerMessageBox(IDOK);
    EXPECT_FALSE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].caption, L"The Arkel");
    EXPECT_EQ(ui.seen()[0].text, kDamagedStore);
    EXPECT_EQ(objectStore.hDatabase, INVALID_HANDLE_VALUE) << "the store was not opened";
    EXPECT_EQ(CeOpenHandleCount(), 0);
    EXPECT_EQ(ReadWholeFile(volumePath), before) << "the damaged store is left as it was";
}

// A store made by a newer version (its user_version above ours) is neither read nor written: the
// start ends with its message, arkstore says what it is, and the file stays byte for byte.
TEST_F(StartupTest, AStoreOfANewerVersionIsRefusedAndLeftAsItIs) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ObjectRecord o;
    ClearObjectRecord(&o);
    lstrcpyW(o.field1, L"Anton");
    ASSERT_NE(objectStore.addObject(o), 0u);
    ResetGlobalStores();
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Utf8(volumePath).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=2", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::vector<BYTE> before = ReadWholeFile(volumePath);

    ExpectStartRefused(
        L"Die Datenbank wurde von einer neueren Version des Programms angelegt und kann mit "
        L"dieser Version nicht ge\u00f6ffnet werden.\nDas Programm mu\u00df beendet werden; "
        L"die Datenbank bleibt unver\u00e4ndert.");
    EXPECT_EQ(CeOpenHandleCount(), 0);
    for (const wchar_t *command : {L"arkstore.exe dump", L"arkstore.exe check"}) {
        std::string out, errors;
        EXPECT_EQ(RunTool(command, &out, &errors), 1) << Utf8(command);
        EXPECT_NE(errors.find("newer version"), std::string::npos) << Utf8(command) << errors;
    }
    EXPECT_EQ(ReadWholeFile(volumePath), before) << "the store is left as it was";
}

// A store cut short (a copy that stopped half way) is a damaged store, in the program's message and
// in arkstore's words, not "not an Arkel store"; it is left as it is.
TEST_F(StartupTest, AStoreCutShortIsCalledDamagedAndLeftAlone) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ObjectRecord o;
    ClearObjectRecord(&o);
    for (int i = 0; i < 200; ++i) {
        wsprintfW(o.field1, L"Objekt %d", i);
        lstrcpyW(o.field2, std::wstring(200, L'x').c_str());
        ASSERT_NE(objectStore.addObject(o), 0u);
    }
    ResetGlobalStores();
    std::vector<BYTE> whole = ReadWholeFile(volumePath);
    ASSERT_GT(whole.size(), 8192u);
    ASSERT_TRUE(WriteWholeFile(volumePath, whole.data(), 3000));
    const std::vector<BYTE> before = ReadWholeFile(volumePath);
    ExpectStartRefused(
        L"Die Datenbank ist besch\u00e4digt und kann nicht gelesen werden.\nDas Programm "
        L"mu\u00df beendet werden; die Datenbank bleibt unver\u00e4ndert.");
    for (const wchar_t *command : {L"arkstore.exe dump", L"arkstore.exe check"}) {
        std::string out, errors;
        EXPECT_EQ(RunTool(command, &out, &errors), 1) << Utf8(command);
        EXPECT_NE(errors.find("damaged"), std::string::npos) << Utf8(command) << errors;
        EXPECT_EQ(errors.find("not an Arkel store"), std::string::npos) << Utf8(command) << errors;
    }
    EXPECT_EQ(ReadWholeFile(volumePath), before) << "the store is left as it was";
}

// A read-only store is refused with its message and stays read-only and unchanged; so is a path
// that names a device (here the reserved name CON), beside which no journal may appear.
TEST_F(StartupTest, AReadOnlyStoreOrADeviceIsRefusedAndLeftAlone) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ResetGlobalStores();
    ASSERT_TRUE(SetFileAttributesW(volumePath.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::vector<BYTE> before = ReadWholeFile(volumePath);
    ExpectStartRefused(
        L"Die Datenbank ist schreibgesch\u00fctzt und kann nicht ge\u00f6ffnet werden.\nDas "
        L"Programm mu\u00df beendet werden; die Datenbank bleibt unver\u00e4ndert.");
    EXPECT_NE(GetFileAttributesW(volumePath.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ReadWholeFile(volumePath), before);
    EXPECT_EQ(GetFileAttributesW((volumePath + L"-wal").c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileAttributesW(volumePath.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::wstring folder = volumePath + L".d";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", (folder + L"\\CON").c_str());
    ExpectStartRefused(
        L"Der Pfad der Datenbank benennt keine gew\u00f6hnliche Datei (sondern ein "
        L"Ger\u00e4t, einen Ordner oder eine Pipe).\nDas Programm mu\u00df beendet "
        L"werden.");
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << "nothing was made beside CON";
}

// ARKEL_OBJECT_STORE too long for a path: the start is refused with its message, and the
// default store is neither opened nor created in its place.
TEST_F(StartupTest, AStorePathTooLongEndsTheStartAndUsesNoOtherStore) {
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", nullptr);
    WCHAR fallback[MAX_PATH];
    ASSERT_TRUE(CeGetVolumePath(fallback));
    const DWORD attributes = GetFileAttributesW(fallback);
    const std::vector<BYTE> content = ReadWholeFile(fallback);
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tooLong = temp + std::wstring(200, L'n') + L"\\" + std::wstring(100, L'n');
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", tooLong.c_str());

    UiDriver ui;
    ui.answerMessageBox(IDOK);
    EXPECT_FALSE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    ASSERT_EQ(ui.seen().size(), 1u);
    EXPECT_EQ(ui.seen()[0].text, kPathTooLong);
    EXPECT_EQ(objectStore.hDatabase, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileAttributesW(fallback), attributes);
    EXPECT_EQ(ReadWholeFile(fallback), content);
}

TEST_F(StartupTest, StartBuildsColoursFontsAndTheMainWindowOverTheWorkArea) {
    settings.SetColorDialog(0x00010203);
    UiDriver ui;
    // The handheld's work area (a desktop's gets an ordinary window: window_shape_test).
    ShellWorkArea = HandheldWorkArea;
    const BOOL started = InitInstance(GetModuleHandleW(nullptr), SW_SHOW);
    ShellWorkArea = ReadWorkArea;
    ASSERT_TRUE(started);
    EXPECT_EQ(ui.seen().size(), 0u) << "no message on a good start";

    EXPECT_EQ(FindWindowW(L"Arkel", L"The Arkel"), hMainWnd);
    RECT work{0, 26, 240, 320}, win;
    GetWindowRect(hMainWnd, &win);
    EXPECT_EQ(win.left, work.left);
    EXPECT_EQ(win.top, work.top);
    EXPECT_EQ(win.right - win.left, work.right - work.left);
    EXPECT_EQ(win.bottom - win.top, work.bottom - work.top);

    EXPECT_EQ(clrWindowText, 0x00010203u);
    EXPECT_EQ(clrListBack, 0x0080FFFFu);
    const COLORREF custom[6] = {clrWindowBack, clrWindowText, clrDetailBack,
                                clrDetailText, clrListBack,   clrListText};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(customColors[i], i < 6 ? custom[i] : 0u) << i;
    LOGBRUSH lb;
    ASSERT_TRUE(GetObjectW(hbrWindowText, sizeof lb, &lb));
    EXPECT_EQ(lb.lbColor, 0x00010203u);

    LOGFONTW bold, normal;
    ASSERT_TRUE(GetObjectW(hBoldFont, sizeof bold, &bold));
    ASSERT_TRUE(GetObjectW(hNormalFont, sizeof normal, &normal));
    EXPECT_STREQ(bold.lfFaceName, L"Tahoma");
    EXPECT_EQ(bold.lfHeight, 14);
    EXPECT_EQ(bold.lfWeight, FW_BOLD);
    EXPECT_EQ(bold.lfPitchAndFamily, FF_SWISS);
    EXPECT_EQ(normal.lfHeight, 13);
    EXPECT_EQ(normal.lfWeight, FW_NORMAL);

    EXPECT_NE(objectStore.hDatabase, INVALID_HANDLE_VALUE) << "the object store is open";
    EXPECT_EQ(objectStore.recordCount(), 0);
}

// Run as the other program of the test below (only then is ARKEL_HOLD_CLAIM set): claims the
// store and holds it until it is killed.
TEST(OtherProgram, HoldsTheStore) {
    if (GetEnvironmentVariableW(L"ARKEL_HOLD_CLAIM", nullptr, 0) == 0)
        GTEST_SKIP() << "only as the other program of a start-up test";
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"ArkelTest.StoreHeld");
    ASSERT_NE(held, nullptr);
    ASSERT_TRUE(CeClaimVolume());
    SetEvent(held);
    Sleep(120000);
}

// A store that another program (The Arkel in another desktop) writes is refused with its message
// and left as it is; once that program has ended, even killed, the store starts again.
TEST_F(StartupTest, AStoreInUseByAnotherProgramIsRefusedUntilThatProgramEnds) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    ResetGlobalStores();
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"ArkelTest.StoreHeld");
    ASSERT_NE(held, nullptr);
    WCHAR exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=OtherProgram.*";
    SetEnvironmentVariableW(L"ARKEL_HOLD_CLAIM", L"1");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION other{};
    BOOL started = CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &si, &other);
    SetEnvironmentVariableW(L"ARKEL_HOLD_CLAIM", nullptr);
    ASSERT_TRUE(started);
    ASSERT_EQ(WaitForSingleObject(held, 60000), WAIT_OBJECT_0);

    const std::vector<BYTE> before = ReadWholeFile(volumePath);
    ExpectStartRefused(
        L"Die Datenbank wird bereits von einem anderen Programm benutzt, z.\u00a0B. von The "
        L"Arkel auf einem anderen Bildschirm.\nDas Programm mu\u00df beendet werden; die "
        L"Datenbank bleibt unver\u00e4ndert.");
    EXPECT_EQ(ReadWholeFile(volumePath), before);
    EXPECT_EQ(CeOpenHandleCount(), 0);

    TerminateProcess(other.hProcess, 9);
    WaitForSingleObject(other.hProcess, 30000);
    CloseHandle(other.hProcess);
    CloseHandle(other.hThread);
    CloseHandle(held);
    UiDriver ui;
    EXPECT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    EXPECT_EQ(ui.seen().size(), 0u) << "the killed program left no claim behind";
}

TEST_F(StartupTest, ASecondStartBringsTheFirstToTheFrontAndTouchesNoStore) {
    ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    HWND first = hMainWnd;
    ResetGlobalStores();

    std::wstring untouched = TempPath(L".cdb");
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", untouched.c_str());
    EXPECT_EQ(WinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOW), 0);
    EXPECT_EQ(hMainWnd, first) << "no second window";
    EXPECT_EQ(GetFileAttributesW(untouched.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CeOpenHandleCount(), 0);
}

}  // namespace
