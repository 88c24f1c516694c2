// The pieces of arkfile's commands for other password managers: the CSV reader and writer, the
// KeePass XML writer and reader, and the checks that every object fits the vault on the way in.
#include "csv.h"
#include "foreign.h"
#include "keepass_xml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::vector<std::string>>;

struct CsvRead {
    Rows rows;
    std::vector<std::size_t> lines;
    bool ok = true;
    std::string error;
    std::size_t row = 0, column = 0, line = 0;
};

// Reads the text whole, or one byte at a time (every boundary a feed may split).
CsvRead readCsv(std::string_view text, bool byteByByte, char separator = ',') {
    CsvReader reader(separator);
    std::vector<CsvRecord> records;
    CsvRead r;
    if (byteByByte) {
        for (std::size_t i = 0; i < text.size() && r.ok; ++i)
            r.ok = reader.feed(text.substr(i, 1), records);
    } else {
        r.ok = reader.feed(text, records);
    }
    if (r.ok) r.ok = reader.finish(records);
    for (const CsvRecord &rec : records) {
        r.rows.push_back(rec.fields);
        r.lines.push_back(rec.line);
    }
    r.error = reader.error();
    r.row = reader.errorRow();
    r.column = reader.errorColumn();
    r.line = reader.errorLine();
    return r;
}

TEST(Csv, ReadsQuotingLineEndsAndByteOrderMark) {
    struct Case {
        std::string text;
        Rows rows;
        std::vector<std::size_t> lines;  // where each record starts
    };
    const Case cases[] = {
        {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}, {1, 2}},
        {"a,b\nc,d", {{"a", "b"}, {"c", "d"}}, {1, 2}},
        {"a,b\rc,d\r", {{"a", "b"}, {"c", "d"}}, {1, 2}},
        {"\xEF\xBB\xBFname,pw\n", {{"name", "pw"}}, {1}},
        // A byte-order mark only at the very start; half of one is text.
        {"x,\xEF\xBB\xBF\n", {{"x", "\xEF\xBB\xBF"}}, {1}},
        {"\xEF\xBB", {{"\xEF\xBB"}}, {1}},
        {"\"a,b\",\"say \"\"hi\"\"\",\"l1\r\nl2\"\r\nnext,x\r\n",
         {{"a,b", "say \"hi\"", "l1\r\nl2"}, {"next", "x"}},
         {1, 3}},
        {"\"l1\nl2\rl3\",y\nz,w\n", {{"l1\nl2\rl3", "y"}, {"z", "w"}}, {1, 4}},
        {",,\n\"\"\n", {{"", "", ""}, {""}}, {1, 2}},
        {"a\n\n\r\n\nb\n", {{"a"}, {"b"}}, {1, 5}},
        {" spaced , kept \n", {{" spaced ", " kept "}}, {1}},
        {"", {}, {}},
    };
    for (const Case &c : cases) {
        for (bool bytewise : {false, true}) {
            const CsvRead r = readCsv(c.text, bytewise);
            EXPECT_TRUE(r.ok) << c.text << ": " << r.error;
            EXPECT_EQ(r.rows, c.rows) << c.text << (bytewise ? " (byte by byte)" : "");
            EXPECT_EQ(r.lines, c.lines) << c.text;
        }
    }
    const CsvRead semicolons = readCsv("a;\"b;c\"\n", false, ';');
    EXPECT_EQ(semicolons.rows, (Rows{{"a", "b;c"}}));
}

TEST(Csv, MalformedInputIsReportedWhereItIs) {
    struct Case {
        std::string text;
        std::string error;
        std::size_t row, column, line;
    };
    const Case cases[] = {
        {"a,b\nc,d\"e\n", "a quote inside a field that does not start with one", 2, 2, 2},
        {"h\n\"ab\"c\n", "text after the closing quote of a field", 2, 1, 2},
        {"h1,h2\nx,\"open\nstill\n", "a quoted field that is never closed", 2, 2, 2},
    };
    for (const Case &c : cases) {
        for (bool bytewise : {false, true}) {
            const CsvRead r = readCsv(c.text, bytewise);
            EXPECT_FALSE(r.ok) << c.text;
            EXPECT_EQ(r.error, c.error) << c.text;
            EXPECT_EQ(r.row, c.row) << c.text;
            EXPECT_EQ(r.column, c.column) << c.text;
            EXPECT_EQ(r.line, c.line) << c.text;
        }
    }
    // A field that never ends is refused before it fills the memory.
    const CsvRead huge = readCsv("\"" + std::string(CsvReader::kMaxFieldBytes + 1, 'x'), false);
    EXPECT_FALSE(huge.ok);
}

