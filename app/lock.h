// Locking the vault while the program runs, the end of the user's session, and the notice of a
// store that the last run left decrypted.
//
// A lock runs the closing pass as the end of the program does (every object whose flag asks for
// it is encrypted, the journal emptied), empties the list, the detail area and the program's own
// clipboard text, wipes the password and the keys, and asks for the password. The right password
// runs the opening pass and shows the list again where it was; Cancel ends the program.
#pragma once

#include <windows.h>

#include "store/object_store.h"

// A lock is possible: encryption is on and this run holds the password it was opened with.
bool LockAvailable();
// From the closing pass of a lock (or of an ending session) until the vault is open again.
bool VaultLocked();

// The command "Sperren" and the idle lock. Does nothing when no lock is possible.
void LockVault(HWND hwnd);

// WM_QUERYENDSESSION: the closing pass runs before the session may end (the system is told why
// it waits). Returns TRUE: the program never stops the end of a session.
BOOL SessionEnding(HWND hwnd);
// WM_ENDSESSION: ending, the program closes; an end called off opens the vault again with the
// password.
void SessionEnded(HWND hwnd, bool ending);

// Before the store opens at start: the objects whose flag asks for encryption but that are plain
// (the last run did not get to its closing pass). 0 when encryption is off.
int CountPlainFlaggedObjects();
// After the password at start: tells the user once that the last run left objects decrypted.
void NoticePlainStore(int count);
