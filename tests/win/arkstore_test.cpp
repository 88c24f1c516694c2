// arkstore: load of a file with every value type, then dump, gives the same content back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/cedb.h"
#include "harness/win/test_env.h"

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

// While a program holds the store (The Arkel runs on it), arkstore still dumps and checks it but
// loads nothing into it, and says why; once the program lets go, the load works.
TEST_F(ArkstoreTest, LoadWaitsForTheProgramThatHoldsTheStoreAndDumpDoesNot) {
    std::wstring input = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(input, kFixture, sizeof kFixture - 1));
    WCHAR reason[64];
    ASSERT_EQ(CeVerifyVolume(reason, 64), 1);  // makes the volume
    ASSERT_TRUE(CeClaimVolume());
    const std::vector<BYTE> before = ReadWholeFile(volumePath);
    std::string out;
    EXPECT_EQ(RunTool(L"arkstore.exe load " + input, &out), 1);
    EXPECT_EQ(ReadWholeFile(volumePath), before);
    EXPECT_EQ(RunTool(L"arkstore.exe dump", &out), 0);
    EXPECT_EQ(json::parse(out)["databases"].size(), 0u);
    EXPECT_EQ(RunTool(L"arkstore.exe check", &out), 0);

    CeReleaseVolumeClaim();
    EXPECT_EQ(RunTool(L"arkstore.exe load " + input, &out), 0);
    ASSERT_EQ(RunTool(L"arkstore.exe dump", &out), 0);
    EXPECT_EQ(json::parse(out)["databases"].size(), 2u);
    DeleteFileW(input.c_str());
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

// A bad dump is refused as a whole: every check runs before anything is written, each bad file
// gets a message and exit 1, and the store is left byte for byte as it was.
TEST_F(ArkstoreTest, LoadChecksEverythingBeforeWritingAnything) {
    const std::string good =
        R"({"name":"Gut","records":[{"props":[{"propid":"0x0001001f","value":"a"}]}]})";
    std::wstring input = TempPath(L".json");
    const std::string present = R"({"databases":[{"name":"Arkel","records":[]}]})";
    ASSERT_TRUE(WriteWholeFile(input, present.data(), present.size()));
    ASSERT_EQ(RunTool(L"arkstore.exe load " + input, nullptr), 0);
    std::string before;
    ASSERT_EQ(RunTool(L"arkstore.exe dump", &before), 0);
    const std::vector<BYTE> volume = ReadWholeFile(volumePath);

    struct Case {
        std::string later;    // a database after the good one
        const char *message;  // part of the message
    } cases[] = {
        {R"({"name":"GUT"})", "database GUT named twice"},
        {R"({"name":"arkel"})", "database arkel exists already"},
        {R"({"name":"S","sortOrders":[{"propid":"0x00010041","flags":0}]})",
         "sort order 0x00010041 of S cannot be used"},
        {R"({"name":"S","sortOrders":[{"propid":"0x0001001f","flags":"2"}]})",
         "bad sort order in S"},
        {R"({"name":"S","sortOrders":[{"propid":"0x10001001f"}]})", "bad sort order in S"},
        {R"({"name":"S","sortOrders":{"propid":"0x0001001f"}})", "bad sort orders in S"},
        {R"({"name":"T","type":-1})", "bad type of database T"},
        {R"({"name":"T","type":4294967296})", "bad type of database T"},
        {R"({"name":"R","records":{"props":[]}})", "bad records in R"},
        {R"({"name":"R","records":[{"props":[{"propid":"0x0001001f","value":7}]}]})",
         "bad value for 0x0001001f"},
        {R"({"name":"R","records":[{"props":[{"propid":"0x0001001f","type":7}]}]})",
         "type of 0x0001001f does not match its propid"},
        // A bad record after good ones is still found and named.
        {R"({"name":"R","records":[{"props":[{"propid":"0x0001001f","value":"ok"}]},)"
         R"({"props":[{"propid":"0x0001001f","value":7}]}]})",
         "bad value for 0x0001001f"},
        {R"({"name":"R","records":[{"props":[]},5]})", "record without \"props\" in R"},
    };
    for (const Case &c : cases) {
        const std::string file = R"({"databases":[)" + good + "," + c.later + "]}";
        ASSERT_TRUE(WriteWholeFile(input, file.data(), file.size()));
        std::string errors;
        EXPECT_EQ(RunTool(L"arkstore.exe load " + input, nullptr, &errors), 1) << c.later;
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
        EXPECT_EQ(ReadWholeFile(volumePath), volume) << c.later;
    }
    std::string after;
    ASSERT_EQ(RunTool(L"arkstore.exe dump", &after), 0);
    EXPECT_EQ(after, before) << "no database of a refused file was made";
    DeleteFileW(input.c_str());
}

// A key given twice counts once, the last one, for the records as for everything else.
TEST_F(ArkstoreTest, ARepeatedKeyCountsWithItsLastValue) {
    const std::string file =
        R"({"databases":[{"name":"Alt","records":[{"props":[]}]}],)"
        R"("databases":[{"name":"D","records":[{"props":[{"propid":"0x0001001f","value":"alt"}]}],)"
        R"("records":[{"props":[{"propid":"0x0001001f","value":"b"}]},)"
        R"({"props":[{"propid":"0x0001001f","value":"a"}]}]}]})";
    std::wstring input = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(input, file.data(), file.size()));
    ASSERT_EQ(RunTool(L"arkstore.exe load " + input, nullptr), 0);
    std::string out;
    ASSERT_EQ(RunTool(L"arkstore.exe dump", &out), 0);
    const json dumped = json::parse(out);
    ASSERT_EQ(dumped["databases"].size(), 1u) << out;
    EXPECT_EQ(dumped["databases"][0]["name"], "D");
    std::vector<std::string> values;
    for (const json &r : dumped["databases"][0]["records"])
        values.push_back(r["props"][0]["value"].get<std::string>());
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (std::vector<std::string>{"a", "b"})) << out;
    DeleteFileW(input.c_str());
}

