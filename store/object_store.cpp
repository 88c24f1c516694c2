#include "store/object_store.h"

#include <algorithm>
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

ListedObject ReadListedObject(CEOID id, const CEPROPVAL *props, WORD count) {
    ObjectRecord object;
    ReadObjectRecord(props, count, &object);
    return ListedObject{id, object.field1, object.category, IsEncryptedRecord(props, count)};
}

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
        case numberOf(PROP_ENCRYPT): object->encrypt = StoredEncryptFlag(value); break;
        default: break;
        }
    }
}

short StoredEncryptFlag(const CEPROPVAL &value) {
    switch (TypeFromPropID(value.propid)) {
    case CEVT_I2:
    case CEVT_UI2:
    case CEVT_I4:
    case CEVT_UI4:
    case CEVT_BOOL: return static_cast<short>(value.val.ulVal & 0xFFFF);
    default: return 1;
    }
}

bool IsEncryptedRecord(const CEPROPVAL *props, WORD count) {
    for (WORD i = 0; i < count; ++i)
        if (props[i].propid == PROP_VERIFIER) return true;
    return false;
}

ObjectStore::ObjectStore(const WCHAR *filter)
    : filter(filter),
      currentRecord(0),
      blobs{},
      verifier{},
      indexFilter{},
      indexStamp(0),
      indexBuilding(false) {
    clearKeyMaterial();
}

ObjectStore::~ObjectStore() {
    clearKeyMaterial();
    wipeSearchEntries();
}

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
    lstrcpynW(indexFilter, filter, 256);
}

void ObjectStore::noteIndexed(CEOID id, const WCHAR *category) {
    if (!indexBuilding) return;
    indexIds.push_back(id);
    indexPasses.push_back(CategoryPassesFilter(filter, category) ? 1 : 0);
}

void ObjectStore::endIndex() {
    if (!indexBuilding) return;
    indexBuilding = false;
    rebuildVisible();
    indexStamp = CeDatabaseChangeStamp(hDatabase);
}

bool ObjectStore::indexUsable() {
    if (!indexStamp || indexBuilding || wcscmp(indexFilter, filter) != 0) return false;
    if (CeDatabaseChangeStamp(hDatabase) == indexStamp) return true;
    indexStamp = 0;
    return false;
}

void ObjectStore::rebuildVisible() {
    visibleIds.clear();
    if (searchOpen) {
        // The hits of a text stay until the text or the objects change; the filter's are taken
        // afresh, as the filter is read at every call.
        if (reloadSearchIfStale() || searchNeedle.empty()) matchSearch();
        for (size_t i : searchHits) visibleIds.push_back(searchEntries[i].id);
        return;
    }
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
    indexPasses.insert(indexPasses.begin() + index, CategoryPassesFilter(filter, category) ? 1 : 0);
    rebuildVisible();
    restampIndex(true);
}

void ObjectStore::ensureIndex() {
    if (indexUsable()) return;
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

void ObjectStore::readVisible(int position, ObjectRecord *object) {
    ClearObjectRecord(object);
    currentRecord = 0;
    ensureIndex();
    if (position < 0 || static_cast<size_t>(position) >= visibleIds.size()) return;
    CEOID id = visibleIds[static_cast<size_t>(position)];
    if (CeSeekDatabase(hDatabase, CEDB_SEEK_CEOID, id, nullptr) != id) return;
    WORD count = 0;
    BYTE *buffer = nullptr;
    DWORD size = 0;
    if (CeReadRecordProps(hDatabase, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size) == id) {
        currentRecord = id;
        ReadObjectRecord(reinterpret_cast<const CEPROPVAL *>(buffer), count, object);
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
    ensureIndex();
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
        // The whole buffer: a longer earlier password would otherwise leave its tail behind the
        // new terminator.
        SecureZeroMemory(passwordText, sizeof passwordText);
        wmemcpy(passwordText, password, length);
    } else {
        SecureZeroMemory(passwordText + length, sizeof passwordText - length * sizeof(WCHAR));
    }
    wipeKeys(keys);
    makePasswordKeys(std::u16string_view(reinterpret_cast<const char16_t *>(passwordText), length),
                     keys);
    if (password != passwordText) SecureZeroMemory(password, (length + 1) * sizeof(WCHAR));
}

void ObjectStore::clearKeyMaterial() {
    wipeKeys(keys);
    SecureZeroMemory(passwordText, sizeof passwordText);
}

namespace {

// A text in capitals by the user's locale, as the case-insensitive comparison of the list sees
// letters: "\u00e4" and "\u00c4" become one.
void FoldInPlace(std::wstring &text) {
    if (text.empty()) return;
    int length = static_cast<int>(text.size());
    LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), length, text.data(), length);
}

void WipeText(std::wstring &text) {
    if (!text.empty()) SecureZeroMemory(text.data(), text.size() * sizeof(WCHAR));
    text.clear();
}

}  // namespace

