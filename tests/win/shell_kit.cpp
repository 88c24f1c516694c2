#include "tests/win/shell_kit.h"

#include <commctrl.h>

#include <cstring>

#include <gtest/gtest.h>

#include "app/shell.h"
#include "app/test_seam.h"
#include "harness/win/ui_driver.h"
#include "resources/resource.h"
#include "store/object_store.h"

void ShellTest::SetUp() {
    FreshStore::SetUp();
    static ATOM atom = RegisterMainClass(GetModuleHandleW(nullptr));
    ASSERT_NE(atom, 0);
    ShellSystemTime = ReadSystemTime;
}

void ShellTest::TearDown() {
    ShellSystemTime = ReadSystemTime;
    ShellWorkArea = ReadWorkArea;
    FreshStore::TearDown();
}

void ShellTest::Prepare(const std::vector<TestObject> &objects) {
    ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    for (const TestObject &t : objects) {
        ObjectRecord o;
        ClearObjectRecord(&o);
        lstrcpyW(o.field1, t.name);
        lstrcpyW(o.field2, t.field2);
        lstrcpyW(o.field3, t.field3);
        lstrcpyW(o.category, t.category);
        ASSERT_NE(objectStore.addObject(o), 0u);
    }
    ResetGlobalStores();
}

void ShellTest::NewVolume() {
    for (const wchar_t *suffix : {L"", L"-wal", L"-shm", L"-journal"})
        DeleteFileW((volumePath + suffix).c_str());
    volumePath = TempPath(L".cdb");
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", volumePath.c_str());
}

void ShellTest::Start() {
    ASSERT_TRUE(InitInstance(GetModuleHandleW(nullptr), SW_SHOW));
    ASSERT_TRUE(IsWindow(hMainWnd));
}

int ShellTest::Rows() { return static_cast<int>(SendMessageW(hObjectList, LB_GETCOUNT, 0, 0)); }

std::wstring ShellTest::Row(int i) {
    WCHAR text[512] = {};
    SendMessageW(hObjectList, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    return text;
}

int ShellTest::Selection() {
    return static_cast<int>(SendMessageW(hObjectList, LB_GETCURSEL, 0, 0));
}

void ShellTest::Select(int row) {
    SendMessageW(hObjectList, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(0, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(hObjectList));
}

int ShellTest::StoredObjects() { return objectStore.recordCount(); }

namespace {
void PumpOnce() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        DispatchShellMessage(&msg);
    }
}
}  // namespace

bool PumpShellUntil(const std::function<bool()> &pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs) return false;
        PumpOnce();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PumpShellFor(DWORD ms) {
    PumpShellUntil([] { return false; }, ms);
}

void PressKey(UINT vk, bool ctrl) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(hObjectList, WM_KEYDOWN, vk, 1);
    PumpShellFor(50);
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
    SetKeyboardState(keys);
    PumpShellFor(20);
}

void ChooseFilter(const wchar_t *text) {
    LRESULT i = SendMessageW(hCategoryCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(text));
    ASSERT_NE(i, CB_ERR);
    SendMessageW(hCategoryCombo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    SendMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(IDC_CATEGORY_COMBO, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(hCategoryCombo));
}

void MenuCommand(UINT id) {
    PostMessageW(hMainWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    PumpShellFor(50);
}

bool MenuGreyed(UINT id) { return (GetMenuState(hMenu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; }

bool ButtonEnabled(UINT id) { return SendMessageW(hToolBar, TB_ISBUTTONENABLED, id, 0) != 0; }

HWND OtherWindow() {
    static HWND window =
        CreateWindowW(L"STATIC", L"other", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    return window;
}

void PutText(const std::wstring &text) {
    ASSERT_TRUE(OpenClipboard(OtherWindow()));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
    memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    GlobalUnlock(memory);
    EXPECT_TRUE(SetClipboardData(CF_UNICODETEXT, memory));
    CloseClipboard();
}

std::wstring TextOnClipboard() {
    std::wstring text = L"<none>";
    if (!OpenClipboard(OtherWindow())) return L"<busy>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const WCHAR *>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}
