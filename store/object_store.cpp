#include "store/object_store.h"

#include <cstring>
#include <cwchar>
#include <string_view>

#include "crypto/bulk_crypt.h"
#include "crypto/password_key.h"
#include "store/legacy_conversion.h"

const WCHAR kDefaultTitle1[] = L"Name";
const WCHAR kDefaultTitle2[] = L"Seriennummer";
const WCHAR kDefaultTitle3[] = L"Bemerkung";
const WCHAR kFilterAll[] = L" - Alle -";
const WCHAR kFilterNone[] = L" - Ohne -";

namespace {

constexpr WORD numberOf(CEPROPID id) { return PropIDFromPropID(id); }

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

// The category of a stored record, as the filter sees it; absent (or not a text) counts as none.
void categoryOf(const CEPROPVAL *props, WORD count, WCHAR *category) {
    category[0] = 0;
    for (WORD i = count; i-- > 0;)
        if (numberOf(props[i].propid) == numberOf(PROP_CATEGORY))
            CopyStoredText(category, props[i]);
}

}  // namespace

bool CategoryPassesFilter(const WCHAR *filter, const WCHAR *category) {
    if (wcscmp(filter, kFilterAll) == 0) return true;
    if (wcscmp(filter, kFilterNone) == 0) return category[0] == 0;
    return wcscmp(category, filter) == 0;
}

void ClearObjectRecord(ObjectRecord *object) {
    object->field1[0] = object->field2[0] = object->field3[0] = object->category[0] = 0;
    object->encrypt = 1;
    lstrcpyW(object->title1, kDefaultTitle1);
    lstrcpyW(object->title2, kDefaultTitle2);
    lstrcpyW(object->title3, kDefaultTitle3);
}

void ReadObjectRecord(const CEPROPVAL *props, WORD count, ObjectRecord *object,
                      AbsentTitles absent) {
    ClearObjectRecord(object);
    if (absent == AbsentTitles::Empty)
        object->title1[0] = object->title2[0] = object->title3[0] = 0;
    // From the last property to the first, so that the first of a number is the one kept.
    for (WORD i = count; i-- > 0;) {
        const CEPROPVAL &value = props[i];
        switch (numberOf(value.propid)) {
        case numberOf(PROP_FIELD1): CopyStoredText(object->field1, value); break;
        case numberOf(PROP_FIELD2): CopyStoredText(object->field2, value); break;
        case numberOf(PROP_FIELD3): CopyStoredText(object->field3, value); break;
        case numberOf(PROP_CATEGORY): CopyStoredText(object->category, value); break;
        case numberOf(PROP_TITLE1): CopyStoredText(object->title1, value); break;
        case numberOf(PROP_TITLE2): CopyStoredText(object->title2, value); break;
        case numberOf(PROP_TITLE3): CopyStoredText(object->title3, value); break;
        case numberOf(PROP_ENCRYPT):
            // A signed 16-bit value; any integer type gives its low 16 bits, another type
            // (which no writer of ours uses) leaves the flag at 1.
            switch (TypeFromPropID(value.propid)) {
            case CEVT_I2:
            case CEVT_UI2:
            case CEVT_I4:
            case CEVT_UI4:
            case CEVT_BOOL: object->encrypt = static_cast<short>(value.val.ulVal & 0xFFFF); break;
            default: object->encrypt = 1; break;
            }
            break;
        default: break;
        }
    }
}

bool IsEncryptedRecord(const CEPROPVAL *props, WORD count) {
    for (WORD i = 0; i < count; ++i)
        if (props[i].propid == PROP_VERIFIER) return true;
    return false;
}

ObjectStore::ObjectStore(const WCHAR *filter)
    : filter(filter), currentRecord(0), blobs{}, verifier{} {
    clearKeyMaterial();
}

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
    ClearObjectRecord(object);
    currentRecord = 0;
    WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        WCHAR category[256];
        categoryOf(props, count, category);
        if (!CategoryPassesFilter(filter, category)) return true;
        if (position > 0) {
            --position;
            return true;
        }
        currentRecord = id;
        ReadObjectRecord(props, count, object);
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
    int visible = 0;
    WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        WCHAR category[256];
        categoryOf(props, count, category);
        if (!CategoryPassesFilter(filter, category)) return true;
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
