// The bytes of exchange files: escapes, encrypted fields, the marker, the check pass and whole
// lines.
#include "exchange_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ByteString bytes(std::string_view s) { return ByteString(s.begin(), s.end()); }

std::string str(const ByteString &b) { return std::string(b.begin(), b.end()); }

PasswordKeys keysOf(std::u16string_view password) {
    PasswordKeys keys;
    makePasswordKeys(password, keys);
    return keys;
}

const PasswordKeys kFileKeys = keysOf(u"Dateipasswort");

TEST(PlainField, EscapesAndTheirUndoing) {
    struct Case {
        std::string text;
        std::string written;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"a\tb", "a\\tb"},
        {"Zeile 1\r\nZeile 2", "Zeile 1\\r\\nZeile 2"},
        {"C:\\Pfad\\", "C:\\\\Pfad\\\\"},
        {"\xE4\xF6\xFC\x80\x81", "\xE4\xF6\xFC\x80\x81"},
    };
    for (const auto &c : cases) {
        ByteString out;
        appendPlainField(out, bytes(c.text));
        EXPECT_EQ(str(out), c.written);
        EXPECT_EQ(str(unescapeField(out)), c.text);
    }
}

TEST(PlainField, UnescapesWhatNoExportWrites) {
    struct Case {
        std::string raw;
        std::string text;
    };
    const Case cases[] = {
        {"\\x\\0\\\\", "x0\\"},  // any other character stands for itself
        {"ab\\", "ab"},          // a backslash at the end is dropped
        {"\\", ""},
        {"\\\\\\", "\\"},
    };
    for (const auto &c : cases) EXPECT_EQ(str(unescapeField(bytes(c.raw))), c.text) << c.raw;
    // The importer's text ends at a zero byte.
    EXPECT_EQ(str(decodeField(bytes(std::string("ab\0cd", 5)), false, kFileKeys)), "ab");
}

TEST(EncryptedField, DigitCountFollowsTheRoundedSize) {
    struct Case {
        std::size_t length;
        int digits;  // -1: refused
    };
    const Case cases[] = {{0, 0},     {1, 16},    {8, 16},    {9, 32},    {16, 32}, {17, 48},
                          {248, 496}, {249, 512}, {254, 512}, {255, 512}, {256, -1}};
    for (const auto &c : cases) {
        ByteString text;
        for (std::size_t i = 0; i < c.length; ++i)
            text.push_back(static_cast<std::uint8_t>(0x20 + i % 0xDF));
        ByteString out = bytes("x");
        const int rc = appendEncryptedField(out, text, kFileKeys);
        if (c.digits < 0) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(str(out), "x");
            continue;
        }
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(out.size(), 1u + static_cast<std::size_t>(c.digits)) << c.length;
        for (std::size_t i = 1; i < out.size(); ++i)
            EXPECT_TRUE(std::isdigit(out[i]) || (out[i] >= 'A' && out[i] <= 'F'));
        const ByteString digits(out.begin() + 1, out.end());
        EXPECT_EQ(decryptField(digits, kFileKeys), text) << c.length;
    }
}

TEST(EncryptedField, DigitRule) {
    struct Case {
        std::string digits;
        ByteString decoded;
    };
    const Case cases[] = {
        {"", {}},        {"00FF7A", {0x00, 0xFF, 0x7A}}, {"0a", {0x2A}},  // "a" counts 97 - 55 = 42
        {"ff", {0x1F}},                                                   // (47 * 16 + 47) mod 256
        {"ABC", {0xAB}},  // a lone last digit is ignored
        {"G0", {0x00}},   // (16 * 16 + 0) mod 256
        {"!!", {0x01}},   // below "0": (-15 * 16 - 15) mod 256
    };
    for (const auto &c : cases) {
        std::array<std::uint8_t, 4> out{};
        const std::size_t n = decodeHexDigits(bytes(c.digits), out);
        EXPECT_EQ(ByteString(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), c.decoded)
            << c.digits;
    }
    // Never writes past the destination.
    std::array<std::uint8_t, 2> small{};
    EXPECT_EQ(decodeHexDigits(bytes("0102030405"), small), 2u);

    // Lowercase digits of a real field decode to other bytes.
    ByteString out;
    appendEncryptedField(out, bytes("Konto 4711"), kFileKeys);
    for (auto &c : out) c = static_cast<std::uint8_t>(std::tolower(c));
    EXPECT_NE(str(decryptField(out, kFileKeys)), "Konto 4711");
}

