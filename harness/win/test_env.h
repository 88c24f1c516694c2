// What every Win32 test starts from: a fresh store volume of its own, no settings in the registry,
// and the program's global stores closed.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/utf8.h"  // Utf8, for the tests' messages

// A private volume file for one test, named by ARKEL_OBJECT_STORE; removed again at the end.
class FreshStore : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::wstring volumePath;
};

// Removes HKEY_CURRENT_USER\Software\Mobrix\Arkel with everything under it.
void ClearSettingsKey();

// The handheld's work area, 240x320 less its 26-pixel task bar, for the shell's ShellWorkArea:
// the main window takes the handheld's shape.
BOOL HandheldWorkArea(RECT *work);

// Closes the global object store, category store and title lists and returns them to their
// state before start-up.
void ResetGlobalStores();

// Destroys the main window if a test's start-up made one, and forgets the shell state.
void ResetShell();

std::vector<BYTE> ReadWholeFile(const std::wstring &path);

// Overwrites the first page of the table that lists every record of every database, as a fault of
// the disk would, in a volume that no handle holds open. False when the volume has no such table.
bool DamageRecordTable(const std::wstring &volume);
bool WriteWholeFile(const std::wstring &path, const void *data, size_t size);

// A new path in the temporary folder, not yet existing, with the given ending.
std::wstring TempPath(const wchar_t *ending);

// Runs a program of the build tree (next to the test) with a command line; returns its exit code
// and what it wrote to standard output (and, when asked, to standard error).
int RunTool(const std::wstring &commandLine, std::string *output, std::string *errors = nullptr);
