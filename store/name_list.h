// Databases of unique names: the category store "Arkel-Kategorien" and, through the field title
// lists, "Arkel-Titel1" to "Arkel-Titel3".
//
// Every record holds its name in property 4, the database's only sort key (ascending, letter case
// ignored, compared like a sorted list box compares its entries). Names are unique regardless of
// letter case, so a sorted list box or combo box filled with fillControl has every name at the
// same position as the database; deleteAt relies on that.
#pragma once

#include <string>
#include <unordered_set>

#include "store/property_database.h"

// Property ids of a name record (number in the upper half, type in the lower half).
constexpr CEPROPID PROP_NAME = 0x0004001F;            // the name; sort key
constexpr CEPROPID PROP_DEFAULT_TITLE1 = 0x0007001F;  // categories: default title of field 1
constexpr CEPROPID PROP_DEFAULT_TITLE2 = 0x0008001F;
constexpr CEPROPID PROP_DEFAULT_TITLE3 = 0x0009001F;
constexpr CEPROPID PROP_DEFAULT_ENCRYPT = 0x000A0003;  // categories: 32-bit, 0 or 1

extern const WCHAR kCategoryDatabase[];  // "Arkel-Kategorien"

// A category in memory. Texts hold at most 255 units and a terminator.
struct CategoryRecord {
    WCHAR name[256];
    WCHAR title1[256];
    WCHAR title2[256];
    WCHAR title3[256];
    short encrypt;  // default-encrypt flag, 0 or 1
};

class NameList : public PropertyDatabase {
public:
    NameList();
    ~NameList() override;

    // Opens the database by name, creating it when it does not exist. Non-zero when the handle is
    // invalid afterwards. *created (when given) tells whether this call created the database.
    int openOrCreate(const WCHAR *name, BOOL *created = nullptr);

    // Adds a record holding only the name, unless the name is empty or stored already in any
    // letter case. lastResult: the new record, or 0 when nothing was added.
    void addName(const WCHAR *name);

    // The record with that name in any letter case (0: none), also kept as lastResult; after a
    // find the next read returns that record.
    CEOID findName(const WCHAR *name);

    // Deletes the record at a position in database order (from 0); a position past the end (or
    // negative, as LB_ERR) deletes nothing. lastResult becomes 0 when a record was deleted.
    void deleteAt(int position);

    // Sends resetMessage to the window, then addMessage (wParam 0, lParam the name) for every
    // stored name in database order.
    void fillControl(HWND window, UINT resetMessage, UINT addMessage);

    // ---- The category store ----

    // openOrCreate; a database created by this call receives the legacy categories.
    int openCategories(const WCHAR *name);

    // fillControl, then " - Alle -" and " - Ohne -" (also when no category is stored).
    void fillCategoryControl(HWND window, UINT resetMessage, UINT addMessage);

    // The titles and default-encrypt flag of a category; empty titles and flag 1 when it is not
    // stored or lacks them. The titles are buffers of 256 units. Leaves lastResult as findName.
    void readCategory(const WCHAR *name, WCHAR *title1, WCHAR *title2, WCHAR *title3,
                      short *encrypt);

    // Writes name, titles and flag to the record named by lastResult, which must come from an
    // addName that added, a findName or a readCategory. Does nothing while lastResult is 0.
    // lastResult: the id written (0 when the write failed).
    void writeCategory(const WCHAR *name, const WCHAR *title1, const WCHAR *title2,
                       const WCHAR *title3, short encrypt);

    // Adds every category that an object of the object database names; a category added this way
    // takes the titles and the flag of the first such object in the object database's order.
    // Moves that database's read position, not the object store's current record.
    void mergeCategoriesFromObjects(HANDLE hObjectDatabase);
    // The same for one object of such a walk (read with empty titles where it has none); `seen`
    // holds the categories met before in the walk (exactly as written), so that a name repeated
    // by many objects costs no second look-up.
    void mergeCategory(const struct ObjectRecord &object, std::unordered_set<std::wstring> *seen);

    CEOID lastResult;  // record most recently found, added or written; 0 as described above
};