// A line's fields decrypted together give each field's own text, whatever their lengths: the
// padding of one field must not reach into the next, nor the odd digit counts and overlong
// fields a damaged file may hold.
TEST(EncryptedField, FieldsDecryptedTogetherEqualEachDecryptedAlone) {
    std::vector<ByteString> fields;
    for (std::size_t length : {0, 1, 7, 8, 9, 16, 17, 100, 248, 255}) {
        ByteString text;
        for (std::size_t i = 0; i < length; ++i)
            text.push_back(static_cast<std::uint8_t>(0x21 + (i * 7 + length) % 0xDE));
        ByteString out;
        ASSERT_EQ(appendEncryptedField(out, text, kFileKeys), 0);
        fields.push_back(out);
    }
    fields.push_back(ByteString(3, 'C'));
    fields.push_back(ByteString(15, '7'));
    fields.push_back(ByteString(600, 'A'));
    std::vector<std::span<const std::uint8_t>> spans(fields.begin(), fields.end());
    const std::vector<ByteString> together = decryptFields(spans, kFileKeys);
    ASSERT_EQ(together.size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(together[i], decryptField(fields[i], kFileKeys)) << i;
    EXPECT_TRUE(decryptFields({}, kFileKeys).empty());
}

// What the import would drop or garble without a word is found per line: the first column and
// what it loses.
TEST(LineLoss, NamesTheFirstFieldThatIsNotImportedWhole) {
    auto encrypted = [](std::string_view text) {
        ByteString out;
        EXPECT_EQ(appendEncryptedField(out, bytes(text), kFileKeys), 0);
        return str(out);
    };
    const std::string ok = encrypted("Konto"), nul = encrypted(std::string("ab\0cd", 5)),
                      trailingNul = encrypted(std::string("abc\0", 4));
    struct Case {
        bool encrypted;
        std::vector<std::string> fields;
        std::size_t column;
        FieldLoss loss;
    };
    const Case cases[] = {
        {false, {"Name", "a\\tb", ""}, 0, FieldLoss::none},
        {false, {"Name", std::string("a\0b", 3)}, 2, FieldLoss::nulByte},
        {false, {"x", "y", std::string("\\\0", 2)}, 3, FieldLoss::nulByte},  // an escaped NUL
        {true, {ok, "", ok}, 0, FieldLoss::none},
        // Zeros after the text cannot be told from the padding of the last block.
        {true, {trailingNul}, 0, FieldLoss::none},
        {true, {ok, nul}, 2, FieldLoss::nulByte},
        {true, {ok + "A"}, 1, FieldLoss::loneDigit},
        {true, {"0a1B2C3D4E5F6071"}, 1, FieldLoss::notHexDigit},
        {true, {ok, "G0"}, 2, FieldLoss::notHexDigit},
        {true, {ok, "0A1\r"}, 2, FieldLoss::notHexDigit},
    };
    for (const Case &c : cases) {
        std::vector<ByteString> raw;
        for (const std::string &f : c.fields) raw.push_back(bytes(f));
        std::vector<std::span<const std::uint8_t>> spans(raw.begin(), raw.end());
        FieldLoss loss = FieldLoss::nulByte;
        EXPECT_EQ(lineLoss(spans, c.encrypted, kFileKeys, &loss), c.column) << c.fields.back();
        EXPECT_EQ(loss, c.loss) << c.fields.back();
    }
}

TEST(EncryptedField, OddAndOverlongFieldsStayInBounds) {
    const std::size_t counts[] = {1, 3, 15, 17, 511, 512, 513, 514, 600, 2000};
    for (std::size_t n : counts) {
        ByteString digits(n, 'C');
        const ByteString text = decryptField(digits, kFileKeys);
        EXPECT_LE(text.size(), std::min<std::size_t>(n / 2, 255)) << n;
    }
}

TEST(Marker, EmptyExportIs45BytesAndChecksThePassword) {
    ByteString file;
    appendMarker(file, kFileKeys);
    ASSERT_EQ(file.size(), 45u);
    EXPECT_EQ(str(ByteString(file.begin(), file.begin() + 11)), "encrypted\r\n");
    EXPECT_EQ(str(ByteString(file.end() - 2, file.end())), "\r\n");
    EXPECT_TRUE(hasEncryptedMarker(file));

    ByteString check;
    ASSERT_TRUE(readCheckField(file, check));
    EXPECT_EQ(check.size(), 32u);
    EXPECT_TRUE(markerCheckMatches(check, kFileKeys));
    EXPECT_FALSE(markerCheckMatches(check, keysOf(u"Dateipasswort2")));

    CheckReport report;
    EXPECT_EQ(checkExchangeFile(file, report), 0);
    EXPECT_TRUE(report.encrypted);
    EXPECT_EQ(report.lines, 0u);
}

// A record line with the given number of TABs (seven for a good one).
std::string line(const std::string &f1, const std::string &f2 = "b", int tabs = 7) {
    const std::string columns[] = {"Name", f1, "Seriennummer", f2, "Bemerkung", "c", "Privat", "1",
                                   "x",    "y"};
    std::string s = columns[0];
    for (int i = 1; i <= tabs; ++i) s += "\t" + columns[i];
    return s + "\r\n";
}

TEST(CheckPass, PlainFiles) {
    const std::string f255(255, 'x');
    const std::string f256(256, 'x');
    // 254 bytes of line breaks and backslashes escape to 508 bytes; the import must take it back.
    std::string escaped254;
    for (int i = 0; i < 127; ++i) escaped254 += i % 2 ? "\\r\\n" : "\\\\\\t";
    std::string escaped256 = escaped254 + "\\\\x";
    struct Case {
        const char *name;
        std::string file;
        int result;
        std::size_t lines;
        CheckFault fault;
        std::size_t faultLine;
        std::size_t faultColumn;
    };
    const Case cases[] = {
        {"empty file", "", 0, 0, CheckFault::none, 0, 0},
        {"one line", line("a"), 0, 1, CheckFault::none, 0, 0},
        {"text after the last CR", line("a") + "Name\tx\ty", 0, 1, CheckFault::none, 0, 0},
        {"LF alone continues the line", "Name\ta\n" + line("b").substr(6), 0, 1, CheckFault::none,
         0, 0},
        {"six TABs", line("a") + line("a", "b", 6), -1, 1, CheckFault::wrongColumnCount, 2, 7},
        {"eight TABs", line("a", "b", 8), -1, 0, CheckFault::wrongColumnCount, 1, 9},
        {"255-byte field", line(f255), 0, 1, CheckFault::none, 0, 0},
        {"256-byte field", line(f256), -1, 0, CheckFault::fieldTooLong, 1, 2},
        {"256-byte last field", line("a") + "1\t2\t3\t4\t5\t6\t7\t" + f256 + "\r\n", -1, 1,
         CheckFault::fieldTooLong, 2, 8},
        {"254 bytes escaped to 508", line(escaped254), 0, 1, CheckFault::none, 0, 0},
        {"256 bytes escaped", line(escaped256), -1, 0, CheckFault::fieldTooLong, 1, 2},
        {"damaged marker read as plain", "encrypteD\r\n" + line("a"), -1, 0,
         CheckFault::wrongColumnCount, 1, 1},
    };
    for (const auto &c : cases) {
        CheckReport report;
        EXPECT_EQ(checkExchangeFile(bytes(c.file), report), c.result) << c.name;
        EXPECT_FALSE(report.encrypted) << c.name;
        EXPECT_EQ(report.lines, c.lines) << c.name;
        EXPECT_EQ(report.fault, c.fault) << c.name;
        if (c.result != 0) {
            EXPECT_EQ(report.faultLine, c.faultLine) << c.name;
            EXPECT_EQ(report.faultColumn, c.faultColumn) << c.name;
        }
    }
}

TEST(CheckPass, EncryptedFiles) {
    ByteString head;
    appendMarker(head, kFileKeys);
    const std::string marker = str(head);
    const auto withField = [&](std::size_t digits) {
        return marker + "A\t" + std::string(digits, 'B') + "\tC\tD\tE\tF\tG\tH\r\n";
    };
    struct Case {
        const char *name;
        std::string file;
        int result;
        CheckFault fault;
        std::size_t faultLine;
    };
    const Case cases[] = {
        {"510 digits, the earlier limit", withField(510), 0, CheckFault::none, 0},
        {"512 digits", withField(512), 0, CheckFault::none, 0},
        {"514 digits", withField(514), -1, CheckFault::fieldTooLong, 3},
        {"second line bad", withField(16) + "A\tB\r\n", -1, CheckFault::wrongColumnCount, 4},
        {"ends inside the check field", "encrypted\r\n0123456789", -1,
         CheckFault::missingCheckField, 2},
        {"marker only", "encrypted\r\n", -1, CheckFault::missingCheckField, 2},
    };
    for (const auto &c : cases) {
        CheckReport report;
        EXPECT_EQ(checkExchangeFile(bytes(c.file), report), c.result) << c.name;
        EXPECT_TRUE(report.encrypted) << c.name;
        EXPECT_EQ(report.fault, c.fault) << c.name;
        EXPECT_EQ(report.faultLine, c.faultLine) << c.name;
    }
}

TEST(ImportRules, FlagColumn) {
    const std::pair<std::string, int> cases[] = {{"1", 1},  {"10", 1}, {"1x", 1}, {"0", 0},
                                                 {"-1", 0}, {"", 0},   {" 1", 0}, {"2", 0}};
    for (const auto &[text, flag] : cases) EXPECT_EQ(flagFromColumn(bytes(text)), flag) << text;
}

TEST(ImportRules, FieldReaderSkipsLfAndStaysInItsBuffer) {
    FieldReader reader;
    const std::string input = "a\nb\\\nc\t";
    bool ended = false;
    for (char c : input) ended = reader.addByte(static_cast<std::uint8_t>(c));
    EXPECT_TRUE(ended);
    EXPECT_FALSE(reader.endedLine());
    EXPECT_EQ(str(ByteString(reader.field().begin(), reader.field().end())), "ab\\c");

    reader.clear();
    for (int i = 0; i < 600; ++i) EXPECT_FALSE(reader.addByte('x'));
    EXPECT_TRUE(reader.addByte('\r'));
    EXPECT_TRUE(reader.endedLine());
    EXPECT_EQ(reader.field().size(), kFieldBufferSize);
}

TextLine textLine(std::initializer_list<std::string> columns) {
    TextLine l;
    std::size_t i = 0;
    for (const auto &c : columns) l[i++] = bytes(c);
    return l;
}

TEST(RecordLines, ExportFormOfALine) {
    TextLine l = textLine({"", "a", "", "b", "", "c", "Privat", "10"});
    normaliseForExport(l);
    ByteString out;
    ASSERT_EQ(appendRecordLine(out, l, false, kFileKeys), 0);
    EXPECT_EQ(str(out), "Name\ta\tSeriennummer\tb\tBemerkung\tc\tPrivat\t1\r\n");

    // The encrypted line runs the cipher once over all its fields; each field must still come out
    // as its own encryption, for empty fields and fields of 1 to 255 bytes.
    TextLine e =
        textLine({"", "a", "achtByte", "neun Byte", std::string(255, 'w'), "", "Privat", "1"});
    out.clear();
    ASSERT_EQ(appendRecordLine(out, e, true, kFileKeys), 0);
    ByteString separate;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        ASSERT_EQ(appendEncryptedField(separate, e[c], kFileKeys), 0);
        separate.push_back(c + 1 < kColumnCount ? '\t' : '\r');
    }
    separate.push_back('\n');
    EXPECT_EQ(str(out), str(separate));

    // Lines appended as a group come out as the same lines appended one by one, in both variants;
    // a group with one field too long appends nothing.
    const std::vector<TextLine> group = {e, textLine({"T", "", "", "x", "", "", "", "0"}), e};
    for (bool encrypted : {false, true}) {
        ByteString one, all;
        for (const TextLine &g : group)
            ASSERT_EQ(appendRecordLine(one, g, encrypted, kFileKeys), 0);
        ASSERT_EQ(appendRecordLines(all, group, encrypted, kFileKeys), 0);
        EXPECT_EQ(str(all), str(one)) << "encrypted " << encrypted;
        std::vector<TextLine> bad = group;
        bad[1][colValue2] = ByteString(256, 'x');
        all.clear();
        EXPECT_EQ(appendRecordLines(all, bad, encrypted, kFileKeys), -1);
        EXPECT_TRUE(all.empty());
    }

    l[colFlag] = bytes("-1");
    normaliseForExport(l);
    EXPECT_EQ(str(l[colFlag]), "0");

    l[colValue3] = ByteString(256, 'x');
    out.clear();
    EXPECT_EQ(appendRecordLine(out, l, true, kFileKeys), -1);
    EXPECT_TRUE(out.empty());
}

