// Import of an exchange file (".ark" encrypted or ".txt" plain) into the store.
#pragma once

#include <windows.h>

class ObjectStore;

// Asks for a file, checks it whole, asks whether to delete the existing data first, and adds its
// objects with their categories and titles. The deletion and the additions take effect together
// or not at all. 0 when done or when the file dialog was cancelled, -1 otherwise.
int importData(ObjectStore &store, HWND owner);
