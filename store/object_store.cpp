#include "store/object_store.h"

#include <cstring>
#include <cwchar>
#include <string_view>

#include "app/shell.h"
#include "crypto/bulk_crypt.h"
#include "crypto/password_key.h"
#include "store/legacy_conversion.h"

const WCHAR kDefaultTitle1[] = L"Name";
const WCHAR kDefaultTitle2[] = L"Seriennummer";
const WCHAR kDefaultTitle3[] = L"Bemerkung";

namespace {

enum class FilterKind { All, None, Name };

FilterKind filterKind() {
    if (wcscmp(currentCategory, kFilterAll) == 0) return FilterKind::All;
    if (wcscmp(currentCategory, kFilterNone) == 0) return FilterKind::None;
    return FilterKind::Name;
}

// Categories match objects exactly, letter case included.
bool passesFilter(FilterKind kind, const WCHAR *category) {
    switch (kind) {
    case FilterKind::All: return true;
    case FilterKind::None: return category[0] == 0;
    default: return wcscmp(category, currentCategory) == 0;
    }
}

WORD numberOf(const CEPROPVAL &value) { return PropIDFromPropID(value.propid); }

// The category of a stored record; absent (or not a text) counts as none.
void categoryOf(const CEPROPVAL *props, WORD count, WCHAR *category) {
    category[0] = 0;
    for (WORD i = 0; i < count; ++i)
        if (numberOf(props[i]) == 4) CopyStoredText(category, props[i]);
}

void setText(CEPROPVAL *value, CEPROPID id, const WCHAR *text) {
    value->propid = id;
    value->wLenData = 0;
    value->wFlags = 0;
    value->val.lpwstr = const_cast<LPWSTR>(text);
}

CEOID writeObject(HANDLE hDatabase, CEOID id, const ObjectRecord &object) {
    CEPROPVAL values[8];
    setText(&values[0], PROP_FIELD1, object.field1);
    setText(&values[1], PROP_FIELD2, object.field2);
    setText(&values[2], PROP_FIELD3, object.field3);
    setText(&values[3], PROP_CATEGORY, object.category);
    setText(&values[4], PROP_TITLE1, object.title1);
    setText(&values[5], PROP_TITLE2, object.title2);
    setText(&values[6], PROP_TITLE3, object.title3);
    values[7].propid = PROP_ENCRYPT;
    values[7].wLenData = 0;
    values[7].wFlags = 0;
    values[7].val.iVal = object.encrypt;
    return CeWriteRecordProps(hDatabase, id, 8, values);
}

}  // namespace

void ClearObjectRecord(ObjectRecord *object) {
    object->field1[0] = object->field2[0] = object->field3[0] = object->category[0] = 0;
    object->encrypt = 1;
    lstrcpyW(object->title1, kDefaultTitle1);
    lstrcpyW(object->title2, kDefaultTitle2);
    lstrcpyW(object->title3, kDefaultTitle3);
}

ObjectStore::ObjectStore() : currentRecord(0), blobs{}, verifier{} { clearKeyMaterial(); }

ObjectStore::~ObjectStore() { clearKeyMaterial(); }

int ObjectStore::open(const WCHAR *name) {
    oidDatabase = 0;
    hDatabase = CeOpenDatabase(&oidDatabase, const_cast<LPWSTR>(name), PROP_FIELD1,
                               CEDB_AUTOINCREMENT, nullptr);
    bool created = false;
    if (hDatabase == INVALID_HANDLE_VALUE) {
        SORTORDERSPEC sort{PROP_FIELD1, CEDB_SORT_CASEINSENSITIVE};
        oidDatabase = CeCreateDatabase(const_cast<LPWSTR>(name), 0, 1, &sort);
        if (oidDatabase)
            hDatabase =
                CeOpenDatabase(&oidDatabase, nullptr, PROP_FIELD1, CEDB_AUTOINCREMENT, nullptr);
        created = hDatabase != INVALID_HANDLE_VALUE;
    }
    if (hDatabase == INVALID_HANDLE_VALUE) return 1;
    // The empty-store rule, the legacy conversion of a new database, the password and the
    // decryption of the records.
    return unlockStore(this, created);
}

CEOID ObjectStore::addObject(const ObjectRecord &object) {
    currentRecord = writeObject(hDatabase, 0, object);
    return currentRecord;
}

CEOID ObjectStore::updateCurrent(const ObjectRecord &object) {
    currentRecord = writeObject(hDatabase, currentRecord, object);
    return currentRecord;
}

void ObjectStore::readVisible(int position, ObjectRecord *object) {
    FilterKind kind = filterKind();
    ClearObjectRecord(object);
    currentRecord = 0;
    WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        WCHAR category[256];
        categoryOf(props, count, category);
        if (!passesFilter(kind, category)) return true;
        if (position > 0) {
            --position;
            return true;
        }
        currentRecord = id;
        lstrcpyW(object->category, category);
        for (WORD i = 0; i < count; ++i) {
            switch (numberOf(props[i])) {
            case 1: CopyStoredText(object->field1, props[i]); break;
            case 2: CopyStoredText(object->field2, props[i]); break;
            case 3: CopyStoredText(object->field3, props[i]); break;
            case 7: CopyStoredText(object->title1, props[i]); break;
            case 8: CopyStoredText(object->title2, props[i]); break;
            case 9: CopyStoredText(object->title3, props[i]); break;
            case 10: object->encrypt = props[i].val.iVal; break;
            default: break;
            }
        }
        return false;
    });
}

bool ObjectStore::deleteVisible(int position) {
    ObjectRecord object;
    readVisible(position, &object);
    if (!currentRecord) return true;
    bool deleted = CeDeleteRecord(hDatabase, currentRecord) != FALSE;
    currentRecord = 0;
    return deleted;
}

int ObjectStore::positionOfCurrent() {
    if (!currentRecord) return 0;
    FilterKind kind = filterKind();
    int visible = 0;
    WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        WCHAR category[256];
        categoryOf(props, count, category);
        if (!passesFilter(kind, category)) return true;
        if (id == currentRecord) return false;
        ++visible;
        return true;
    });
    // A current record outside the visible set gives one past the last row, which selects nothing.
    return visible;
}

void ObjectStore::setEncryptFlagForCategory(const WCHAR *name, short flag) {
    WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        WCHAR category[256];
        categoryOf(props, count, category);
        if (wcscmp(category, name) == 0) {
            CEPROPVAL value{};
            value.propid = PROP_ENCRYPT;
            value.val.iVal = flag;
            CeWriteRecordProps(hDatabase, id, 1, &value);
        }
        return true;
    });
}

void ObjectStore::setPassword(WCHAR *password) {
    size_t length = wcsnlen(password, 128);
    if (password != passwordText) {
        wmemcpy(passwordText, password, length);
        passwordText[length] = 0;
    }
    PasswordKeys made;
    makePasswordKeys(std::u16string_view(reinterpret_cast<const char16_t *>(passwordText), length),
                     made);
    memcpy(keys[0], made.key1.data(), 8);
    memcpy(keys[1], made.key2.data(), 8);
    memcpy(keys[2], made.key3.data(), 8);
    wipeKeys(made);
    if (password != passwordText) SecureZeroMemory(password, (length + 1) * sizeof(WCHAR));
}

void ObjectStore::clearKeyMaterial() {
    SecureZeroMemory(keys, sizeof keys);
    SecureZeroMemory(passwordText, sizeof passwordText);
}
