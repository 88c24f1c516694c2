// The three lists of field titles, "Arkel-Titel1" to "Arkel-Titel3": one name database per field,
// offering the titles an object can show its fields under. Each list is seeded with its default
// title whenever it is found empty on opening.
#pragma once

#include "store/name_list.h"

// The database names are this template with its last character (the blank) replaced by the
// field's digit: "Arkel-Titel1", "Arkel-Titel2", "Arkel-Titel3".
extern const WCHAR kTitleDatabaseTemplate[];  // "Arkel-Titel "

class FieldTitleList : public NameList {
public:
    ~FieldTitleList() override;

    // Adds every non-empty text that an object of the object database holds under the property
    // number (7, 8 or 9) and the list lacks. Moves that database's read position, not the object
    // store's current record.
    void mergeTitlesFromObjects(HANDLE hObjectDatabase, WORD propertyNumber);
    // The same for one object's title in such a walk; `seen` holds the titles met before in it.
    void mergeTitle(const WCHAR *title, std::unordered_set<std::wstring> *seen);

protected:
    // openOrCreate, then the seed title when the database holds no record. Non-zero on failure.
    int openSeeded(const WCHAR *name, const WCHAR *seed);
};

class FieldTitleList1 : public FieldTitleList {
public:
    ~FieldTitleList1() override;
    int open(const WCHAR *name);  // seed "Name"
};

class FieldTitleList2 : public FieldTitleList {
public:
    ~FieldTitleList2() override;
    int open(const WCHAR *name);  // seed "Seriennummer"
};

class FieldTitleList3 : public FieldTitleList {
public:
    ~FieldTitleList3() override;
    int open(const WCHAR *name);  // seed "Bemerkung"
};
