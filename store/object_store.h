// The object database "Arkel": one record per object, sorted on the text of field 1.
#pragma once

#include <string>
#include <vector>

#include "store/property_database.h"

// Property ids of the object record (number in the upper half, type in the lower half).
constexpr CEPROPID PROP_FIELD1 = 0x0001001F;
constexpr CEPROPID PROP_FIELD2 = 0x0002001F;
constexpr CEPROPID PROP_FIELD3 = 0x0003001F;
constexpr CEPROPID PROP_CATEGORY = 0x0004001F;
constexpr CEPROPID PROP_TITLE1 = 0x0007001F;
constexpr CEPROPID PROP_TITLE2 = 0x0008001F;
constexpr CEPROPID PROP_TITLE3 = 0x0009001F;
constexpr CEPROPID PROP_ENCRYPT = 0x000A0002;
constexpr CEPROPID PROP_VERIFIER = 0x01060041;

extern const WCHAR kDefaultTitle1[];  // "Name"
extern const WCHAR kDefaultTitle2[];  // "Seriennummer"
extern const WCHAR kDefaultTitle3[];  // "Bemerkung"

// The two filters with a meaning of their own; any other filter is a category name.
extern const WCHAR kFilterAll[];   // " - Alle -": every object
extern const WCHAR kFilterNone[];  // " - Ohne -": the objects without a category

// The category filter's rule: " - Alle -" passes every object, " - Ohne -" the objects whose
// category is empty (absent counts as empty), any other filter the objects whose category equals
// it exactly, letter case included.
bool CategoryPassesFilter(const WCHAR *filter, const WCHAR *category);

// The in-memory object. Texts hold at most 255 units and a terminator.
struct ObjectRecord {
    WCHAR field1[256];
    WCHAR field2[256];
    WCHAR field3[256];
    WCHAR category[256];  // empty: no category
    short encrypt;        // 1: stored encrypted while encryption is in use
    WCHAR title1[256];
    WCHAR title2[256];
    WCHAR title3[256];
};

// What the object list shows of an object and needs to filter it.
struct ListedObject {
    CEOID id;
    std::wstring name;      // field 1
    std::wstring category;  // empty: none
    bool encrypted;         // carries the password verifier
};

// One record's encrypted texts during a bulk pass.
struct BlobSlot {
    DWORD length;
    BYTE data[512];
};
struct VerifierSlot {
    DWORD length;
    BYTE data[32];
};

class ObjectStore : public PropertyDatabase {
public:
    // filter: the category filter that decides the visible set (the shell's currentCategory);
    // the store reads it at every call and never writes it.
    explicit ObjectStore(const WCHAR *filter = kFilterAll);
    ~ObjectStore() override;

    // Opens the database, creating it on first use. Non-zero when the store cannot be used.
    int open(const WCHAR *name);

    CEOID addObject(const ObjectRecord &object);
    CEOID updateCurrent(const ObjectRecord &object);
    void readVisible(int position, ObjectRecord *object);
    // False when the record at the position could not be deleted (nothing there is no failure).
    bool deleteVisible(int position);
    int positionOfCurrent();
    void setEncryptFlagForCategory(const WCHAR *name, short flag);
    // Takes a password (up to 128 units and a terminator): keeps a copy of it, makes the three keys
    // from its thirds, and overwrites the caller's buffer with zeros over the password and its
    // terminator.
    void setPassword(WCHAR *password);
    void clearKeyMaterial();

    const WCHAR *filter;
    CEOID currentRecord;  // 0: none
    BlobSlot blobs[7];
    VerifierSlot verifier;

    // The position index: every record in database order with whether it passes the filter, as
    // the last full walk found them and the store's own writes have kept them since. With it,
    // reading the object at a list position, the position of the current record and deleting at
    // a position go straight to the record. It holds while the filter is the one it was built
    // for and nothing else has written to the database (CeDatabaseChangeStamp).
    // The list fill builds it: beginIndex, noteIndexed for every record walked, endIndex.
    void beginIndex();
    void noteIndexed(CEOID id, const WCHAR *category);
    void endIndex();