// Lines written in either variant pass the check and read back to the same texts, including
// fields of 254 bytes, which take 512 hex digits or up to 508 escaped bytes.
TEST(RecordLines, RoundTripThroughTheCheckAndTheReader) {
    std::string tricky;
    for (int i = 0; i < 254; ++i) tricky.push_back("\t\r\n\\\xE4"[i % 5]);
    const std::vector<TextLine> lines = {
        textLine({"Name", "Bank", "PIN", "1234", "Bemerkung", "", "Privat", "1"}),
        textLine({"T", std::string(254, 'w'), "Seriennummer", tricky, "Bemerkung", "x", "", "0"}),
        textLine({"Name", "", "Seriennummer", "", "Bemerkung", "", "", "0"}),
    };
    for (int encrypted = 0; encrypted < 2; ++encrypted) {
        ByteString file;
        if (encrypted) appendMarker(file, kFileKeys);
        for (const auto &l : lines) ASSERT_EQ(appendRecordLine(file, l, encrypted, kFileKeys), 0);

        CheckReport report;
        ASSERT_EQ(checkExchangeFile(file, report), 0) << describeFault(report);
        EXPECT_EQ(report.lines, lines.size());
        std::vector<RawLine> raw;
        ASSERT_EQ(splitRecordLines(file, raw), 0);
        ASSERT_EQ(raw.size(), lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            for (std::size_t c = 0; c < kColumnCount; ++c)
                EXPECT_EQ(decodeField(raw[i][c], encrypted, kFileKeys), lines[i][c])
                    << "line " << i << " column " << c << " encrypted " << encrypted;
    }
}

TEST(RecordLines, SplitLeavesOutBytesAfterTheLastCr) {
    std::vector<RawLine> raw;
    ASSERT_EQ(splitRecordLines(bytes(line("a") + "1\t2\t3\t4\t5\t6\t7\t8\t9\t10"), raw), 0);
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(str(raw[0][colValue1]), "a");
    EXPECT_EQ(splitRecordLines(bytes("a\tb\r\n"), raw), -1);
}

}  // namespace
