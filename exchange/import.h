// Import of an exchange file (".ark" encrypted or ".txt" plain) into the store.
#pragma once

#include <windows.h>

class ObjectStore;

int importData(ObjectStore &store, HWND owner);
