// The object database "Arkel": one record per object, sorted on the text of field 1.
#pragma once

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
    ObjectStore();
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

    CEOID currentRecord;  // 0: none
    BlobSlot blobs[7];
    VerifierSlot verifier;
};

// Empty texts and category, encrypt flag 1, the three default titles.
void ClearObjectRecord(ObjectRecord *object);
