#include "store/name_list.h"

#include "store/legacy_conversion.h"
#include "store/object_store.h"

const WCHAR kCategoryDatabase[] = L"Arkel-Kategorien";

namespace {

WORD numberOf(const CEPROPVAL &value) { return PropIDFromPropID(value.propid); }

// The low 16 bits of an integer property as a signed number; false for other value types.
bool flagOf(const CEPROPVAL &value, short *flag) {
    switch (TypeFromPropID(value.propid)) {
    case CEVT_I2:
    case CEVT_UI2: *flag = static_cast<short>(value.val.uiVal); return true;
    case CEVT_I4:
    case CEVT_UI4:
    case CEVT_BOOL: *flag = static_cast<short>(value.val.ulVal & 0xFFFF); return true;
    default: return false;
    }
}

CEPROPVAL textValue(CEPROPID id, const WCHAR *text) {
    CEPROPVAL value{};
    value.propid = id;
    value.val.lpwstr = const_cast<LPWSTR>(text);
    return value;
}

}  // namespace

NameList::NameList() : lastResult(0) {}

NameList::~NameList() = default;

int NameList::openOrCreate(const WCHAR *name, BOOL *created) {
    if (created) *created = FALSE;
    oidDatabase = 0;
    hDatabase = CeOpenDatabase(&oidDatabase, const_cast<LPWSTR>(name), PROP_NAME,
                               CEDB_AUTOINCREMENT, nullptr);
    if (hDatabase == INVALID_HANDLE_VALUE) {
        // A database of that name that cannot be opened on its names is not replaced: creating
        // fails on the existing name and the open is reported as failed.
        SORTORDERSPEC sort{PROP_NAME, CEDB_SORT_CASEINSENSITIVE};
        oidDatabase = CeCreateDatabase(const_cast<LPWSTR>(name), 0, 1, &sort);
        if (oidDatabase)
            hDatabase =
                CeOpenDatabase(&oidDatabase, nullptr, PROP_NAME, CEDB_AUTOINCREMENT, nullptr);
        if (created) *created = hDatabase != INVALID_HANDLE_VALUE;
    }
    return hDatabase == INVALID_HANDLE_VALUE ? 1 : 0;
}

void NameList::addName(const WCHAR *name) {
    lastResult = 0;
    if (!name || !name[0]) return;
    // The seek compares under the database's sort order, so "Bank" finds "bank" as well.
    if (findName(name)) {
        lastResult = 0;
        return;
    }
    CEPROPVAL value = textValue(PROP_NAME, name);
    lastResult = CeWriteRecordProps(hDatabase, 0, 1, &value);
}

CEOID NameList::findName(const WCHAR *name) {
    CEPROPVAL value = textValue(PROP_NAME, name ? name : L"");
    lastResult = CeSeekDatabase(hDatabase, CEDB_SEEK_VALUEFIRSTEQUAL,
                                reinterpret_cast<DWORD_PTR>(&value), nullptr);
    return lastResult;
}

void NameList::deleteAt(int position) {
    if (position < 0) return;
    DWORD index = 0;
    CEOID id = CeSeekDatabase(hDatabase, CEDB_SEEK_BEGINNING, static_cast<DWORD>(position), &index);
    if (!id) return;
    CeDeleteRecord(hDatabase, id);
    lastResult = 0;
}

void NameList::fillControl(HWND window, UINT resetMessage, UINT addMessage) {
    SendMessageW(window, resetMessage, 0, 0);
    bool first = true;
    WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        if (first) lastResult = id;
        first = false;
        // A record without a name text has no sort key and comes last; leaving it out keeps
        // the list positions of all named records equal to their database positions.
        for (WORD i = 0; i < count; ++i) {
            if (props[i].propid != PROP_NAME || !props[i].val.lpwstr) continue;
            WCHAR text[256];
            CopyStoredText(text, props[i]);
            SendMessageW(window, addMessage, 0, reinterpret_cast<LPARAM>(text));
            break;
        }
        return true;
    });
    if (first) lastResult = 0;
}

int NameList::openCategories(const WCHAR *name) {
    BOOL created = FALSE;
    int failed = openOrCreate(name, &created);
    if (!failed && created) convertLegacyCategories(this);
    return failed;
}

void NameList::fillCategoryControl(HWND window, UINT resetMessage, UINT addMessage) {
    fillControl(window, resetMessage, addMessage);
    SendMessageW(window, addMessage, 0, reinterpret_cast<LPARAM>(kFilterAll));
    SendMessageW(window, addMessage, 0, reinterpret_cast<LPARAM>(kFilterNone));
}

void NameList::readCategory(const WCHAR *name, WCHAR *title1, WCHAR *title2, WCHAR *title3,
                            short *encrypt) {
    CEOID found = findName(name);
    title1[0] = title2[0] = title3[0] = 0;
    *encrypt = 1;
    if (!found) return;
    WORD count = 0;
    BYTE *buffer = nullptr;
    DWORD size = 0;
    CEOID id = CeReadRecordProps(hDatabase, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size);
    if (id) {
        auto props = reinterpret_cast<const CEPROPVAL *>(buffer);
        for (WORD i = 0; i < count; ++i) {
            switch (numberOf(props[i])) {
            case PropIDFromPropID(PROP_DEFAULT_TITLE1): CopyStoredText(title1, props[i]); break;
            case PropIDFromPropID(PROP_DEFAULT_TITLE2): CopyStoredText(title2, props[i]); break;
            case PropIDFromPropID(PROP_DEFAULT_TITLE3): CopyStoredText(title3, props[i]); break;
            case PropIDFromPropID(PROP_DEFAULT_ENCRYPT): flagOf(props[i], encrypt); break;
            default: break;
            }
        }
    }
    if (buffer) LocalFree(buffer);
}

void NameList::writeCategory(const WCHAR *name, const WCHAR *title1, const WCHAR *title2,
                             const WCHAR *title3, short encrypt) {
    if (!lastResult) return;
    CEPROPVAL values[5] = {textValue(PROP_NAME, name),
                           textValue(PROP_DEFAULT_TITLE1, title1),
                           textValue(PROP_DEFAULT_TITLE2, title2),
                           textValue(PROP_DEFAULT_TITLE3, title3),
                           {}};
    values[4].propid = PROP_DEFAULT_ENCRYPT;
    values[4].val.lVal = encrypt ? 1 : 0;
    lastResult = CeWriteRecordProps(hDatabase, lastResult, 5, values);
}

void NameList::mergeCategoriesFromObjects(HANDLE hObjectDatabase) {
    std::unordered_set<std::wstring> seen;
    ObjectRecord object;
    WalkDatabase(hObjectDatabase, [&](CEOID, const CEPROPVAL *props, WORD count) {
        // Titles the object lacks stay empty in the new category.
        ReadObjectRecord(props, count, &object, AbsentTitles::Empty);
        mergeCategory(object, &seen);
        return true;
    });
}

void NameList::mergeCategory(const ObjectRecord &object, std::unordered_set<std::wstring> *seen) {
    // A name met before is in the store now (added then, or there already).
    if (!object.category[0] || !seen->insert(object.category).second) return;
    addName(object.category);
    if (lastResult)
        writeCategory(object.category, object.title1, object.title2, object.title3, object.encrypt);
}