TEST(Csv, WriterQuotesWhatNeedsItAndReadsBack) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"l1\r\nl2", "\"l1\r\nl2\""},
        {"lone\rcr", "\"lone\rcr\""},
        {" lead", "\" lead\""},
        {"\xEF\xBB\xBF"
         "bom",
         "\"\xEF\xBB\xBF"
         "bom\""},
        {"tab\tand\\back", "tab\tand\\back"},
    };
    std::vector<std::string> values;
    for (const auto &[value, written] : cases) {
        std::string out;
        appendCsvField(out, value);
        EXPECT_EQ(out, written);
        values.push_back(value);
    }
    std::string file;
    std::swap(values[0], values[7]);  // the byte-order mark first in the file
    appendCsvRecord(file, values);
    appendCsvRecord(file, {"x"});
    EXPECT_EQ(readCsv(file, false).rows, (Rows{values, {"x"}}));
}

TEST(KeePassXml, TextIsEscapedAndControlCharactersRefused) {
    const std::pair<std::string, std::string> cases[] = {
        {"a&b<c>d", "a&amp;b&lt;c&gt;d"},
        {"l1\r\nl2", "l1&#13;\nl2"},
        {"tab\t\"quote\" 'apos' ]]>", "tab\t\"quote\" 'apos' ]]&gt;"},
        {"K\xC3\xBC"
         "che \xE2\x82\xAC",
         "K\xC3\xBC"
         "che \xE2\x82\xAC"},
    };
    for (const auto &[text, escaped] : cases) {
        std::string out;
        EXPECT_TRUE(appendXmlText(out, text));
        EXPECT_EQ(out, escaped);
    }
    std::string out = "kept";
    EXPECT_FALSE(appendXmlText(out, "bell\x07"));
    EXPECT_FALSE(appendXmlText(out, std::string("nul\0", 4)));
    EXPECT_EQ(out, "kept");
}

std::vector<XmlEntry> readXml(const std::string &xml, std::string *error = nullptr,
                              std::size_t *recycled = nullptr) {
    std::vector<XmlEntry> entries;
    KeePassXmlReader reader([&](XmlEntry &e) {
        entries.push_back(e);
        return true;
    });
    const bool ok = reader.feed(xml, true);
    if (error) *error = ok ? "" : reader.error() + " at " + std::to_string(reader.errorLine());
    if (recycled) *recycled = reader.recycled();
    return entries;
}

TEST(KeePassXml, WrittenGroupsAndEntriesReadBack) {
    const std::vector<XmlEntry> entries = {
        {"Bank", {{"Title", "Giro & Co", false}, {"Password", "<4711>", true}}, {}, {}, 0, 0},
        {"", {{"Title", "ohne", false}, {"Notiz", "l1\nl2\r", false}}, {}, {}, 0, 0},
        {"Privat/Alt", {{"Title", "alt", false}}, {}, {}, 0, 0},
        {"Bank", {{"Title", "Spar", false}}, {}, {}, 0, 0},
    };
    const std::string xml = writeKeePassXml(entries);
    // The secret alone is marked for protection.
    EXPECT_EQ(xml.find("ProtectInMemory=\"True\">&lt;4711&gt;</Value>") != std::string::npos, true)
        << xml;
    std::size_t marks = 0;
    for (std::size_t at = 0; (at = xml.find("ProtectInMemory", at)) != std::string::npos; ++at)
        ++marks;
    EXPECT_EQ(marks, 1u);

    std::string error;
    const std::vector<XmlEntry> back = readXml(xml, &error);
    ASSERT_EQ(error, "");
    // Each group's entries in their order when the group ends: the root group's last.
    ASSERT_EQ(back.size(), 4u);
    const std::pair<std::string, std::string> expected[] = {
        {"Bank", "Giro & Co"}, {"Bank", "Spar"}, {"Privat/Alt", "alt"}, {"", "ohne"}};
    for (std::size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].group, expected[i].first);
        EXPECT_EQ(back[i].strings[0].value, expected[i].second);
        EXPECT_EQ(back[i].number, i + 1);
    }
    ASSERT_EQ(back[0].strings.size(), 2u);
    EXPECT_EQ(back[0].strings[1].value, "<4711>");
    ASSERT_EQ(back[3].strings.size(), 2u);
    EXPECT_EQ(back[3].strings[1].value, "l1\nl2\r");
}

