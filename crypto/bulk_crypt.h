// The passes that move the whole object store between its plain and its encrypted form:
// decryption after the password at start-up (unlockStore), encryption when the program ends
// (lockStore). How one record looks encrypted is encrypted_record.h.
//
// While the program runs every object record is plain; the passes are the only code that reads
// or writes an encrypted record.
#pragma once

#include <windows.h>

class ObjectStore;

// The messages of the opening pass, also for an unlock after the program has locked itself.
extern const WCHAR kDecryptFailed[];
extern const WCHAR kWrongPassword[];
// "Sie haben kein Passwort eingegeben. Daher wird die Verschlüsselung deaktivert.": encryption was
// to be switched on and no password was set.
extern const WCHAR kNoPasswordGiven[];

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
