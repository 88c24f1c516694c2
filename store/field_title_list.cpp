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
    std::unordered_set<std::wstring> seen;
    WalkDatabase(hObjectDatabase, [&](CEOID, const CEPROPVAL *props, WORD count) {
        mergeTitlesOf(props, count, propertyNumber, &seen);
        return true;
    });
}

void FieldTitleList::mergeTitlesOf(const CEPROPVAL *props, WORD count, WORD propertyNumber,
                                   std::unordered_set<std::wstring> *seen) {
    for (WORD i = 0; i < count; ++i) {
        if (PropIDFromPropID(props[i].propid) != propertyNumber) continue;
        WCHAR title[256];
        CopyStoredText(title, props[i]);
        // A title met before is in the list now; an empty or known one adds nothing.
        if (title[0] && seen->insert(title).second) addName(title);
    }
}
