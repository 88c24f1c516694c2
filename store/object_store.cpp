#include "store/object_store.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "app/shell.h"
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

// Copies the properties of a stored object into the in-memory record (which starts cleared).
void readRecordInto(const CEPROPVAL *props, WORD count, ObjectRecord *object) {
    categoryOf(props, count, object->category);
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
}

}  // namespace

ListedObject ReadListedObject(CEOID id, const CEPROPVAL *props, WORD count) {
    ListedObject object{id, {}, {}, false};
    WCHAR name[256] = {};
    WCHAR category[256] = {};
    for (int i = count - 1; i >= 0; --i) {
        if (props[i].wFlags & CEDB_PROPNOTFOUND) continue;
        if (props[i].propid == PROP_FIELD1)
            CopyStoredText(name, props[i]);
        else if (props[i].propid == PROP_CATEGORY)
            CopyStoredText(category, props[i]);
        else if (props[i].propid == PROP_VERIFIER)
            object.encrypted = true;
    }
    object.name = name;
    object.category = category;
    return object;
}

void ClearObjectRecord(ObjectRecord *object) {
    object->field1[0] = object->field2[0] = object->field3[0] = object->category[0] = 0;
    object->encrypt = 1;
    lstrcpyW(object->title1, kDefaultTitle1);
    lstrcpyW(object->title2, kDefaultTitle2);
    lstrcpyW(object->title3, kDefaultTitle3);
}

ObjectStore::ObjectStore()
    : currentRecord(0), blobs{}, verifier{}, indexFilter{}, indexStamp(0), indexBuilding(false) {
    clearKeyMaterial();
}

ObjectStore::~ObjectStore() = default;

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
    // What follows the opening of the store (the empty-store check, the legacy conversion of a
    // new database, the password and the decryption pass) starts here, in that order, with
    // `created` telling a new database.
    if (created) convertLegacyObjects(this);
    return 0;
}

CEOID ObjectStore::addObject(const ObjectRecord &object) {
    bool keep = indexUsable();
    currentRecord = writeObject(hDatabase, 0, object);
    indexAfterWrite(currentRecord, object.category, keep);
    return currentRecord;
}

CEOID ObjectStore::updateCurrent(const ObjectRecord &object) {
    bool keep = indexUsable();
    currentRecord = writeObject(hDatabase, currentRecord, object);
    indexAfterWrite(currentRecord, object.category, keep);
    return currentRecord;
}

void ObjectStore::keepListing(std::vector<ListedObject> &&listing) {
    keptListing = std::move(listing);
    listingStamp = CeDatabaseChangeStamp(hDatabase);
}

bool ObjectStore::takeListing(std::vector<ListedObject> *listing) {
    bool fresh = listingStamp && CeDatabaseChangeStamp(hDatabase) == listingStamp;
    if (fresh) *listing = std::move(keptListing);
    keptListing = std::vector<ListedObject>();
    listingStamp = 0;
    return fresh;
}

void ObjectStore::beginIndex() {
    indexIds.clear();
    indexPasses.clear();
    visibleIds.clear();
    indexStamp = 0;
    indexBuilding = true;
    lstrcpynW(indexFilter, currentCategory, 256);
}

void ObjectStore::noteIndexed(CEOID id, const WCHAR *category) {
    if (!indexBuilding) return;
    indexIds.push_back(id);
    indexPasses.push_back(passesFilter(filterKind(), category) ? 1 : 0);
}

void ObjectStore::endIndex() {
    if (!indexBuilding) return;
    indexBuilding = false;
    rebuildVisible();
    indexStamp = CeDatabaseChangeStamp(hDatabase);
}

bool ObjectStore::indexUsable() {
    if (!indexStamp || indexBuilding || wcscmp(indexFilter, currentCategory) != 0) return false;
    if (CeDatabaseChangeStamp(hDatabase) == indexStamp) return true;
    indexStamp = 0;
    return false;
}

void ObjectStore::rebuildVisible() {
    visibleIds.clear();
    for (size_t i = 0; i < indexIds.size(); ++i)
        if (indexPasses[i]) visibleIds.push_back(indexIds[i]);
}

// The index holds when it held before the store's own change and the change is taken into it;
// otherwise it is dropped and the next use walks the database once to build it again.
void ObjectStore::restampIndex(bool keep) {
    indexStamp = keep ? CeDatabaseChangeStamp(hDatabase) : 0;
}

// A record the store has just written goes to the place the database gives it now.
void ObjectStore::indexAfterWrite(CEOID id, const WCHAR *category, bool keep) {
    DWORD index = 0;
    if (!keep || !id || CeSeekDatabase(hDatabase, CEDB_SEEK_CEOID, id, &index) != id) {
        indexStamp = 0;
        return;
    }
    auto it = std::find(indexIds.begin(), indexIds.end(), id);
    if (it != indexIds.end()) {
        indexPasses.erase(indexPasses.begin() + (it - indexIds.begin()));
        indexIds.erase(it);
    }
    if (index > indexIds.size()) {
        indexStamp = 0;
        return;
    }
    indexIds.insert(indexIds.begin() + index, id);
    indexPasses.insert(indexPasses.begin() + index, passesFilter(filterKind(), category) ? 1 : 0);
    rebuildVisible();
    restampIndex(true);
}

void ObjectStore::readVisible(int position, ObjectRecord *object) {
    ClearObjectRecord(object);
    currentRecord = 0;
    if (!indexUsable()) {
        // One walk builds the index; every later position is read directly.
        beginIndex();
        WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
            WCHAR category[256];
            categoryOf(props, count, category);
            noteIndexed(id, category);
            return true;
        });
        endIndex();
    }
    if (position < 0 || static_cast<size_t>(position) >= visibleIds.size()) return;
    CEOID id = visibleIds[static_cast<size_t>(position)];
    if (CeSeekDatabase(hDatabase, CEDB_SEEK_CEOID, id, nullptr) != id) return;
    WORD count = 0;
    BYTE *buffer = nullptr;
    DWORD size = 0;
    if (CeReadRecordProps(hDatabase, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size) == id) {
        currentRecord = id;
        readRecordInto(reinterpret_cast<const CEPROPVAL *>(buffer), count, object);
    }
    if (buffer) LocalFree(buffer);
}

bool ObjectStore::deleteVisible(int position) {
    ObjectRecord object;
    readVisible(position, &object);
    if (!currentRecord) return true;
    bool keep = indexUsable();
    CEOID id = currentRecord;
    bool deleted = CeDeleteRecord(hDatabase, id) != FALSE;
    if (deleted && keep) {
        auto it = std::find(indexIds.begin(), indexIds.end(), id);
        if (it != indexIds.end()) {
            indexPasses.erase(indexPasses.begin() + (it - indexIds.begin()));
            indexIds.erase(it);
        }
        rebuildVisible();
    }
    restampIndex(keep);
    currentRecord = 0;
    return deleted;
}

int ObjectStore::positionOfCurrent() {
    if (!currentRecord) return 0;
    if (!indexUsable()) {
        beginIndex();
        WalkDatabase(hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
            WCHAR category[256];
            categoryOf(props, count, category);
            noteIndexed(id, category);
            return true;
        });
        endIndex();
    }
    // A current record outside the visible set gives one past the last row, which selects nothing.
    auto it = std::find(visibleIds.begin(), visibleIds.end(), currentRecord);
    return static_cast<int>(it - visibleIds.begin());
}

void ObjectStore::setEncryptFlagForCategory(const WCHAR *name, short flag) {
    // Only the flags change: order and categories, and so the index, stay as they are.
    bool keep = indexUsable();
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
    restampIndex(keep);
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
