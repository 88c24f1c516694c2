#include "store/legacy_conversion.h"

#include "store/name_list.h"
#include "store/object_store.h"
#include "store/pass_host.h"

namespace {

const WCHAR kLegacyObjects[] = L"Torvell";
const WCHAR kLegacyCategories[] = L"Torvell-Kategorien";

enum class Kind { Objects, Categories };

// Copies the legacy database into the target database; *handled follows the record read or
// written last (the object store's current record, the category store's last result).
void convertLegacy(Kind kind, HANDLE hTarget, CEOID *handled) {
    const bool objects = kind == Kind::Objects;
    CEOID oidLegacy = 0;
    HANDLE hLegacy =
        CeOpenDatabase(&oidLegacy, const_cast<LPWSTR>(objects ? kLegacyObjects : kLegacyCategories),
                       objects ? PROP_FIELD1 : PROP_NAME, CEDB_AUTOINCREMENT, nullptr);
    if (hLegacy == INVALID_HANDLE_VALUE) return;  // nothing to convert

    CEOIDINFO info;
    int total = 0;
    if (CeOidGetInfo(oidLegacy, &info) && info.wObjType == OBJTYPE_DATABASE)
        total = info.infDatabase.wNumRecords;

    PassHost &host = CurrentPassHost();
    HWND hProgress =
        host.OpenProgress(objects ? L"Torvell konvertieren" : L"Kategorien konvertieren", total);

    CEPROPVAL defaultTitles[3] = {};
    defaultTitles[0].propid = PROP_TITLE1;
    defaultTitles[0].val.lpwstr = const_cast<LPWSTR>(kDefaultTitle1);
    defaultTitles[1].propid = PROP_TITLE2;
    defaultTitles[1].val.lpwstr = const_cast<LPWSTR>(kDefaultTitle2);
    defaultTitles[2].propid = PROP_TITLE3;
    defaultTitles[2].val.lpwstr = const_cast<LPWSTR>(kDefaultTitle3);

    *handled = CeSeekDatabase(hLegacy, CEDB_SEEK_BEGINNING, 0, nullptr);
    for (int i = 0; i < total; ++i) {
        host.ProgressText(hProgress, i, total);

        WORD count = 0;
        BYTE *buffer = nullptr;
        DWORD size = 0;
        *handled = CeReadRecordProps(hLegacy, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size);
        if (!*handled) {
            if (buffer) LocalFree(buffer);
            break;
        }
        // Every property is copied as it is, in the order read.
        auto props = reinterpret_cast<CEPROPVAL *>(buffer);
        bool hasTitle = false;
        for (WORD p = 0; p < count; ++p) {
            WORD number = PropIDFromPropID(props[p].propid);
            if (number == PropIDFromPropID(PROP_TITLE1) ||
                number == PropIDFromPropID(PROP_TITLE2) || number == PropIDFromPropID(PROP_TITLE3))
                hasTitle = true;
        }
        CEOID written = CeWriteRecordProps(hTarget, 0, count, props);
        *handled = written;
        LocalFree(buffer);
        if (!written) break;

        // Categories always take the default titles; objects only when they have none at all.
        if (!objects || !hasTitle)
            *handled = CeWriteRecordProps(hTarget, written, 3, defaultTitles);
        host.ProgressPosition(hProgress, i + 1);
    }

    host.CloseProgress(hProgress);
    CloseHandle(hLegacy);
}

}  // namespace

void convertLegacyObjects(ObjectStore *store) {
    convertLegacy(Kind::Objects, store->hDatabase, &store->currentRecord);
}

void convertLegacyCategories(NameList *store) {
    convertLegacy(Kind::Categories, store->hDatabase, &store->lastResult);
}
