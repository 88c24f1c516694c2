// Name databases on a real volume: unique names in list-box order, the category record, the merge
// of the names that objects use, and the seeding of the field title lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/cedb.h"
#include "store/field_title_list.h"
#include "store/name_list.h"
#include "store/object_store.h"
#include "harness/win/test_env.h"

namespace {

using Names = std::vector<std::wstring>;

class NameListTest : public FreshStore {
protected:
    void SetUp() override {
        FreshStore::SetUp();
        ASSERT_EQ(names.openOrCreate(L"Namen"), 0);
    }
    void TearDown() override {
        if (names.hDatabase != INVALID_HANDLE_VALUE) CloseHandle(names.hDatabase);
        names.hDatabase = INVALID_HANDLE_VALUE;
        FreshStore::TearDown();
    }
    NameList names;
};

// Every record of a database in its order, as (id, properties) with the texts copied out.
struct StoredProp {
    CEPROPID propid;
    std::wstring text;
    long number;
    bool operator==(const StoredProp &) const = default;
};
struct StoredRecord {
    CEOID id;
    std::vector<StoredProp> props;
};
std::vector<StoredRecord> ReadAll(HANDLE h) {
    std::vector<StoredRecord> all;
    WalkDatabase(h, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        StoredRecord r{id, {}};
        for (WORD i = 0; i < count; ++i) {
            StoredProp p{props[i].propid, L"", 0};
            if (TypeFromPropID(props[i].propid) == CEVT_LPWSTR)
                p.text = props[i].val.lpwstr;
            else
                p.number = props[i].val.lVal;
            r.props.push_back(p);
        }
        all.push_back(r);
        return true;
    });
    return all;
}

Names StoredNames(HANDLE h) {
    Names out;
    for (const StoredRecord &r : ReadAll(h))
        for (const StoredProp &p : r.props)
            if (p.propid == PROP_NAME) out.push_back(p.text);
    return out;
}

