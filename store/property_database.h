// The base of every store: one open property database and, for the object store, the key
// material of the password.
#pragma once

#include <windows.h>

#include "crypto/password_key.h"
#include "platform/cedb.h"

class PropertyDatabase {
public:
    PropertyDatabase();
    virtual ~PropertyDatabase();
    PropertyDatabase(const PropertyDatabase &) = delete;
    PropertyDatabase &operator=(const PropertyDatabase &) = delete;

    // Number of records, or -1 when the database information cannot be read.
    int recordCount();

    // Key material: the password (up to 128 units and a terminator) and the three keys made from
    // it. Only the object store uses it; it is never written to storage. The passes, export and
    // import borrow the keys from here and make no copies of them.
    WCHAR passwordText[129];
    PasswordKeys keys;

    HANDLE hDatabase;  // INVALID_HANDLE_VALUE while not open
    CEOID oidDatabase;
};

// Walks a database from its beginning, calling visit(id, properties, count) for every record, with
// the record's properties in a buffer that lives until visit returns. Stops early when visit
// returns false, or when a read fails. Returns false only for a failed read (a damaged volume, no
// memory for the record): the walk then did not see every record, which is not the end. With
// ids, only the properties of those full ids are read, in that order, missing ones marked
// CEDB_PROPNOTFOUND.
template <typename Visit>
bool WalkDatabase(HANDLE hDatabase, Visit visit, const CEPROPID *ids = nullptr, WORD idCount = 0) {
    CeSeekDatabase(hDatabase, CEDB_SEEK_BEGINNING, 0, nullptr);
    // One buffer serves the whole walk; the read call grows it when a record needs more.
    BYTE *buffer = nullptr;
    DWORD size = 0;
    for (;;) {
        WORD count = idCount;
        CEOID id = CeReadRecordProps(hDatabase, CEDB_ALLOWREALLOC, &count,
                                     const_cast<CEPROPID *>(ids), &buffer, &size);
        if (!id) {
            DWORD error = GetLastError();
            if (buffer) LocalFree(buffer);
            return error == ERROR_NO_MORE_ITEMS;
        }
        if (!visit(id, reinterpret_cast<CEPROPVAL *>(buffer), count)) break;
    }
    if (buffer) LocalFree(buffer);
    return true;
}

// Copies a stored text into a buffer of 256 units, shortening what does not fit.
void CopyStoredText(WCHAR *dest, const CEPROPVAL &value);
