// The reading of an object's clipboard text: fields at the 255-character limit, separators that
// are doubled or missing, a zero inside the text and clipboard memory without a terminator.
#include "clipboard_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace {

using namespace std::literals;

// title 1, value 1, title 2, value 2, title 3, value 3, category, flag
using Fields = std::array<std::u16string, kClipboardFieldCount>;

struct Reading {
    Fields fields;
    bool pasteable = false;
};

// Reads the units as they lie in clipboard memory of exactly their size, without a terminator,
// so that a read past them is a fault under AddressSanitizer.
Reading readText(std::u16string_view text) {
    const auto memory = std::make_unique<char16_t[]>(text.size());
    std::copy(text.begin(), text.end(), memory.get());
    std::array<std::array<char16_t, kClipboardFieldUnits>, kClipboardFieldCount> buffers;
    for (auto &buffer : buffers) buffer.fill(u'#');
    char16_t *const fields[kClipboardFieldCount] = {
        buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
        buffers[4].data(), buffers[5].data(), buffers[6].data(), buffers[7].data()};
    Reading reading;
    reading.pasteable = readClipboardText(std::span(memory.get(), text.size()), fields);
    for (std::size_t i = 0; i < kClipboardFieldCount; ++i) {
        const auto &buffer = buffers[i];
        const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
        EXPECT_NE(end, buffer.end()) << "field " << i << " has no terminator";
        reading.fields[i].assign(buffer.begin(), end);
    }
    return reading;
}

// The text a copy of an object with these fields puts on the clipboard.
std::u16string copyText(const Fields &f) {
    return f[0] + u'\t' + f[1] + u"\r\n" + f[2] + u'\t' + f[3] + u"\r\n" + f[4] + u'\t' + f[5] +
           u"\r\n" + f[6] + u"\r\n" + f[7] + u"\r\n";
}

TEST(ClipboardText, FieldsAtTheLimitAndSeparatorsDoubledOrMissing) {
    const std::u16string n255(255, u'N'), n256(256, u'N');
    struct Case {
        const char *what;
        std::u16string text;
        Fields fields;
        bool pasteable;
    } cases[] = {
        {"a field of 255 characters is whole and its TAB still separates",
         n255 + u"\tv\r\nt2\tw\r\nt3\r\n",
         {n255, u"v", u"t2", u"w", u"t3"},
         true},
        {"the 256th character starts the next field", n256 + u"\tv", {n255, u"N", u"v"}, false},
        {"blanks count against the limit before they are trimmed",
         std::u16string(250, u' ') + u"abcdefgh\tv",
         {u"abcde", u"fgh", u"v"},
         false},
        {"no separator at all", u"Name", {u"Name"}, false},
        {"no TAB: each line one field",
         u"Name a\r\nSeriennummer b\r\nBemerkung c\r\nPrivat\r\n1\r\n",
         {u"Name a", u"Seriennummer b", u"Bemerkung c", u"Privat", u"1"},
         true},
        {"CR CR, LF LF and TAB TAB leave an empty field",
         u"a\r\rb\n\nc\t\td",
         {u"a", u"", u"b", u"", u"c", u"", u"d"},
         false},
        {"CR LF TAB is two separators", u"a\r\n\tb", {u"a", u"", u"b"}, false},
        {"only separators", u"\r\n\r\n\t\t\r\n", {}, false},
        {"a zero unit ends the text",
         u"Name\ta\0Seriennummer\tb\r\nBemerkung\tc"s,
         {u"Name", u"a"},
         false},
        {"text after the eighth field is left",
         u"1\t2\t3\t4\t5\t6\t7\t8\t9\t10",
         {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8"},
         true},
        {"empty memory", u"", {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Reading r = readText(c.text);
        EXPECT_EQ(r.fields, c.fields);
        EXPECT_EQ(r.pasteable, c.pasteable);
    }
}

TEST(ClipboardText, TheLargestCopyReadsBackWhole) {
    // Seven texts of 255 units (umlauts and a surrogate pair among them) and the flag.
    std::u16string text(253, u'\u00e4');
    text += u"\U0001F511";
    const Fields fields = {text, text, text, text, text, text, text, u"1"};
    const std::u16string copy = copyText(fields);
    ASSERT_LE(copy.size(), kClipboardReadUnits);
    const Reading r = readText(copy);
    EXPECT_EQ(r.fields, fields);
    EXPECT_TRUE(r.pasteable);
}

TEST(ClipboardText, MemoryBeyondTheReadLimitIsNeverRead) {
    // Another program's text need not end inside its memory; a huge one without a terminator
    // gives the fields of its beginning.
    const Fields fields = {u"Name",      u"a", u"Seriennummer", u"b",
                           u"Bemerkung", u"c", u"Privat",       u"0"};
    std::u16string huge = copyText(fields);
    huge.append(200000 - huge.size(), u'x');
    const Reading r = readText(huge);
    EXPECT_EQ(r.fields, fields) << "the rest lies beyond the eighth field";
    EXPECT_TRUE(r.pasteable);

    // One endless field: eight fields of 255 units each, nothing past the read limit.
    const Reading endless = readText(std::u16string(200000, u'y'));
    for (const auto &field : endless.fields) EXPECT_EQ(field, std::u16string(255, u'y'));
}

}  // namespace