// A hidden window of a class that sorts its entries, as the dialogs' lists do.
struct SortedControl {
    explicit SortedControl(bool combo)
        : combo(combo),
          hwnd(CreateWindowExW(0, combo ? L"COMBOBOX" : L"LISTBOX", L"",
                               WS_POPUP | (combo ? CBS_SORT | CBS_DROPDOWNLIST : LBS_SORT), 0, 0,
                               200, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {}
    ~SortedControl() { DestroyWindow(hwnd); }
    UINT reset() const { return combo ? CB_RESETCONTENT : LB_RESETCONTENT; }
    UINT add() const { return combo ? CB_ADDSTRING : LB_ADDSTRING; }
    Names entries() const {
        Names out;
        int n = static_cast<int>(SendMessageW(hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            WCHAR text[256] = {};
            SendMessageW(hwnd, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                         reinterpret_cast<LPARAM>(text));
            out.push_back(text);
        }
        return out;
    }
    bool combo;
    HWND hwnd;
};

CEPROPVAL Text(CEPROPID id, const wchar_t *value) {
    CEPROPVAL v{};
    v.propid = id;
    v.val.lpwstr = const_cast<LPWSTR>(value);
    return v;
}

CEOID WriteRaw(HANDLE h, std::vector<CEPROPVAL> props) {
    return CeWriteRecordProps(h, 0, static_cast<WORD>(props.size()), props.data());
}

// Names that differ in letter case, accents, umlauts and leading characters. Deleting by list
// position removes the right record only when the list and the database agree everywhere.
TEST_F(NameListTest, ASortedListBoxAndTheDatabaseAgreePositionByPosition) {
    const wchar_t *input[] = {
        L"Zebra",
        L"apfel",
        L"Äpfel",
        L"Apfelmus",
        L"ärger",
        L"Arg",
        L"Öl",
        L"oel",
        L"Ol",
        L"Zürich",
        L"zurich",
        L"Übel",
        L"uebel",
        L"ß",
        L"Strasse",
        L"Straße",
        L"é",
        L"e",
        L"ê",
        L"Ecke",
        L"Œuvre",
        L"ø",
        L" Leerzeichen",
        L"  zwei Leerzeichen",
        L"-Strich",
        L"co-op",
        L"coop",
        L"_Unterstrich",
        L"'Apostroph",
        L"(Klammer",
        L"#Raute",
        L"1Zahl",
        L"10",
        L"9",
        L"~Tilde",
        L"Ångström",
        L"angstrom",
        L"İstanbul",
        L"istanbul",
        L"Ñandú",
        L"nandu",
        L"é" /* e with combining accent */,
        L"\u00A0geschützt",
        L"zebra",
        L"ÄPFEL",
        L"öl",
    };
    for (const wchar_t *name : input) names.addName(name);
    Names stored = StoredNames(names.hDatabase);
    ASSERT_GE(stored.size(), 30u) << "most of these names are distinct";

    for (bool combo : {false, true}) {
        SortedControl control(combo);
        names.fillControl(control.hwnd, control.reset(), control.add());
        EXPECT_EQ(control.entries(), stored) << (combo ? "combo box" : "list box");
    }

    // Delete by list position, from the middle, until nothing is left; after each deletion the
    // list filled again still agrees with the database, and the right name went.
    SortedControl list(false);
    while (!stored.empty()) {
        names.fillControl(list.hwnd, list.reset(), list.add());
        ASSERT_EQ(list.entries(), stored);
        int position = static_cast<int>(stored.size() / 2);
        names.deleteAt(position);
        EXPECT_EQ(names.lastResult, 0u);
        stored.erase(stored.begin() + position);
        ASSERT_EQ(StoredNames(names.hDatabase), stored);
    }
    names.fillControl(list.hwnd, list.reset(), list.add());
    EXPECT_TRUE(list.entries().empty()) << "an empty database leaves the control empty";
}

TEST_F(NameListTest, AddNameRefusesEmptyNamesAndNamesThatDifferOnlyInCase) {
    names.addName(L"Bank");
    CEOID bank = names.lastResult;
    ASSERT_NE(bank, 0u);

    struct Case {
        const wchar_t *name;
        bool added;
    } cases[] = {
        {L"", false},    {L"bank", false}, {L"BANK", false},  {L"bAnK", false},
        {L"Bänk", true}, {L"Bank ", true}, {L"Banken", true}, {L"BÄNK", false},
    };
    for (const Case &c : cases) {
        names.lastResult = 12345;
        int before = names.recordCount();
        names.addName(c.name);
        if (c.added) {
            EXPECT_NE(names.lastResult, 0u) << Utf8(c.name);
            EXPECT_EQ(names.recordCount(), before + 1) << Utf8(c.name);
        } else {
            EXPECT_EQ(names.lastResult, 0u) << Utf8(c.name);
            EXPECT_EQ(names.recordCount(), before) << Utf8(c.name);
        }
    }
    Names stored = StoredNames(names.hDatabase);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (Names{L"Bank", L"Bank ", L"Banken", L"Bänk"}));

    // A new record holds nothing but its name.
    std::vector<StoredRecord> all = ReadAll(names.hDatabase);
    ASSERT_EQ(all[0].props.size(), 1u);
    EXPECT_EQ(all[0].props[0], (StoredProp{PROP_NAME, L"Bank", 0}));

    EXPECT_EQ(names.findName(L"BANK"), bank) << "found in any letter case";
    EXPECT_EQ(names.lastResult, bank);
    EXPECT_EQ(names.findName(L"Bankkonto"), 0u);
    EXPECT_EQ(names.lastResult, 0u);

    names.deleteAt(4);   // past the end
    names.deleteAt(-1);  // no selection
    EXPECT_EQ(names.recordCount(), 4);
}

// What readCategory gives for a name.
struct Read {
    std::wstring t1, t2, t3;
    short flag;
    bool operator==(const Read &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Read &r) {
    return os << "{" << Utf8(r.t1) << ", " << Utf8(r.t2) << ", " << Utf8(r.t3) << ", " << r.flag
              << "}";
}

class CategoryTest : public FreshStore {
protected:
    void SetUp() override {
        FreshStore::SetUp();
        lstrcpyW(currentCategory, kFilterAll);
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
        ASSERT_EQ(categoryStore.openCategories(kCategoryDatabase), 0);
    }
    Read read(const wchar_t *name) {
        WCHAR t1[256], t2[256], t3[256];
        short flag = -7;
        lstrcpyW(t1, L"stale");
        lstrcpyW(t2, L"stale");
        lstrcpyW(t3, L"stale");
        categoryStore.readCategory(name, t1, t2, t3, &flag);
        return {t1, t2, t3, flag};
    }
};

TEST_F(CategoryTest, AStoredCategoryIsFiveProperties) {
    categoryStore.addName(L"Bank");
    categoryStore.writeCategory(L"Bank", L"Konto", L"BLZ", L"PIN", 0);
    CEOID written = categoryStore.lastResult;
    ASSERT_NE(written, 0u);
    std::vector<StoredRecord> all = ReadAll(categoryStore.hDatabase);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].id, written);
    EXPECT_EQ(all[0].props, (std::vector<StoredProp>{{0x0004001F, L"Bank", 0},
                                                     {0x0007001F, L"Konto", 0},
                                                     {0x0008001F, L"BLZ", 0},
                                                     {0x0009001F, L"PIN", 0},
                                                     {0x000A0003, L"", 0}}));
    EXPECT_EQ(read(L"bank"), (Read{L"Konto", L"BLZ", L"PIN", 0}));
}

TEST_F(CategoryTest, MissingPropertiesAndMissingCategoriesReadAsEmptyTitlesAndFlagOne) {
    categoryStore.addName(L"Nur Name");
    EXPECT_EQ(read(L"Nur Name"), (Read{L"", L"", L"", 1}));
    EXPECT_EQ(read(L"Gibt es nicht"), (Read{L"", L"", L"", 1}));
    EXPECT_EQ(categoryStore.lastResult, 0u);

    // The flag is read from the low 16 bits, whatever integer type another program wrote.
    CEPROPVAL flagI2{};
    flagI2.propid = 0x000A0002;
    flagI2.val.iVal = 0;
    WriteRaw(categoryStore.hDatabase, {Text(PROP_NAME, L"Kurz"), flagI2});
    CEPROPVAL flagI4{};
    flagI4.propid = 0x000A0003;
    flagI4.val.lVal = 0x00010000;  // low half 0
    WriteRaw(categoryStore.hDatabase,
             {Text(PROP_NAME, L"Lang"), Text(PROP_DEFAULT_TITLE2, L"Nr"), flagI4});
    EXPECT_EQ(read(L"kurz"), (Read{L"", L"", L"", 0}));
    EXPECT_EQ(read(L"Lang"), (Read{L"", L"Nr", L"", 0}));
}

// writeCategory writes to the record the last addName, findName or readCategory left.
TEST_F(CategoryTest, WriteCategoryWritesOnlyWhereTheLastResultPoints) {
    categoryStore.addName(L"Bank");
    categoryStore.writeCategory(L"Bank", L"Konto", L"BLZ", L"PIN", 0);
    const Read original{L"Konto", L"BLZ", L"PIN", 0};

    // An addName that found the name leaves nothing to write to.
    categoryStore.addName(L"bank");
    categoryStore.writeCategory(L"bank", L"X", L"Y", L"Z", 1);
    EXPECT_EQ(categoryStore.lastResult, 0u);
    EXPECT_EQ(read(L"Bank"), original);

    // Neither does a findName that found nothing: no record appears.
    categoryStore.findName(L"Auto");
    categoryStore.writeCategory(L"Auto", L"X", L"Y", L"Z", 1);
    EXPECT_EQ(categoryStore.recordCount(), 1);

    // Nor a deletion.
    categoryStore.addName(L"Weg");
    categoryStore.deleteAt(1);
    categoryStore.writeCategory(L"Weg", L"X", L"Y", L"Z", 1);
    EXPECT_EQ(StoredNames(categoryStore.hDatabase), (Names{L"Bank"}));

    // findName in another letter case overwrites the stored record, name included.
    categoryStore.findName(L"BANK");
    categoryStore.writeCategory(L"BANK", L"Konto2", L"BLZ2", L"PIN2", 1);
    EXPECT_EQ(StoredNames(categoryStore.hDatabase), (Names{L"BANK"}));
    EXPECT_EQ(read(L"bank"), (Read{L"Konto2", L"BLZ2", L"PIN2", 1}));

    // readCategory leaves the record it read as the target.
    read(L"Bank");
    categoryStore.writeCategory(L"Bank", L"a", L"b", L"c", 0);
    EXPECT_EQ(categoryStore.recordCount(), 1);
    EXPECT_EQ(read(L"Bank"), (Read{L"a", L"b", L"c", 0}));
}

TEST_F(CategoryTest, FillCategoryControlAddsTheTwoFilterEntriesAlsoToAnEmptyStore) {
    HWND plain = CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SendMessageW(plain, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"alt"));
    auto entries = [&] {
        Names out;
        int n = static_cast<int>(SendMessageW(plain, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            WCHAR text[256] = {};
            SendMessageW(plain, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            out.push_back(text);
        }
        return out;
    };
    categoryStore.fillCategoryControl(plain, LB_RESETCONTENT, LB_ADDSTRING);
    EXPECT_EQ(entries(), (Names{L" - Alle -", L" - Ohne -"}));

    categoryStore.addName(L"Bank");
    categoryStore.addName(L"Auto");
    categoryStore.fillCategoryControl(plain, LB_RESETCONTENT, LB_ADDSTRING);
    EXPECT_EQ(entries(), (Names{L"Auto", L"Bank", L" - Alle -", L" - Ohne -"}));
    DestroyWindow(plain);

    SortedControl combo(true);
    categoryStore.fillCategoryControl(combo.hwnd, CB_RESETCONTENT, CB_ADDSTRING);
    EXPECT_EQ(combo.entries(), (Names{L" - Alle -", L" - Ohne -", L"Auto", L"Bank"}));
}

ObjectRecord Object(const wchar_t *name, const wchar_t *category, const wchar_t *t1,
                    const wchar_t *t2, const wchar_t *t3, short flag) {
    ObjectRecord o;
    ClearObjectRecord(&o);
    lstrcpyW(o.field1, name);
    lstrcpyW(o.category, category);
    lstrcpyW(o.title1, t1);
    lstrcpyW(o.title2, t2);
    lstrcpyW(o.title3, t3);
    o.encrypt = flag;
    return o;
}

TEST_F(CategoryTest, TheMergeAddsEveryCategoryWithTheTitlesOfItsFirstObject) {
    // Store order is field 1 order: "a…" comes first whatever the order of writing.
    objectStore.addObject(Object(L"b-zweites", L"Bank", L"Zweit1", L"Zweit2", L"Zweit3", 1));
    objectStore.addObject(Object(L"a-erstes", L"Bank", L"Konto", L"BLZ", L"PIN", 0));
    objectStore.addObject(Object(L"c-ohne", L"", L"Leer1", L"Leer2", L"Leer3", 0));
    objectStore.addObject(Object(L"d-geld", L"geld", L"G1", L"G2", L"G3", 0));
    // An object written by another program: a category, no titles, no flag.
    WriteRaw(objectStore.hDatabase, {Text(PROP_FIELD1, L"e-roh"), Text(PROP_CATEGORY, L"Auto")});
    // An encrypted object: no plain category, nothing to add.
    CEPROPVAL blob{};
    blob.propid = 0x01040041;
    BYTE bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    blob.val.blob = {8, bytes};
    WriteRaw(objectStore.hDatabase, {blob});

    // A stored category in another letter case keeps its own record.
    categoryStore.addName(L"Geld");
    categoryStore.writeCategory(L"Geld", L"Alt1", L"Alt2", L"Alt3", 1);

    ObjectRecord shown;
    objectStore.readVisible(2, &shown);
    CEOID current = objectStore.currentRecord;
    categoryStore.mergeCategoriesFromObjects(objectStore.hDatabase);
    EXPECT_EQ(objectStore.currentRecord, current) << "the merge leaves the current record";

    EXPECT_EQ(StoredNames(categoryStore.hDatabase), (Names{L"Auto", L"Bank", L"Geld"}));
    EXPECT_EQ(read(L"Bank"), (Read{L"Konto", L"BLZ", L"PIN", 0}));
    EXPECT_EQ(read(L"Auto"), (Read{L"", L"", L"", 1}));
    EXPECT_EQ(read(L"Geld"), (Read{L"Alt1", L"Alt2", L"Alt3", 1}));

    // A deleted category that objects still name comes back from its first object.
    categoryStore.deleteAt(1);
    EXPECT_EQ(StoredNames(categoryStore.hDatabase), (Names{L"Auto", L"Geld"}));
    categoryStore.mergeCategoriesFromObjects(objectStore.hDatabase);
    EXPECT_EQ(read(L"Bank"), (Read{L"Konto", L"BLZ", L"PIN", 0}));
    EXPECT_EQ(categoryStore.recordCount(), 3) << "merging twice adds nothing more";
}

TEST_F(CategoryTest, TheTitleMergeAddsEachUsedTitleOnceAndNoEmptyOne) {
    FieldTitleList1 list;
    ASSERT_EQ(list.open(L"Arkel-Titel1"), 0);
    objectStore.addObject(Object(L"a", L"", L"Konto", L"Nummer", L"", 1));
    objectStore.addObject(Object(L"b", L"", L"konto", L"", L"Notiz", 1));
    objectStore.addObject(Object(L"c", L"", L"", L"Nummer", L"Notiz", 1));
    objectStore.addObject(Object(L"d", L"", L"Zugang", L"", L"", 1));
    WriteRaw(objectStore.hDatabase, {Text(PROP_FIELD1, L"e"), Text(PROP_TITLE3, L"Nur drei")});

    list.mergeTitlesFromObjects(objectStore.hDatabase, 7);
    EXPECT_EQ(StoredNames(list.hDatabase), (Names{L"Konto", L"Name", L"Zugang"}));
    list.mergeTitlesFromObjects(objectStore.hDatabase, 9);
    EXPECT_EQ(StoredNames(list.hDatabase),
              (Names{L"Konto", L"Name", L"Notiz", L"Nur drei", L"Zugang"}));
    CloseHandle(list.hDatabase);
    list.hDatabase = INVALID_HANDLE_VALUE;
}

// Each list holds only its seed after the first opening, keeps what the user made of it, and
// gets the seed again once the user emptied it.
class TitleListTest : public FreshStore {};

TEST_F(TitleListTest, ListsAreSeededWhenEmptyAndOnlyThen) {
    FieldTitleList1 l1;
    FieldTitleList2 l2;
    FieldTitleList3 l3;
    struct Case {
        NameList *list;
        const wchar_t *database;
        const wchar_t *seed;
        std::function<int()> open;
    } cases[] = {
        {&l1, L"Arkel-Titel1", L"Name", [&] { return l1.open(L"Arkel-Titel1"); }},
        {&l2, L"Arkel-Titel2", L"Seriennummer", [&] { return l2.open(L"Arkel-Titel2"); }},
        {&l3, L"Arkel-Titel3", L"Bemerkung", [&] { return l3.open(L"Arkel-Titel3"); }},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(Utf8(c.database));
        auto reopen = [&] {
            if (c.list->hDatabase != INVALID_HANDLE_VALUE) CloseHandle(c.list->hDatabase);
            c.list->hDatabase = INVALID_HANDLE_VALUE;
            ASSERT_EQ(c.open(), 0);
        };
        reopen();
        EXPECT_EQ(StoredNames(c.list->hDatabase), (Names{c.seed}));

        // The user replaces the seed by a title of their own: no seed at the next start.
        c.list->addName(L"Eigener Titel");
        Names now = StoredNames(c.list->hDatabase);
        c.list->deleteAt(static_cast<int>(std::find(now.begin(), now.end(), c.seed) - now.begin()));
        EXPECT_EQ(StoredNames(c.list->hDatabase), (Names{L"Eigener Titel"}));
        reopen();
        EXPECT_EQ(StoredNames(c.list->hDatabase), (Names{L"Eigener Titel"}));

        // The user empties the list: the seed is back at the next start.
        c.list->deleteAt(0);
        EXPECT_EQ(c.list->recordCount(), 0);
        reopen();
        EXPECT_EQ(StoredNames(c.list->hDatabase), (Names{c.seed}));
        CloseHandle(c.list->hDatabase);
        c.list->hDatabase = INVALID_HANDLE_VALUE;
    }
}

}  // namespace
