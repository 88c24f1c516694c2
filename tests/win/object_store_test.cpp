// The object store on a real volume: records, the visible set and the current record.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/shell.h"
#include "store/object_store.h"
#include "harness/win/test_env.h"

namespace {

class ObjectStoreTest : public FreshStore {
protected:
    void SetUp() override {
        FreshStore::SetUp();
        lstrcpyW(currentCategory, kFilterAll);
        ASSERT_EQ(objectStore.open(L"Arkel"), 0);
    }
};

ObjectRecord makeObject(const wchar_t *name, const wchar_t *category = L"", short encrypt = 1) {
    ObjectRecord o;
    ClearObjectRecord(&o);
    lstrcpyW(o.field1, name);
    wsprintfW(o.field2, L"%s-2", name);
    wsprintfW(o.field3, L"%s-3", name);
    lstrcpyW(o.category, category);
    o.encrypt = encrypt;
    return o;
}

// Writes a record through the layer as another program (or an older version) might have.
CEOID writeRaw(std::vector<CEPROPVAL> props) {
    return CeWriteRecordProps(objectStore.hDatabase, 0, static_cast<WORD>(props.size()),
                              props.data());
}

CEPROPVAL text(CEPROPID id, const wchar_t *value) {
    CEPROPVAL v{};
    v.propid = id;
    v.val.lpwstr = const_cast<LPWSTR>(value);
    return v;
}

std::vector<std::wstring> visibleNames(const wchar_t *filter) {
    lstrcpyW(currentCategory, filter);
    std::vector<std::wstring> names;
    for (int i = 0;; ++i) {
        ObjectRecord o;
        objectStore.readVisible(i, &o);
        if (!objectStore.currentRecord) break;
        names.push_back(o.field1);
    }
    return names;
}

TEST_F(ObjectStoreTest, AnEmptyStore) {
    EXPECT_EQ(objectStore.recordCount(), 0);
    ObjectRecord o;
    lstrcpyW(o.field1, L"stale");
    objectStore.readVisible(0, &o);
    EXPECT_EQ(objectStore.currentRecord, 0u);
    EXPECT_STREQ(o.field1, L"");
    EXPECT_STREQ(o.field2, L"");
    EXPECT_STREQ(o.category, L"");
    EXPECT_STREQ(o.title1, L"Name");
    EXPECT_STREQ(o.title2, L"Seriennummer");
    EXPECT_STREQ(o.title3, L"Bemerkung");
    EXPECT_EQ(objectStore.positionOfCurrent(), 0);
    objectStore.deleteVisible(0);
    EXPECT_EQ(objectStore.recordCount(), 0);
}

TEST_F(ObjectStoreTest, ObjectsAreWrittenAsEightPropertiesAndReadBackSorted) {
    ObjectRecord b = makeObject(L"bank", L"Geld", 0);
    lstrcpyW(b.title1, L"Konto");
    lstrcpyW(b.field3, L"");
    CEOID idB = objectStore.addObject(b);
    ASSERT_NE(idB, 0u);
    EXPECT_EQ(objectStore.currentRecord, idB);
    objectStore.addObject(makeObject(L"Auto"));
    objectStore.addObject(makeObject(L"Auto"));  // the same name twice is kept twice
    EXPECT_EQ(objectStore.recordCount(), 3);
    EXPECT_EQ(visibleNames(kFilterAll), (std::vector<std::wstring>{L"Auto", L"Auto", L"bank"}));

    ObjectRecord o;
    objectStore.readVisible(2, &o);
    EXPECT_EQ(objectStore.currentRecord, idB);
    EXPECT_STREQ(o.field1, L"bank");
    EXPECT_STREQ(o.field2, L"bank-2");
    EXPECT_STREQ(o.field3, L"");
    EXPECT_STREQ(o.category, L"Geld");
    EXPECT_EQ(o.encrypt, 0);
    EXPECT_STREQ(o.title1, L"Konto");
    EXPECT_STREQ(o.title2, L"Seriennummer");

    // On disk: properties 1, 2, 3, 4, 7, 8, 9, 10 in this order, empty texts included.
    CeSeekDatabase(objectStore.hDatabase, CEDB_SEEK_CEOID, idB, nullptr);
    WORD count = 0;
    BYTE *buf = nullptr;
    DWORD size = 0;
    ASSERT_EQ(
        CeReadRecordProps(objectStore.hDatabase, CEDB_ALLOWREALLOC, &count, nullptr, &buf, &size),
        idB);
    const CEPROPID expected[] = {0x0001001F, 0x0002001F, 0x0003001F, 0x0004001F,
                                 0x0007001F, 0x0008001F, 0x0009001F, 0x000A0002};
    ASSERT_EQ(count, 8);
    auto v = reinterpret_cast<CEPROPVAL *>(buf);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(v[i].propid, expected[i]) << i;
    EXPECT_STREQ(v[2].val.lpwstr, L"");
    LocalFree(buf);
}

TEST_F(ObjectStoreTest, AbsentPropertiesReadAsTheirDefaults) {
    CEPROPVAL onlyName = text(PROP_FIELD1, L"Nur Name");
    writeRaw({onlyName});
    ObjectRecord o;
    objectStore.readVisible(0, &o);
    EXPECT_STREQ(o.field1, L"Nur Name");
    EXPECT_STREQ(o.field2, L"");
    EXPECT_STREQ(o.category, L"");
    EXPECT_EQ(o.encrypt, 1);
    EXPECT_STREQ(o.title1, L"Name");
    EXPECT_STREQ(o.title3, L"Bemerkung");

    // A record without any text sorts last and reads with empty texts.
    CEPROPVAL flag{};
    flag.propid = PROP_ENCRYPT;
    flag.val.iVal = 0;
    CEOID keyless = writeRaw({flag, text(0x0005001F, L"not ours")});
    objectStore.readVisible(1, &o);
    EXPECT_EQ(objectStore.currentRecord, keyless);
    EXPECT_STREQ(o.field1, L"");
    EXPECT_EQ(o.encrypt, 0);

    // Texts longer than an object holds are shortened to 255 units.
    std::wstring longText(400, L'x');
    writeRaw({text(PROP_FIELD1, L"A"), text(PROP_FIELD3, longText.c_str())});
    objectStore.readVisible(0, &o);
    EXPECT_EQ(std::wstring(o.field3), std::wstring(255, L'x'));
}

// The one reader of a stored record, on records held in memory.
TEST(ReadObjectRecordTest, TakesEachPropertyByNumberAndNothingFromBefore) {
    CEPROPVAL flag4{};  // a flag stored as a 32-bit number
    flag4.propid = 0x000A0003;
    flag4.val.lVal = 0;
    CEPROPVAL numberAsTitle{};  // property 7 stored as a number: not a text
    numberAsTitle.propid = 0x00070003;
    numberAsTitle.val.lVal = 7;
    const CEPROPVAL record[] = {text(PROP_FIELD1, L"Konto"),
                                text(0x00020013, L"ignored type"),
                                text(PROP_FIELD1, L"second field 1"),
                                flag4,
                                numberAsTitle,
                                text(PROP_TITLE2, L"IBAN"),
                                text(0x0005001F, L"unknown")};
    const WORD count = static_cast<WORD>(sizeof record / sizeof record[0]);

    ObjectRecord o;
    lstrcpyW(o.category, L"left over");
    lstrcpyW(o.field3, L"left over");
    ReadObjectRecord(record, count, &o);
    EXPECT_STREQ(o.field1, L"Konto") << "the first of a number counts";
    EXPECT_STREQ(o.field2, L"") << "same number, another type: read as no text";
    EXPECT_STREQ(o.field3, L"");
    EXPECT_STREQ(o.category, L"");
    EXPECT_EQ(o.encrypt, 0);
    EXPECT_STREQ(o.title1, L"") << "a number where a text belongs";
    EXPECT_STREQ(o.title2, L"IBAN");
    EXPECT_STREQ(o.title3, L"Bemerkung") << "absent: the default title";

    ReadObjectRecord(record, 1, &o, AbsentTitles::Empty);
    EXPECT_STREQ(o.title2, L"");
    EXPECT_STREQ(o.title3, L"") << "absent: empty where only an object's own titles count";
    EXPECT_EQ(o.encrypt, 1);
}

TEST(CategoryFilterTest, AllNoneOrExactlyTheName) {
    struct Case {
        const wchar_t *filter, *category;
        bool passes;
    } cases[] = {
        {kFilterAll, L"Bank", true},   {kFilterAll, L"", true},  {kFilterNone, L"", true},
        {kFilterNone, L"Bank", false}, {L"Bank", L"Bank", true}, {L"Bank", L"bank", false},
        {L"Bank", L"", false},         {L"", L"", true},         {L" - alle -", L"x", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CategoryPassesFilter(c.filter, c.category), c.passes)
            << Utf8(c.filter) << " / " << Utf8(c.category);
}

// Which records each filter shows. The order of the records puts an uncategorised record right
// after categorised ones, so a walk that kept the previous record's category would show it.
TEST_F(ObjectStoreTest, TheFilterDecidesTheVisibleSet) {
    objectStore.addObject(makeObject(L"a-bank", L"Bank"));
    writeRaw({text(PROP_FIELD1, L"b-no-category-property")});
    objectStore.addObject(makeObject(L"c-lower", L"bank"));
    objectStore.addObject(makeObject(L"d-empty", L""));
    // An encrypted record: no plain field 1 or category, only blobs and the verifier.
    CEPROPVAL blob{};
    blob.propid = 0x01040041;
    BYTE bytes[8] = {};
    blob.val.blob = {8, bytes};
    CEPROPVAL verifier = blob;
    verifier.propid = PROP_VERIFIER;
    writeRaw({blob, verifier});

    struct Case {
        const wchar_t *filter;
        std::vector<std::wstring> visible;
    } cases[] = {
        {kFilterAll, {L"a-bank", L"b-no-category-property", L"c-lower", L"d-empty", L""}},
        {kFilterNone, {L"b-no-category-property", L"d-empty", L""}},
        {L"Bank", {L"a-bank"}},
        {L"bank", {L"c-lower"}},
        {L"BANK", {}},
        {L"Post", {}},
    };
    for (const Case &c : cases) EXPECT_EQ(visibleNames(c.filter), c.visible) << Utf8(c.filter);
}

TEST_F(ObjectStoreTest, PositionOfTheCurrentRecord) {
    objectStore.addObject(makeObject(L"a", L"Bank"));
    objectStore.addObject(makeObject(L"b", L"Post"));
    CEOID c = objectStore.addObject(makeObject(L"c", L"Bank"));
    lstrcpyW(currentCategory, L"Bank");
    EXPECT_EQ(objectStore.positionOfCurrent(), 1);
    EXPECT_EQ(objectStore.currentRecord, c) << "asking does not move the current record";
    // An object saved under another category than the filter: one past the last row.
    objectStore.addObject(makeObject(L"0-first", L"Post"));
    EXPECT_EQ(objectStore.positionOfCurrent(), 2);
    objectStore.currentRecord = 0;
    EXPECT_EQ(objectStore.positionOfCurrent(), 0);
}

TEST_F(ObjectStoreTest, UpdateReplacesTheCurrentRecordOrCreatesOne) {
    CEOID id = objectStore.addObject(makeObject(L"alt"));
    ObjectRecord changed = makeObject(L"neu", L"Bank", 0);
    EXPECT_EQ(objectStore.updateCurrent(changed), id);
    EXPECT_EQ(objectStore.recordCount(), 1);
    ObjectRecord o;
    objectStore.readVisible(0, &o);
    EXPECT_STREQ(o.field1, L"neu");
    EXPECT_STREQ(o.category, L"Bank");

    objectStore.currentRecord = 0;
    CEOID created = objectStore.updateCurrent(makeObject(L"zweites"));
    EXPECT_NE(created, 0u);
    EXPECT_NE(created, id);
    EXPECT_EQ(objectStore.currentRecord, created);
    EXPECT_EQ(objectStore.recordCount(), 2);
}

TEST_F(ObjectStoreTest, DeleteByVisiblePosition) {
    objectStore.addObject(makeObject(L"a", L"Bank"));
    objectStore.addObject(makeObject(L"b", L"Post"));
    objectStore.addObject(makeObject(L"c", L"Post"));
    lstrcpyW(currentCategory, L"Post");
    objectStore.deleteVisible(1);
    EXPECT_EQ(objectStore.currentRecord, 0u);
    EXPECT_EQ(visibleNames(kFilterAll), (std::vector<std::wstring>{L"a", L"b"}));
    lstrcpyW(currentCategory, L"Post");
    objectStore.deleteVisible(5);  // past the end: nothing
    EXPECT_EQ(objectStore.recordCount(), 2);
}

// The visible set by a plain walk of the database, without the store's position index: what
// every read by position must agree with.
std::vector<CEOID> visibleByWalk() {
    std::vector<CEOID> ids;
    WalkDatabase(objectStore.hDatabase, [&](CEOID id, const CEPROPVAL *props, WORD count) {
        WCHAR category[256] = {};
        for (WORD i = 0; i < count; ++i)
            if (props[i].propid == PROP_CATEGORY) lstrcpynW(category, props[i].val.lpwstr, 256);
        bool all = wcscmp(currentCategory, kFilterAll) == 0;
        bool none = wcscmp(currentCategory, kFilterNone) == 0;
        if (all || (none ? !category[0] : wcscmp(category, currentCategory) == 0))
            ids.push_back(id);
        return true;
    });
    return ids;
}

// Reads by position, the position of the current record and deletes by position go straight to
// the record through the store's index; after every kind of change, its own and others', each
// position must still show the record a walk finds there.
TEST_F(ObjectStoreTest, ReadsByPositionFollowEveryChange) {
    const wchar_t *names[] = {L"m", L"B", L"a", L"Z", L"b", L"k", L"x", L"d"};
    const wchar_t *categories[] = {L"Bank", L"", L"Post", L"Bank"};
    for (int i = 0; i < 8; ++i) objectStore.addObject(makeObject(names[i], categories[i % 4]));
    CEOID other = 0;
    struct Step {
        const char *what;
        std::function<void()> change;
    } steps[] = {
        {"nothing", [] {}},
        {"filter changed", [] { lstrcpyW(currentCategory, L"Bank"); }},
        {"object added in the filter's category",
         [] { objectStore.addObject(makeObject(L"c", L"Bank")); }},
        {"object added elsewhere", [] { objectStore.addObject(makeObject(L"0", L"Post")); }},
        {"current object renamed and moved out of the category",
         [] {
             ObjectRecord o;
             objectStore.readVisible(1, &o);
             lstrcpyW(o.field1, L"zz");
             lstrcpyW(o.category, L"Post");
             objectStore.updateCurrent(o);
         }},
        {"object deleted by position", [] { objectStore.deleteVisible(0); }},
        {"filter ' - Ohne -'", [] { lstrcpyW(currentCategory, kFilterNone); }},
        {"a write past the store, through its handle",
         [&] {
             other = writeRaw({text(PROP_FIELD1, L"A raw"), text(PROP_CATEGORY, L"")});
         }},
        {"a deletion past the store", [&] { CeDeleteRecord(objectStore.hDatabase, other); }},
        {"flags of a category", [] { objectStore.setEncryptFlagForCategory(L"Bank", 0); }},
        {"filter ' - Alle -'", [] { lstrcpyW(currentCategory, kFilterAll); }},
        {"the last object deleted",
         [] { objectStore.deleteVisible(static_cast<int>(visibleByWalk().size()) - 1); }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        std::vector<CEOID> expected = visibleByWalk();
        for (size_t i = 0; i <= expected.size(); ++i) {
            ObjectRecord o;
            objectStore.readVisible(static_cast<int>(i), &o);
            EXPECT_EQ(objectStore.currentRecord, i < expected.size() ? expected[i] : 0u)
                << "position " << i;
            if (i < expected.size()) {
                EXPECT_EQ(objectStore.positionOfCurrent(), static_cast<int>(i));
            }
        }
    }
}

TEST_F(ObjectStoreTest, EncryptFlagOfOneCategory) {
    objectStore.addObject(makeObject(L"a", L"Bank", 1));
    objectStore.addObject(makeObject(L"b", L"bank", 1));
    objectStore.addObject(makeObject(L"c", L"Bank", 1));
    CEOID current = objectStore.addObject(makeObject(L"d", L"", 1));
    objectStore.setEncryptFlagForCategory(L"Bank", 0);
    EXPECT_EQ(objectStore.currentRecord, current);
    lstrcpyW(currentCategory, kFilterAll);
    const short expected[] = {0, 1, 0, 1};
    for (int i = 0; i < 4; ++i) {
        ObjectRecord o;
        objectStore.readVisible(i, &o);
        EXPECT_EQ(o.encrypt, expected[i]) << Utf8(o.field1);
        EXPECT_STREQ(o.field2, (std::wstring(o.field1) + L"-2").c_str()) << "other properties stay";
    }
}

TEST_F(ObjectStoreTest, KeyMaterialIsClearedAndTheStoreReopens) {
    lstrcpyW(objectStore.passwordText, L"geheim");
    objectStore.keys.key3[7] = 0x55;
    objectStore.clearKeyMaterial();
    const BYTE *p = reinterpret_cast<const BYTE *>(objectStore.passwordText);
    for (size_t i = 0; i < sizeof objectStore.passwordText; ++i) ASSERT_EQ(p[i], 0);
    for (const CipherKey *key :
         {&objectStore.keys.key1, &objectStore.keys.key2, &objectStore.keys.key3})
        for (BYTE b : *key) ASSERT_EQ(b, 0);

    objectStore.addObject(makeObject(L"bleibt"));
    ResetGlobalStores();
    ASSERT_EQ(objectStore.open(L"Arkel"), 0) << "the second open finds the database";
    EXPECT_EQ(visibleNames(kFilterAll), std::vector<std::wstring>{L"bleibt"});
}

}  // namespace
