// arkstore: load of a file with every value type, then dump, gives the same content back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/win/test_env.h"

namespace {

using nlohmann::json;

class ArkstoreTest : public FreshStore {};

const char kFixture[] = R"({
  "databases": [
    {
      "name": "Torvell",
      "type": 3,
      "sortOrders": [{"propid": "0x0001001f", "flags": 2}],
      "records": [
        {"props": [{"propid": "0x0001001f", "type": "LPWSTR", "value": "zebra"}]},
        {"props": [{"propid": "0x000a0002", "type": "I2", "value": -1}]},
        {"props": [
          {"propid": "0x0001001f", "type": "LPWSTR", "value": "Äpfel & Öl – ß"},
          {"propid": "0x00020002", "type": "I2", "value": -32768},
          {"propid": "0x00030012", "type": "UI2", "value": 65535},
          {"propid": "0x00040003", "type": "I4", "value": -2147483648},
          {"propid": "0x00050013", "type": "UI4", "value": 4294967295},
          {"propid": "0x0006000b", "type": "BOOL", "value": 1},
          {"propid": "0x00070005", "type": "R8", "value": 2.5},
          {"propid": "0x00080040", "type": "FILETIME", "value": 18446744073709551615},
          {"propid": "0x01020041", "type": "BLOB", "value": "00ff10ab"},
          {"propid": "0x00090041", "type": "BLOB", "value": ""},
          {"propid": "0x000b001f", "type": "LPWSTR", "hex": "00d86100"},
          {"propid": "0x000c0005", "type": "R8", "hex": "000000000000f87f"}
        ]},
        {"props": [{"propid": "0x0001001f", "type": "LPWSTR", "value": "apfel"}]}
      ]
    },
    {"name": "Leer", "type": 0, "sortOrders": [], "records": []}
  ]
})";

// The dump without the ids the volume chose.
json withoutIds(json dump) {
    for (json &db : dump["databases"]) {
        db.erase("oid");
        for (json &r : db["records"]) r.erase("oid");
    }
    return dump;
}

TEST_F(ArkstoreTest, LoadThenDumpGivesTheContentBackInSortOrder) {
    std::wstring input = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(input, kFixture, sizeof kFixture - 1));
    std::string out;
    ASSERT_EQ(RunTool(L"arkstore.exe load " + input, &out), 0);
    ASSERT_EQ(RunTool(L"arkstore.exe dump", &out), 0);
    json dumped = json::parse(out);

    json expected = json::parse(kFixture);
    // Sorted on property 1, case-insensitively; the record without it comes last.
    json &records = expected["databases"][0]["records"];
    records = json::array({records[3], records[2], records[0], records[1]});
    EXPECT_EQ(withoutIds(dumped), expected) << dumped.dump(1);

    // Loading the dump into an empty volume gives an equal volume.
    std::wstring again = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(again, out.data(), out.size()));
    std::wstring second = TempPath(L".cdb");
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", second.c_str());
    ASSERT_EQ(RunTool(L"arkstore.exe load " + again, nullptr), 0);
    std::string out2;
    ASSERT_EQ(RunTool(L"arkstore.exe dump", &out2), 0);
    EXPECT_EQ(withoutIds(json::parse(out2)), withoutIds(dumped));
    ASSERT_EQ(RunTool(L"arkstore.exe check", nullptr), 0);
    EXPECT_NE(RunTool(L"arkstore.exe load " + again, nullptr), 0) << "the databases exist already";
    DeleteFileW(second.c_str());
    DeleteFileW(input.c_str());
    DeleteFileW(again.c_str());
}

TEST_F(ArkstoreTest, BadFilesAreRefusedWithANonZeroExit) {
    const char junk[] = "not a store";
    std::string out;
    EXPECT_EQ(RunTool(L"arkstore.exe dump", &out), 1) << "no volume yet";
    EXPECT_EQ(GetFileAttributesW(volumePath.c_str()), INVALID_FILE_ATTRIBUTES)
        << "dump creates none";
    WriteWholeFile(volumePath, junk, sizeof junk - 1);
    EXPECT_EQ(RunTool(L"arkstore.exe dump", &out), 1);
    EXPECT_EQ(RunTool(L"arkstore.exe check", &out), 1);
    DeleteFileW(volumePath.c_str());

    std::wstring input = TempPath(L".json");
    struct Case {
        const char *what;
        std::string json;
    } cases[] = {
        {"not JSON", "{"},
        {"no databases", "{}"},
        {"bad value",
         R"({"databases":[{"name":"X","records":[{"props":[{"propid":"0x00010002","value":70000}]}]}]})"},
        {"bad hex",
         R"({"databases":[{"name":"X","records":[{"props":[{"propid":"0x00010041","value":"0g"}]}]}]})"},
        {"unknown type",
         R"({"databases":[{"name":"X","records":[{"props":[{"propid":"0x00010077","value":1}]}]}]})"},
    };
    for (const Case &c : cases) {
        WriteWholeFile(input, c.json.data(), c.json.size());
        EXPECT_EQ(RunTool(L"arkstore.exe load " + input, nullptr), 1) << c.what;
        // A refused file changes nothing: no database was created.
        std::string dump;
        if (RunTool(L"arkstore.exe dump", &dump) == 0) {
            EXPECT_EQ(json::parse(dump)["databases"].size(), 0u) << c.what;
        }
    }
    EXPECT_EQ(RunTool(L"arkstore.exe load " + TempPath(L".missing"), nullptr), 1);
    EXPECT_EQ(RunTool(L"arkstore.exe frobnicate", nullptr), 2);
    DeleteFileW(input.c_str());
}

}  // namespace