TEST(KeePassXml, ReaderLeavesOutHistoryAndRecycleBinAndNamesNestedGroups) {
    const std::string xml = R"(<?xml version="1.0"?>
<KeePassFile>
  <Meta><RecycleBinEnabled>True</RecycleBinEnabled><RecycleBinUUID>BIN=</RecycleBinUUID></Meta>
  <Root><Group><UUID>ROOT=</UUID><Name>Datenbank</Name>
    <Entry><String><Key>Title</Key><Value>top</Value></String>
      <Binary><Key>scan.pdf</Key><Value Ref="0"/></Binary>
      <History><Entry><String><Key>Title</Key><Value>old top</Value></String></Entry></History>
    </Entry>
    <Group><UUID>A=</UUID><Name>Web</Name>
      <Group><UUID>B=</UUID><Name>Mail</Name>
        <Entry><String><Key>Title</Key><Value>mail</Value></String>
          <String><Key>Password</Key><Value Protected="True">bWFpbA==</Value></String></Entry>
      </Group>
    </Group>
    <Group><UUID>BIN=</UUID><Name>Papierkorb</Name>
      <Entry><String><Key>Title</Key><Value>deleted</Value></String></Entry>
      <Group><UUID>C=</UUID><Name>Sub</Name>
        <Entry><String><Key>Title</Key><Value>deleted too</Value></String></Entry></Group>
    </Group>
  </Group></Root>
</KeePassFile>)";
    std::string error;
    std::size_t recycled = 0;
    const std::vector<XmlEntry> entries = readXml(xml, &error, &recycled);
    EXPECT_EQ(error, "");
    EXPECT_EQ(recycled, 2u);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].group, "Web/Mail");
    EXPECT_EQ(entries[0].encryptedKey, "Password");
    EXPECT_EQ(entries[0].line, 11u);
    EXPECT_EQ(entries[1].group, "");
    EXPECT_EQ(entries[1].strings.size(), 1u);  // not the history's
    EXPECT_EQ(entries[1].attachments, std::vector<std::string>{"scan.pdf"});
}

TEST(KeePassXml, HostileOrMalformedInputIsRefused) {
    const std::string laughs = R"(<?xml version="1.0"?>
<!DOCTYPE KeePassFile [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">]>
<KeePassFile><Root><Group><Entry><String><Key>Title</Key><Value>&d;&d;&d;</Value></String>
</Entry></Group></Root></KeePassFile>)";
    const std::string external = R"(<?xml version="1.0"?>
<!DOCTYPE x SYSTEM "file:///etc/passwd"><KeePassFile/>)";
    const std::pair<std::string, std::string> cases[] = {
        {laughs, "a document type declaration (<!DOCTYPE>), which is refused at 2"},
        {external, "a document type declaration (<!DOCTYPE>), which is refused at 2"},
        {"<KeePassFile><Root><Group><Entry></Group>", "malformed XML: mismatched tag at 1"},
        {"<KeePassFile>\n<Root>\n&undefined;", "malformed XML: undefined entity at 3"},
        {"<html><body/></html>", "not KeePass XML: the document is <html>, not <KeePassFile> at 1"},
        {"", "malformed XML: no element found at 1"},
    };
    for (const auto &[xml, message] : cases) {
        std::string error;
        const std::vector<XmlEntry> entries = readXml(xml, &error);
        EXPECT_EQ(error, message) << xml;
        EXPECT_TRUE(entries.empty()) << xml;
    }
    // Groups and entries outside <Root> are no part of the database.
    std::string error;
    EXPECT_TRUE(readXml("<KeePassFile><Group><Entry><String><Key>Title</Key><Value>x</Value>"
                        "</String></Entry></Group><Root/></KeePassFile>",
                        &error)
                    .empty());
    EXPECT_EQ(error, "");
}

