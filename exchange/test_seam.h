// The test seam of the exchange: the hooks that only tests set, kept apart from the export's and
// the import's code, which calls through them. Each starts as the real call, and the program
// itself never changes it.
#pragma once

#include <windows.h>

// The file reads of the import. Starts as ReadFile; a test puts a failing one in its place.
extern BOOL(WINAPI *ImportReadFile)(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                                    LPOVERLAPPED overlapped);
