// Windows CE property databases for desktop Windows.
//
// The program keeps its data in Windows CE property databases. Desktop Windows has none, so this
// layer provides the calls with their Windows CE names, types and constant values on SQLite. One
// file (the "volume") holds every database; by default it lives in the user's local application
// data folder, and the environment variable ARKEL_OBJECT_STORE names another file.
//
// What callers can rely on, as on the device:
// - A database keeps its records sorted on the sort property it was opened with, ascending, text
//   compared like sorted list boxes do (CompareStringW, NORM_IGNORECASE for a case-insensitive
//   order). Records without the sort property come after all that have it; equal keys keep the
//   order of their record ids.
// - A handle has a read position. CeSeekDatabase moves it and returns the record found (0 when
//   none); CeReadRecordProps returns the record at the position and, when the database was opened
//   with CEDB_AUTOINCREMENT, moves on to the next. A walk visits the records in the order they had
//   when it began with a seek, each once, even when it rewrites them on the way.
// - CeWriteRecordProps with record id 0 creates a record; otherwise the given properties replace
//   those with the same full id, properties not given stay, and CEDB_PROPDELETE removes one. Each
//   write and each delete is one transaction (or one step of a batch, see CeBeginBatch).
// - A database holds at most 65,535 records.
// - Database handles are closed with CloseHandle (this header routes the call, see below).
#pragma once

#include <windows.h>

#include <cstdint>

typedef DWORD CEOID;
typedef CEOID *PCEOID;
typedef DWORD CEPROPID;
typedef CEPROPID *PCEPROPID;

#define TypeFromPropID(propid) LOWORD(propid)
#define PropIDFromPropID(propid) HIWORD(propid)

typedef struct _CEBLOB {
    DWORD dwCount;
    LPBYTE lpb;
} CEBLOB;

#define CEVT_I2 2
#define CEVT_UI2 18
#define CEVT_I4 3
#define CEVT_UI4 19
#define CEVT_FILETIME 64
#define CEVT_LPWSTR 31
#define CEVT_BLOB 65
#define CEVT_BOOL 11
#define CEVT_R8 5

typedef union _CEVALUNION {
    short iVal;
    USHORT uiVal;
    long lVal;
    ULONG ulVal;
    FILETIME filetime;
    LPWSTR lpwstr;
    CEBLOB blob;
    BOOL boolVal;
    double dblVal;
} CEVALUNION;

typedef struct _CEPROPVAL {
    CEPROPID propid;
    WORD wLenData;
    WORD wFlags;
    CEVALUNION val;
} CEPROPVAL, *PCEPROPVAL;

// wFlags of a property value
#define CEDB_PROPNOTFOUND 0x0100
#define CEDB_PROPDELETE 0x0200

// Sort orders
#define CEDB_SORT_DESCENDING 0x00000001
#define CEDB_SORT_CASEINSENSITIVE 0x00000002
#define CEDB_SORT_UNKNOWNFIRST 0x00000004
#define CEDB_SORT_GENERICORDER 0x00000008
#define CEDB_MAXSORTORDER 4

typedef struct _SORTORDERSPEC {
    CEPROPID propid;
    DWORD dwFlags;
} SORTORDERSPEC;

// CeOpenDatabase flags
#define CEDB_AUTOINCREMENT 0x00000001

// CeSeekDatabase kinds
#define CEDB_SEEK_CEOID 0x00000001
#define CEDB_SEEK_BEGINNING 0x00000002
#define CEDB_SEEK_END 0x00000004
#define CEDB_SEEK_CURRENT 0x00000008
#define CEDB_SEEK_VALUESMALLER 0x00000010
#define CEDB_SEEK_VALUEFIRSTEQUAL 0x00000020
#define CEDB_SEEK_VALUEGREATER 0x00000040
#define CEDB_SEEK_VALUENEXTEQUAL 0x00000080

// CeReadRecordProps flags
#define CEDB_ALLOWREALLOC 0x00000001

#define CEDB_MAXDBASENAMELEN 32
#define CEDB_MAXRECORDS 65535

// CeOidGetInfo
#define OBJTYPE_INVALID 0
#define OBJTYPE_FILE 1
#define OBJTYPE_DIRECTORY 2
#define OBJTYPE_DATABASE 3
#define OBJTYPE_RECORD 4