    // A walk over every object (the name merge) hands over what the list shows of each, so that
    // the list fill that follows takes it instead of walking again; takeListing gives it only
    // while the database is unchanged since (and only once).
    void keepListing(std::vector<ListedObject> &&listing);
    bool takeListing(std::vector<ListedObject> *listing);

    // The search. While it is open, the store keeps every object's list text and its searchable
    // texts (fields 1 to 3 and the category, in capitals) in memory, so that a keystroke costs a
    // scan of memory and no walk of the database; they are taken again after any write, and
    // wiped when the search closes. With an empty search text the visible set is the category
    // filter's; with a text it is every object, of any category, whose field 1, 2 or 3 or
    // category contains the text without regard to letter case (so "ä" finds "Ä").
    void openSearch();
    // The search text (at most 255 units); returns the number of objects in the visible set.
    size_t setSearch(const WCHAR *text);
    // forList: the list is filled next, from what the search read (false when the store closes).
    void closeSearch(bool forList = true);
    bool searchIsOpen() const { return searchOpen; }
    // While the search is open: the list text of every object of the visible set, in list order
    // (an object still encrypted by the name given for it). The texts stay valid until the
    // store's next call.
    void visibleNames(std::vector<const WCHAR *> *names, const WCHAR *encryptedName);

private:
    struct SearchEntry {
        CEOID id;
        bool encrypted;
        std::wstring name;      // field 1 as the list shows it
        std::wstring category;  // as stored, for the category filter
        std::wstring folded;    // fields 1, 2, 3 and the category in capitals, separated by U+0001
    };
    std::vector<SearchEntry> searchEntries;  // every object in database order
    std::vector<size_t> searchHits;          // entries in the visible set while a text is set
    std::wstring searchNeedle;               // the search text in capitals; empty: the filter
    ULONGLONG searchStamp = 0;               // 0: the entries are to be read again
    bool searchOpen = false;
    bool reloadSearchIfStale();
    void matchSearch();
    void wipeSearchEntries();

    std::vector<ListedObject> keptListing;
    ULONGLONG listingStamp = 0;
    bool indexUsable();
    // Builds the index by a walk when it is not usable.
    void ensureIndex();
    void restampIndex(bool keep);
    void indexAfterWrite(CEOID id, const WCHAR *category, bool keep);
    void rebuildVisible();
    std::vector<CEOID> indexIds;
    std::vector<unsigned char> indexPasses;
    std::vector<CEOID> visibleIds;
    WCHAR indexFilter[256];
    ULONGLONG indexStamp;  // 0: no index
    bool indexBuilding;
};

// What the object list takes from a stored object (properties marked CEDB_PROPNOTFOUND are
// absent).
ListedObject ReadListedObject(CEOID id, const CEPROPVAL *props, WORD count);

// Empty texts and category, encrypt flag 1, the three default titles.
void ClearObjectRecord(ObjectRecord *object);

// What a field title that a stored record lacks reads as: its default title ("Name",
// "Seriennummer", "Bemerkung") where an object is shown or edited, or empty where only the titles
// an object names itself count (the merges into the category store and the title lists).
enum class AbsentTitles { Default, Empty };

// Turns a stored object record into an ObjectRecord. Properties are known by their number alone
// (PROP_FIELD1 ... PROP_ENCRYPT); others are ignored. Nothing of what *object held before stays:
// an absent text or category is empty, an absent flag 1, an absent title as `absent` says. A text
// stored in another type reads as empty, one longer than 255 units is cut; when a number occurs
// twice, the first occurrence counts.
void ReadObjectRecord(const CEPROPVAL *props, WORD count, ObjectRecord *object,
                      AbsentTitles absent = AbsentTitles::Default);

// The encrypt flag of a stored property whose number is PROP_ENCRYPT's: a signed 16-bit value;
// any integer type gives its low 16 bits, another type (which no writer of ours uses) reads as 1.
// Every reader of the flag (the list, the editor, the closing pass) goes through here, so that a
// flag means the same to all of them.
short StoredEncryptFlag(const CEPROPVAL &value);

// True for a record in its encrypted form: it carries the password verifier blob.
bool IsEncryptedRecord(const CEPROPVAL *props, WORD count);