// A damaged page is an error: dump and load say so and exit 1; nothing is written, neither the
// output file nor the store.
TEST_F(ArkstoreTest, ADamagedStoreIsReportedAndNothingIsWritten) {
    std::wstring input = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(input, kFixture, sizeof kFixture - 1));
    ASSERT_EQ(RunTool(L"arkstore.exe load " + input, nullptr), 0);
    ASSERT_TRUE(DamageRecordTable(volumePath));
    const std::vector<BYTE> damaged = ReadWholeFile(volumePath);
    const std::wstring output = TempPath(L".json");
    const char earlier[] = "an earlier backup";
    ASSERT_TRUE(WriteWholeFile(output, earlier, sizeof earlier - 1));

    const std::wstring commands[] = {L"arkstore.exe dump", L"arkstore.exe dump -o " + output,
                                     L"arkstore.exe load " + input, L"arkstore.exe check"};
    for (const std::wstring &command : commands) {
        std::string out, errors;
        EXPECT_EQ(RunTool(command, &out, &errors), 1) << Utf8(command);
        EXPECT_EQ(out, "") << Utf8(command);
        EXPECT_NE(errors.find("damaged"), std::string::npos) << Utf8(command) << ": " << errors;
        EXPECT_EQ(ReadWholeFile(volumePath), damaged) << Utf8(command);
    }
    std::vector<BYTE> kept = ReadWholeFile(output);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), earlier);
    DeleteFileW(input.c_str());
    DeleteFileW(output.c_str());
}

// dump -o never replaces the store or its journal, however the name is spelt; any other file is
// replaced whole.
TEST_F(ArkstoreTest, DumpNeverWritesOverTheStore) {
    std::wstring input = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(input, kFixture, sizeof kFixture - 1));
    ASSERT_EQ(RunTool(L"arkstore.exe load " + input, nullptr), 0);
    const std::vector<BYTE> volume = ReadWholeFile(volumePath);
    std::vector<std::wstring> names = {volumePath, volumePath + L"-wal", volumePath + L"-shm"};
    using ToUnix = char *(CDECL *)(const WCHAR *);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix) {
        char *unixPath = toUnix(volumePath.c_str());
        if (unixPath) {
            // Another spelling of the volume, and of its journal, which does not exist between
            // two runs.
            const std::wstring spelt(unixPath, unixPath + strlen(unixPath));
            names.push_back(spelt);
            names.push_back(spelt + L"-wal");
        }
        HeapFree(GetProcessHeap(), 0, unixPath);
    }
    for (const std::wstring &name : names) {
        std::string errors;
        EXPECT_EQ(RunTool(L"arkstore.exe dump -o " + name, nullptr, &errors), 1) << Utf8(name);
        EXPECT_NE(errors.find("nothing written"), std::string::npos) << errors;
        EXPECT_EQ(ReadWholeFile(volumePath), volume) << Utf8(name);
        EXPECT_EQ(GetFileAttributesW((volumePath + L"-wal").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    std::string printed;
    ASSERT_EQ(RunTool(L"arkstore.exe dump", &printed), 0);
    const std::wstring output = TempPath(L".json");
    const std::string longer(printed.size() * 2, 'x');
    ASSERT_TRUE(WriteWholeFile(output, longer.data(), longer.size()));
    ASSERT_EQ(RunTool(L"arkstore.exe dump -o " + output, nullptr), 0);
    std::vector<BYTE> written = ReadWholeFile(output);
    EXPECT_EQ(std::string(written.begin(), written.end()), printed);
    DeleteFileW(input.c_str());
    DeleteFileW(output.c_str());
}

// A store path too long is refused; the default store is not used in its place.
TEST_F(ArkstoreTest, AStorePathTooLongIsRefused) {
    SetEnvironmentVariableW(L"ARKEL_OBJECT_STORE", nullptr);
    WCHAR fallback[MAX_PATH];
    ASSERT_TRUE(CeGetVolumePath(fallback));
    const std::vector<BYTE> content = ReadWholeFile(fallback);
    const DWORD attributes = GetFileAttributesW(fallback);
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetEnvironmentVariableW(
        L"ARKEL_OBJECT_STORE",
        (temp + std::wstring(150, L'p') + L"\\" + std::wstring(150, L'p')).c_str());
    std::wstring input = TempPath(L".json");
    ASSERT_TRUE(WriteWholeFile(input, kFixture, sizeof kFixture - 1));
    for (const std::wstring &command :
         {L"arkstore.exe load " + input, std::wstring(L"arkstore.exe dump"),
          std::wstring(L"arkstore.exe check")}) {
        std::string errors;
        EXPECT_EQ(RunTool(command, nullptr, &errors), 1) << Utf8(command);
        EXPECT_NE(errors.find("longer than 259 characters"), std::string::npos) << errors;
    }
    EXPECT_EQ(GetFileAttributesW(fallback), attributes);
    EXPECT_EQ(ReadWholeFile(fallback), content);
    DeleteFileW(input.c_str());
}

}  // namespace
