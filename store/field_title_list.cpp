#include "store/field_title_list.h"

#include "store/object_store.h"

const WCHAR kTitleDatabaseTemplate[] = L"Arkel-Titel ";

FieldTitleList::~FieldTitleList() = default;
FieldTitleList1::~FieldTitleList1() = default;
FieldTitleList2::~FieldTitleList2() = default;
FieldTitleList3::~FieldTitleList3() = default;

int FieldTitleList::openSeeded(const WCHAR *name, const WCHAR *seed) {
    int failed = openOrCreate(name);
    // A count of -1 (information unreadable) is not an empty list.
    if (!failed && recordCount() == 0) addName(seed);
    return failed;
}

int FieldTitleList1::open(const WCHAR *name) { return openSeeded(name, kDefaultTitle1); }
int FieldTitleList2::open(const WCHAR *name) { return openSeeded(name, kDefaultTitle2); }
int FieldTitleList3::open(const WCHAR *name) { return openSeeded(name, kDefaultTitle3); }

void FieldTitleList::mergeTitlesFromObjects(HANDLE hObjectDatabase, WORD propertyNumber) {
    ObjectRecord object;
    const WCHAR *title = propertyNumber == PropIDFromPropID(PROP_TITLE1)   ? object.title1
                         : propertyNumber == PropIDFromPropID(PROP_TITLE2) ? object.title2
                         : propertyNumber == PropIDFromPropID(PROP_TITLE3) ? object.title3
                                                                           : nullptr;
    if (!title) return;
    std::unordered_set<std::wstring> seen;
    WalkDatabase(hObjectDatabase, [&](CEOID, const CEPROPVAL *props, WORD count) {
        // A title the object lacks reads as empty and adds nothing.
        ReadObjectRecord(props, count, &object, AbsentTitles::Empty);
        mergeTitle(title, &seen);
        return true;
    });
}

void FieldTitleList::mergeTitle(const WCHAR *title, std::unordered_set<std::wstring> *seen) {
    // An empty title adds nothing; one met before is in the list now.
    if (title[0] && seen->insert(title).second) addName(title);
}
