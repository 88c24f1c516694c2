// Files that hold secrets (the store and its journal, exports, dumps and their temporaries): made
// readable and writable by the current user alone. Under Wine that is mode 0600 whatever the umask
// of the process that started the wineserver, and never an execute bit.
#pragma once

#include <windows.h>

// Creates the file for writing, user only. creation is CREATE_NEW or CREATE_ALWAYS; share is the
// sharing mode of the handle. INVALID_HANDLE_VALUE on failure (GetLastError tells why).
HANDLE CreatePrivateFile(const WCHAR *path, DWORD creation = CREATE_NEW, DWORD share = 0);

// Makes a file user only: creates it empty when it is not there, else sets its permissions.
// False when neither worked.
bool MakeFilePrivate(const WCHAR *path);