// ---- Into the vault's objects ----------------------------------------------------------------

ForeignRecord csvRow(std::size_t row, const std::vector<std::string> &header,
                     const std::vector<std::string> &values) {
    ForeignRecord r;
    r.where = "row " + std::to_string(row);
    for (std::size_t i = 0; i < header.size(); ++i) r.cells.push_back({header[i], values[i]});
    return r;
}

ImportRules chromeRules() {
    ImportRules rules;
    rules.positional = true;
    rules.value = {CellRef{0, ""}, CellRef{3, ""}, CellRef{2, ""}};
    return rules;
}

std::string lineText(const TextLine &l) {
    std::string s;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        if (c) s += '|';
        s.append(l[c].begin(), l[c].end());
    }
    return s;
}

TEST(ForeignImport, EveryRefusalIsNamedByRowAndColumn) {
    const std::vector<std::string> header = {"name", "url", "username", "password"};
    const std::string tooLong(256, 'x');
    const std::string umlauts255(255, '\xFC');  // 255 bytes of Windows-1252, 510 of UTF-8
    std::string umlautsUtf8;
    for (int i = 0; i < 255; ++i) umlautsUtf8 += "\xC3\xBC";
    struct Case {
        std::vector<std::string> values;
        std::string error;  // empty: taken
    };
    const Case cases[] = {
        {{"ok", "", "bob", umlautsUtf8}, ""},
        {{"long", "", "bob", tooLong},
         "row 2: column 4 \"password\": 256 bytes in Windows-1252, more than the 255 of a field "
         "(--allow-truncate cuts it)"},
        {{"arrow \xE2\x86\x92", "", "", ""},
         "row 2: column 1 \"name\": \"\xE2\x86\x92\" (U+2192) is not in Windows-1252, the "
         "vault's code page (--allow-replace writes \"?\" for it)"},
        {{"nul", "", std::string("a\0b", 3), ""},
         "row 2: column 3 \"username\": a NUL character is not in Windows-1252, the vault's "
         "code page (--allow-replace writes \"?\" for it)"},
        {{"bad", "", "\xC3", ""}, "row 2: column 3 \"username\": not valid UTF-8 (byte 1)"},
        {{"site", "https://x", "bob", "pw"},
         "row 2: column 2 \"url\" has no place in the vault's three fields (give it one with "
         "--map, add it to a field with --extra-to-field N, or leave it out with --drop "
         "\"url\")"},
    };
    for (const Case &c : cases) {
        ForeignImporter importer(chromeRules());
        EXPECT_TRUE(importer.add(csvRow(2, header, c.values)));
        if (c.error.empty()) {
            EXPECT_EQ(importer.errorCount(), 0u) << importer.errors()[0];
            ASSERT_EQ(importer.lines().size(), 1u);
            EXPECT_EQ(lineText(importer.lines()[0]),
                      "name|ok|password|" + umlauts255 + "|username|bob||1");
        } else {
            ASSERT_EQ(importer.errors().size(), 1u) << c.values[0];
            EXPECT_EQ(importer.errors()[0], c.error);
            EXPECT_TRUE(importer.lines().empty());
        }
    }
}

TEST(ForeignImport, StatedLossesAreTakenAndNamed) {
    const std::vector<std::string> header = {"name", "url", "username", "password", "note"};
    ImportRules rules = chromeRules();
    rules.allowTruncate = true;
    rules.allowReplace = true;
    rules.extraToField = 3;
    rules.dropped = {"note"};
    ForeignImporter importer(rules);
    importer.add(csvRow(
        2, header, {"a \xE2\x86\x92 b", "https://x", "bob", std::string(300, 'p'), "dropped"}));
    ASSERT_EQ(importer.errorCount(), 0u) << importer.errors()[0];
    ASSERT_EQ(importer.lines().size(), 1u);
    EXPECT_EQ(lineText(importer.lines()[0]), "name|a ? b|password|" + std::string(255, 'p') +
                                                 "|username|bob\r\nurl: https://x||1");
    EXPECT_EQ(importer.warnings(),
              (std::vector<std::string>{
                  "row 2: column 1 \"name\": 1 characters outside Windows-1252 written as \"?\"",
                  "row 2: column 4 \"password\": cut from 300 to 255 bytes"}));
}