#define CEDB_VALIDNAME 0x0001
#define CEDB_VALIDTYPE 0x0002
#define CEDB_VALIDSORTSPEC 0x0004
#define CEDB_VALIDMODTIME 0x0008

typedef struct _CEFILEINFO {
    DWORD dwAttributes;
    CEOID oidParent;
    WCHAR szFileName[MAX_PATH];
    FILETIME ftLastChanged;
    DWORD dwLength;
} CEFILEINFO;

typedef struct _CEDIRINFO {
    DWORD dwAttributes;
    CEOID oidParent;
    WCHAR szDirName[MAX_PATH];
} CEDIRINFO;

typedef struct _CEDBASEINFO {
    DWORD dwFlags;
    WCHAR szDbaseName[CEDB_MAXDBASENAMELEN];
    DWORD dwDbaseType;
    WORD wNumRecords;
    WORD wNumSortOrder;
    DWORD dwSize;
    FILETIME ftLastModified;
    SORTORDERSPEC rgSortSpecs[CEDB_MAXSORTORDER];
} CEDBASEINFO;

typedef struct _CERECORDINFO {
    CEOID oidParent;
} CERECORDINFO;

typedef struct _CEOIDINFO {
    WORD wObjType;
    WORD wPad;
    union {
        CEFILEINFO infFile;
        CEDIRINFO infDirectory;
        CEDBASEINFO infDatabase;
        CERECORDINFO infRecord;
    };
} CEOIDINFO;

// Creates a database; returns its object id, 0 on failure (GetLastError: ERROR_DUP_NAME when the
// name exists, ERROR_INVALID_PARAMETER for a bad name or sort order, ERROR_DISK_FULL …).
CEOID CeCreateDatabase(LPWSTR lpszName, DWORD dwDbaseType, WORD wNumSortOrder,
                       SORTORDERSPEC *rgSortSpecs);

// Opens a database by object id (*poid non-zero) or by name (*poid 0; the id is stored back).
// propid chooses one of its sort orders (0: the first). INVALID_HANDLE_VALUE on failure.
HANDLE CeOpenDatabase(PCEOID poid, LPWSTR lpszName, CEPROPID propid, DWORD dwFlags,
                      HWND hwndNotify);

// Moves the read position. On the device the value is a DWORD that carries a pointer for the
// value seeks; here it is pointer-sized, so a CEPROPVAL * fits on 64-bit Windows too. Returns 0
// with ERROR_SEEK when no record is there, with ERROR_READ_FAULT when the volume cannot be read.
CEOID CeSeekDatabase(HANDLE hDatabase, DWORD dwSeekType, DWORD_PTR dwValue, LPDWORD lpdwIndex);

// Returns the record read, or 0: GetLastError is ERROR_NO_MORE_ITEMS at the end of the database,
// anything else (ERROR_READ_FAULT for a volume that cannot be read) is a failure, which a walk must
// not take for the end.
CEOID CeReadRecordProps(HANDLE hDbase, DWORD dwFlags, LPWORD lpcPropID, CEPROPID *rgPropID,
                        LPBYTE *lplpBuffer, LPDWORD lpcbBuffer);

CEOID CeWriteRecordProps(HANDLE hDbase, CEOID oidRecord, WORD cPropID, CEPROPVAL *rgPropVal);

BOOL CeDeleteRecord(HANDLE hDatabase, CEOID oidRecord);

BOOL CeDeleteDatabase(CEOID oid);

BOOL CeOidGetInfo(CEOID oid, CEOIDINFO *poidInfo);

// The number of records of a database, as CeOidGetInfo gives it, without summing the size of its
// properties (which reads every record); -1 when the database does not exist or cannot be read.
int CeDatabaseRecordCount(CEOID oidDatabase);

// Windows CE closes a database handle with CloseHandle. The desktop kernel does not know these
// handles, so code that includes this header calls the layer's CloseHandle, which closes a
// database handle itself and passes every other handle on to the kernel. Closing the last
// database handle checkpoints the volume's journal and truncates it.
BOOL CeCloseHandle(HANDLE hObject);
#define CloseHandle CeCloseHandle

