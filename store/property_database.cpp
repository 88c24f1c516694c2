#include "store/property_database.h"

PropertyDatabase::PropertyDatabase()
    : passwordText{}, keys{}, hDatabase(INVALID_HANDLE_VALUE), oidDatabase(0) {}

PropertyDatabase::~PropertyDatabase() {
    if (hDatabase != INVALID_HANDLE_VALUE) CloseHandle(hDatabase);
    hDatabase = INVALID_HANDLE_VALUE;
}

int PropertyDatabase::recordCount() { return CeDatabaseRecordCount(oidDatabase); }

void CopyStoredText(WCHAR *dest, const CEPROPVAL &value) {
    if (TypeFromPropID(value.propid) != CEVT_LPWSTR || !value.val.lpwstr) {
        dest[0] = 0;
        return;
    }
    lstrcpynW(dest, value.val.lpwstr, 256);
}
