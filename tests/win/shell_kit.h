// What the shell tests share: a store prepared with objects, a started program, and a message
// pump that translates accelerators the way the program's own loop does.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "harness/win/dialog_answers.h"
#include "harness/win/test_env.h"

struct TestObject {
    const wchar_t *name;
    const wchar_t *category;  // empty: none
    const wchar_t *field2 = L"";
    const wchar_t *field3 = L"";
};

class ShellTest : public FreshStore {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the objects into the store before the program starts (the store is closed again).
    void Prepare(const std::vector<TestObject> &objects);
    // Removes the store volume and continues with a new, empty one (for a table of cases).
    void NewVolume();
    // InitInstance; fails the test when start-up does not succeed.
    void Start();

    int Rows();
    std::wstring Row(int i);
    int Selection();
    void Select(int row);  // as the user's tap does: selection, then the list's notification
    int StoredObjects();
};

// Runs the program's message loop step (accelerators, translation, dispatch) until pred holds.
bool PumpShellUntil(const std::function<bool()> &pred, DWORD timeoutMs = 5000);
void PumpShellFor(DWORD ms);

// Posts a key press to the object list, with Ctrl held when ctrl is true, and pumps it through.
void PressKey(UINT vk, bool ctrl);

// As the user's choice of a filter in the main window's category combo: selection, then the
// notification.
void ChooseFilter(const wchar_t *text);

// Sends the main window a command as the menu does.
void MenuCommand(UINT id);

bool MenuGreyed(UINT id);
bool ButtonEnabled(UINT id);

// The clipboard as another program sees it: a window of "another program" that owns what the
// test puts there, a text put there by it, and the clipboard's text ("<none>" when it holds
// none, "<busy>" when it cannot be opened).
HWND OtherWindow();
void PutText(const std::wstring &text);
std::wstring TextOnClipboard();
