// Import of an exchange file (".ark" encrypted or ".txt" plain) into the store.
#pragma once

#include <windows.h>

class ObjectStore;

// Asks for a file, checks it whole, asks whether to delete the existing data first, and adds its
// objects with their categories and titles. The deletion and the additions take effect together
// or not at all. 0 when done or when the file dialog was cancelled, -1 otherwise.
int importData(ObjectStore &store, HWND owner);

// The file reads of the import go through this function; a test may put a failing one in its
// place.
extern BOOL(WINAPI *ImportReadFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                                    LPOVERLAPPED overlapped);
