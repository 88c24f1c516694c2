// The encrypted form of the object store on the database, and the passes that move the whole
// store between its plain and its encrypted form: decryption after the password at start-up
// (unlockStore), encryption when the program ends (lockStore).
//
// While the program runs every object record is plain; the passes are the only code that reads
// or writes an encrypted record.
#pragma once

#include <windows.h>

#include "platform/cedb.h"

class ObjectStore;

// The messages of the opening pass, also for an unlock after the program has locked itself.
extern const WCHAR kDecryptFailed[];
extern const WCHAR kWrongPassword[];

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

// One pass over every record of the store with its current keys: mode 1 encrypts, mode 0
// decrypts, with the progress window. Returns 0 when the pass ended normally, 1 when the password
// is wrong, -1 when a record could not be read or written (what was written before stays in its
// new form; running the pass again completes the work).
//
// Decryption first looks for a verifier that matches the keys, before anything is written: the
// password is right when one does, wrong (return 1, nothing written) when verifiers exist but none
// matches. Then every record whose verifier matches is decrypted; a record whose verifier does not
// match or that has BLOBs without a verifier (damaged) is left exactly as it is, and those are
// counted and named in a message after the pass. A decryption that found nothing to decrypt asks
// for a new password and switches encryption off when none is given.
int cryptAllObjects(ObjectStore *store, int mode);

// The step after the object database has been opened (created: just made): the empty-store rule,
// the legacy conversion of a new database, and with encryption on the password prompt and the
// decryption until the password is right. Non-zero when the program cannot go on (the prompt was
// cancelled); the key material is then wiped.
int unlockStore(ObjectStore *store, bool created);

// The step after the message loop: with encryption on, the encryption pass under the keys of the
// password given in this run; then the key material is wiped in any case.
void lockStore(ObjectStore *store);
