// The stored form of an encrypted object record: which BLOB holds each of its seven texts, the
// verifier that shows under which keys it was encrypted, and the property lists that turn a
// record into its other form. The passes (bulk_crypt.h) walk the store with these.
#pragma once

#include <windows.h>

#include <string>

#include "platform/cedb.h"

class ObjectStore;

// The working set of one record during a pass: its seven texts, its encrypt flag, and the
// property list that turns it into its other form.
struct CryptRecord {
    WCHAR text[7][256];  // properties 1, 2, 3, 4, 7, 8, 9
    short flag;          // property 10; 1 when absent
    CEPROPVAL list[15];  // two entries per text, one for the verifier
    WORD count;
};

// Fills the working set and the store's blob slots from a record's properties: the seven texts,
// the BLOBs 0x101..0x104 and 0x106..0x109 (a longer BLOB than its slot is cut to the slot), the
// flag. Every other property is ignored.
void LoadCryptRecord(ObjectStore *store, CryptRecord *work, const CEPROPVAL *props, WORD count);

// Builds the property list that encrypts the loaded record with the store's keys: every non-empty
// text becomes its BLOB (field 1 under 0x102, field 2 under 0x101, the others under 0x100 + id)
// and the verifier is added. The list stays empty for a record whose flag is 0 or that carries a
// verifier already. Returns the number of entries.
WORD EncryptRecord(ObjectStore *store, CryptRecord *work);

// What DecryptRecord returns for a record that must not be written: its verifier does not match
// the store's keys (a wrong password, or a damaged or foreign verifier), or it holds BLOBs but no
// verifier, so that nothing can show that the keys are its own.
constexpr int kVerifierMismatch = -1;
constexpr int kUnverifiable = -2;

// Builds the property list that decrypts the loaded record: every BLOB back to its text, the
// verifier removed. Returns the number of entries (0 for a plain record), or kVerifierMismatch or
// kUnverifiable (nothing of the record may be written then).
int DecryptRecord(ObjectStore *store, CryptRecord *work);

// Field 1 of the loaded record decrypted with the store's keys, for a message only (never
// written); empty when the record holds no BLOB of it.
std::u16string DecryptedField1(const ObjectStore *store);