// ---- Desktop additions, not part of the Windows CE interface ----

// FALSE when the last close of the volume could not checkpoint and truncate its journal (another
// process held a read for the whole time the close waited): pages written while the volume was
// open may then still be in the journal file until the next close succeeds. TRUE before any close.
BOOL CeJournalEmptiedAtClose();

// Enumerates the databases of the volume in creation order: pass 0 first, then the previous id;
// returns 0 after the last one (GetLastError ERROR_NO_MORE_ITEMS) or on a failure (any other).
CEOID CeFindNextDatabaseOid(CEOID previous);

// The volume file the layer uses: ARKEL_OBJECT_STORE when set (a Windows path; under Wine an
// absolute Unix path is accepted too), else "<local application data>\Mobrix\Arkel\Arkel.cdb".
// Returns false when no path can be made (ERROR_FILENAME_EXCED_RANGE for a path of MAX_PATH units
// or more; such a name is refused, never replaced by the default). The buffer holds MAX_PATH units.
bool CeGetVolumePath(WCHAR path[MAX_PATH]);

// Runs the SQLite integrity check on the volume. Returns true when the volume is a store and
// sound; otherwise false with a short reason in the buffer (GetLastError ERROR_FILE_CORRUPT when
// the store is damaged, as for CeOpenDatabase when it cannot be opened).
bool CeCheckVolume(WCHAR *reason, DWORD reasonChars);

// The quicker check, for a program before it works on the volume: every page is read and the
// structure of every table checked. Returns 1 when the volume is sound, 0 when it is damaged (a
// short reason in the buffer, GetLastError ERROR_FILE_CORRUPT), -1 when it cannot be opened
// (GetLastError as for CeOpenDatabase).
// Creates the volume when there is none, as opening a database does.
int CeVerifyVolume(WCHAR *reason, DWORD reasonChars);

// Moves everything the journal holds into the volume file and empties the journal, as closing the
// last handle does, while the handles stay open; the page cache is given back too. For a store
// that has just been encrypted while the program goes on: no plain page stays in the journal.
// FALSE inside a batch or when the journal cannot be emptied (a reader of another process).
BOOL CeFlushVolume();

// Whether a database handle is open; tests use it to see that nothing leaks.
int CeOpenHandleCount();

// A stamp that changes whenever a record of the handle's database is written or deleted, by this
// process or (conservatively: by any write to the volume) another; 0 when it cannot be read. A
// caller may keep what it derived from the records while the stamp stays the same.
ULONGLONG CeDatabaseChangeStamp(HANDLE hDatabase);

// Deletes every record of the handle's database in one step (one transaction, or one step of a
// batch): the database stays, empty. FALSE with nothing deleted when the volume cannot be
// written. Much quicker than deleting the records one by one.
BOOL CeDeleteAllRecords(HANDLE hDatabase);

// Batches: the writes, deletes and database changes of many calls as one unit of work. Between
// CeBeginBatch and CeCommitBatch every call works as usual and sees what the batch changed so
// far; the commit makes all of it durable at once, CeRollbackBatch (or a failed commit) takes
// all of it back. A failed call inside a batch takes back only its own changes. Batches nest:
// an inner batch commits into the outer one and rolls back only its own part. One batch is
// also much faster than its calls one by one. The volume stays open while a batch is open.
// FALSE when no batch can begin (the volume cannot be opened, another process writes) or when
// none is open; a commit that fails leaves nothing of its batch.
BOOL CeBeginBatch();
BOOL CeCommitBatch();
BOOL CeRollbackBatch();

// Makes this process the volume's one writer while it runs: an exclusive lock on one byte of the
// volume file far beyond its pages (and beyond the bytes SQLite locks), held until
// CeReleaseVolumeClaim or the end of the process (also a killed one: the system frees it). A
// second process's claim then fails with ERROR_LOCK_VIOLATION, also one in another Wine desktop
// of the same prefix; reading (arkstore dump) stays open to every process. The volume must exist
// (CeVerifyVolume makes a missing one). A claim on another volume (ARKEL_OBJECT_STORE changed) is
// given up first; a second claim on the same volume succeeds at once.
BOOL CeClaimVolume();
void CeReleaseVolumeClaim();