TEST(ForeignImport, LineBreaksBecomeCrLfAndTheStoreLimitHolds) {
    const std::vector<std::string> header = {"name", "url", "username", "password"};
    ForeignImporter importer(chromeRules());
    importer.add(csvRow(2, header, {"a\nb\rc\r\nd", "", "", ""}));
    ASSERT_EQ(importer.lines().size(), 1u);
    EXPECT_EQ(lineText(importer.lines()[0]), "name|a\r\nb\r\nc\r\nd|password||username|||1");

    for (std::size_t i = 1; i < kMaxObjects; ++i)
        ASSERT_TRUE(importer.add(csvRow(2 + i, header, {"n", "", "", ""})));
    EXPECT_FALSE(importer.add(csvRow(65537, header, {"one too many", "", "", ""})));
    EXPECT_EQ(importer.lines().size(), kMaxObjects);
    EXPECT_EQ(importer.errors(),
              std::vector<std::string>{"row 65537: more than 65535 objects, more than the "
                                       "vault's store holds"});
}

TEST(ForeignExport, KeysOfFieldsNeverCollide) {
    auto line = [](std::string t2, std::string t3) {
        TextLine l;
        const std::string cols[] = {"Name", "one", t2, "two", t3, "three", "Kat", "1"};
        for (std::size_t c = 0; c < kColumnCount; ++c) l[c].assign(cols[c].begin(), cols[c].end());
        return l;
    };
    struct Case {
        int passwordField;
        std::string title2, title3;
        std::vector<std::string> keys;  // of the three fields
    };
    const Case cases[] = {
        {2, "PIN", "Bemerkung", {"Title", "Password", "Bemerkung"}},
        {3, "Login", "PIN", {"Title", "Login", "Password"}},
        {0, "Password", "Password", {"Title", "Password", "Arkel field 3"}},
        {2, "x", "Password", {"Title", "Password", "Arkel field 3"}},
        {0, "Title", "Arkel fields", {"Title", "Arkel field 2", "Arkel field 3"}},
        {0, "URL", "Notes", {"Title", "URL", "Notes"}},
        {0, "two\r\nlines", "Arkel field 2", {"Title", "Arkel field 2", "Arkel field 3"}},
    };
    for (const Case &c : cases) {
        XmlEntry e;
        std::vector<ObjectIssue> issues;
        ASSERT_TRUE(
            xmlEntry(line(c.title2, c.title3), ExportMapping{c.passwordField}, 0, e, issues));
        ASSERT_EQ(e.strings.size(), 5u);
        for (std::size_t f = 0; f < 3; ++f) EXPECT_EQ(e.strings[f].key, c.keys[f]) << c.title2;
        std::array<std::string, 3> keys, titles;
        ASSERT_TRUE(parseLayout(e.strings[4].value, keys, titles));
        EXPECT_EQ(titles[1], c.title2);
        EXPECT_EQ(titles[2], c.title3);
        for (std::size_t f = 0; f < 3; ++f) EXPECT_EQ(keys[f], c.keys[f]);
    }
    // What XML or KeePassXC cannot carry is refused by object and column.
    XmlEntry e;
    std::vector<ObjectIssue> issues;
    TextLine bad = line("PIN", "x");
    bad[colValue3] = {'a', 0x07};
    bad[colCategory] = {0x81};
    EXPECT_FALSE(xmlEntry(bad, ExportMapping{}, 4, e, issues));
    ASSERT_EQ(issues.size(), 2u);
    EXPECT_EQ(issues[0].column, 6);
    EXPECT_EQ(issues[0].text, "byte 0x07, a control character that KeePass XML cannot carry");
    EXPECT_EQ(issues[1].column, 7);
    EXPECT_EQ(issues[1].object, 4u);
}

}  // namespace
