// What export and import share on Windows: the file dialogs' filters, the short name of a file,
// the file password in the object store's key material, and private files.
#pragma once

#include <windows.h>

#include "platform/private_file.h"

#include "exchange/exchange_codec.h"

class ObjectStore;

// "Verschlüsselte Dateien (*.ark)", "Text Dateien (*.txt)", "Alle Dateien (*.*)".
extern const WCHAR kExchangeFilter[];

// The part of a path after its last backslash (or slash); the whole path when there is none.
const WCHAR *ShortFileName(const WCHAR *path);

// The three keys of the store's current password, for the exchange codec. Wipe them after use
// (wipeKeys).
PasswordKeys StoreKeys(const ObjectStore &store);

// Keeps the running program's password while a file password takes its place in the store's
// key material, and puts it back (with the keys made from it) when it goes out of scope, on
// every way out. Nothing happens when not active (the plain variant).
class SavedPassword {
public:
    SavedPassword(ObjectStore &store, bool active);
    ~SavedPassword();
    SavedPassword(const SavedPassword &) = delete;
    SavedPassword &operator=(const SavedPassword &) = delete;

private:
    ObjectStore &store_;
    bool active_;
    WCHAR copy_[129];
};

// Shows a stop message with caption "The Arkel"; the text is a format with one %s, the short
// file name.
void ExchangeMessage(HWND owner, const WCHAR *format, const WCHAR *shortName);
