// Export of the whole store to an exchange file (".ark" encrypted or ".txt" plain).
#pragma once

#include <windows.h>

class ObjectStore;

int exportData(ObjectStore &store, HWND owner);
