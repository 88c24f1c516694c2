#include "exchange/test_seam.h"

BOOL(WINAPI *ImportReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ReadFile;