void ObjectStore::wipeSearchEntries() {
    for (SearchEntry &entry : searchEntries) {
        WipeText(entry.name);
        WipeText(entry.category);
        WipeText(entry.folded);
    }
    searchEntries = std::vector<SearchEntry>();
    searchHits = std::vector<size_t>();
    searchStamp = 0;
}

void ObjectStore::openSearch() {
    searchOpen = true;
    WipeText(searchNeedle);
    // The one walk of the search is made now, before the first key: every keystroke after it
    // scans memory only.
    reloadSearchIfStale();
    matchSearch();
}

void ObjectStore::closeSearch(bool forList) {
    searchOpen = false;
    WipeText(searchNeedle);
    // What the filter's list shows of every object is in the entries while the database is
    // unchanged since they were read: the list fill that follows takes it instead of a walk.
    if (forList && searchStamp && searchStamp == CeDatabaseChangeStamp(hDatabase)) {
        std::vector<ListedObject> listing;
        listing.reserve(searchEntries.size());
        for (const SearchEntry &entry : searchEntries)
            listing.push_back(ListedObject{entry.id, entry.name, entry.category, entry.encrypted});
        keepListing(std::move(listing));
    }
    wipeSearchEntries();
    // The filter's visible set comes back with the list's fill.
    visibleIds.clear();
    indexStamp = 0;
}

// Reads every object again when the database changed since the entries were read. True when
// it did.
bool ObjectStore::reloadSearchIfStale() {
    ULONGLONG stamp = CeDatabaseChangeStamp(hDatabase);
    if (searchStamp && stamp == searchStamp) return false;
    wipeSearchEntries();
    // Only the texts the search reads, and the verifier that marks an encrypted record.
    static const CEPROPID kSearched[] = {PROP_FIELD1, PROP_FIELD2, PROP_FIELD3, PROP_CATEGORY,
                                         PROP_VERIFIER};
    WCHAR texts[4][256];
    WalkDatabase(
        hDatabase,
        [&](CEOID id, const CEPROPVAL *props, WORD count) {
            bool encrypted = false;
            for (auto &text : texts) text[0] = 0;
            for (WORD i = 0; i < count; ++i) {
                if (props[i].wFlags & CEDB_PROPNOTFOUND) continue;
                if (props[i].propid == PROP_VERIFIER) encrypted = true;
                for (int n = 0; n < 4; ++n)
                    if (props[i].propid == kSearched[n]) CopyStoredText(texts[n], props[i]);
            }
            SearchEntry entry{id, encrypted, texts[0], texts[3], std::wstring()};
            // An encrypted record's texts are no words: it matches no text.
            if (!encrypted) {
                entry.folded.reserve(wcslen(texts[0]) + wcslen(texts[1]) + wcslen(texts[2]) +
                                     entry.category.size() + 3);
                for (int n = 0; n < 3; ++n) {
                    entry.folded += texts[n];
                    entry.folded += L'\u0001';
                }
                entry.folded += texts[3];
                FoldInPlace(entry.folded);
            }
            searchEntries.push_back(std::move(entry));
            return true;
        },
        kSearched, 5);
    SecureZeroMemory(texts, sizeof texts);
    searchStamp = stamp;
    return true;
}

// Puts the visible set's entries into searchHits: those holding the search text, or without a
// text those that pass the category filter.
void ObjectStore::matchSearch() {
    searchHits.clear();
    for (size_t i = 0; i < searchEntries.size(); ++i) {
        const SearchEntry &entry = searchEntries[i];
        bool visible = searchNeedle.empty() ? CategoryPassesFilter(filter, entry.category.c_str())
                                            : entry.folded.find(searchNeedle) != std::wstring::npos;
        if (visible) searchHits.push_back(i);
    }
}

size_t ObjectStore::setSearch(const WCHAR *text) {
    if (!searchOpen) return visibleIds.size();
    std::wstring needle(text, wcsnlen(text, 255));
    FoldInPlace(needle);
    ULONGLONG stamp = CeDatabaseChangeStamp(hDatabase);
    // A text that extends the last one (typing on) finds a part of the last hits: only those are
    // looked at again.
    bool narrowing = searchStamp && stamp == searchStamp && !searchNeedle.empty() &&
                     needle.find(searchNeedle) != std::wstring::npos;
    WipeText(searchNeedle);
    searchNeedle = std::move(needle);
    if (narrowing) {
        size_t kept = 0;
        for (size_t i : searchHits)
            if (searchEntries[i].folded.find(searchNeedle) != std::wstring::npos)
                searchHits[kept++] = i;
        searchHits.resize(kept);
    } else {
        reloadSearchIfStale();
        matchSearch();
    }
    visibleIds.clear();
    for (size_t i : searchHits) visibleIds.push_back(searchEntries[i].id);
    return visibleIds.size();
}

void ObjectStore::visibleNames(std::vector<const WCHAR *> *names, const WCHAR *encryptedName) {
    names->clear();
    if (!searchOpen) return;
    rebuildVisible();
    names->reserve(searchHits.size());
    for (size_t i : searchHits) {
        names->push_back(searchEntries[i].encrypted ? encryptedName
                                                    : searchEntries[i].name.c_str());
    }
}
