// Text blobs and the verifier of encrypted records.
#include "record_blob.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace std::string_literals;
#include <vector>

namespace {

PasswordKeys keysOf(std::u16string_view password) {
    PasswordKeys keys;
    makePasswordKeys(password, keys);
    return keys;
}

std::u16string textOf(std::size_t units) {
    std::u16string text;
    for (std::size_t i = 0; i < units; ++i)
        text.push_back(static_cast<char16_t>(0x41 + i % 26 + (i % 3 == 0 ? 0x100 : 0)));
    return text;
}

TEST(TextBlob, SizeAndPlaintextLayout) {
    struct Case {
        std::size_t units;
        std::size_t size;
        bool terminator;  // whether the rounded size leaves room for the zero unit
    };
    const Case cases[] = {{1, 8, true},   {3, 8, true},      {4, 8, false},    {5, 16, true},
                          {8, 16, false}, {252, 504, false}, {253, 512, true}, {255, 512, true}};
    const PasswordKeys keys = keysOf(u"Passwort123");
    for (const auto &c : cases) {
        const std::u16string text = textOf(c.units);
        std::array<std::uint8_t, kTextBlobMax> blob;
        blob.fill(0xCC);
        ASSERT_EQ(encodeTextBlob(text, keys, blob), static_cast<int>(c.size)) << c.units;
        EXPECT_EQ(textBlobSize(c.units), c.size);

        std::vector<std::uint8_t> plain(blob.begin(),
                                        blob.begin() + static_cast<std::ptrdiff_t>(c.size));
        cipherWithKeys(plain, static_cast<std::int32_t>(c.size), keys, 0);
        for (std::size_t i = 0; i < c.units; ++i) {
            EXPECT_EQ(plain[2 * i], text[i] & 0xFF);
            EXPECT_EQ(plain[2 * i + 1], text[i] >> 8);
        }
        if (c.terminator) {
            EXPECT_EQ(plain[2 * c.units], 0);
            EXPECT_EQ(plain[2 * c.units + 1], 0);
        }
        EXPECT_EQ(decodeTextBlob(std::span(blob.data(), c.size), keys), text) << c.units;
    }
}

TEST(TextBlob, RefusesEmptyAndOverlongTexts) {
    const PasswordKeys keys = keysOf(u"x");
    std::array<std::uint8_t, kTextBlobMax> blob;
    blob.fill(0x11);
    EXPECT_EQ(encodeTextBlob(u"", keys, blob), -1);
    EXPECT_EQ(encodeTextBlob(textOf(256), keys, blob), -1);
    EXPECT_EQ(blob[0], 0x11);
}

TEST(TextBlob, ReaderStopsAtFirstZeroUnit) {
    const PasswordKeys keys = keysOf(u"abcdefgh");
    std::array<std::uint8_t, kTextBlobMax> blob;
    const std::u16string text = u"ab\0cd"s;
    ASSERT_EQ(encodeTextBlob(text, keys, blob), 16);
    EXPECT_EQ(decodeTextBlob(std::span(blob.data(), 16), keys), u"ab");
}

// Blobs of sizes that no encryption of this system makes: odd, not a multiple of 8, longer than
// 512 bytes, with no zero unit at all. Each decodes within its bytes (the sanitizers watch) and
// never to more than 255 units.
TEST(TextBlob, DecodesBlobsOfAnySizeWithinBounds) {
    const PasswordKeys keys = keysOf(u"Schluessel");
    std::mt19937 rng(11);
    const std::size_t sizes[] = {0, 1, 2, 7, 9, 31, 509, 510, 511, 512, 513, 520, 1000, 4096};
    for (std::size_t size : sizes) {
        std::vector<std::uint8_t> blob(size);
        for (auto &b : blob) b = static_cast<std::uint8_t>(rng());
        const std::u16string text = decodeTextBlob(blob, keys);
        EXPECT_LE(text.size(), std::min<std::size_t>(size / 2, 255)) << size;
    }

    // 512 bytes that decrypt to 256 non-zero units: the text keeps 255.
    std::vector<std::uint8_t> full(512, 0x41);
    cipherWithKeys(full, 512, keys, 1);
    EXPECT_EQ(decodeTextBlob(full, keys), std::u16string(255, u'\x4141'));
    // A longer blob is read as its first 512 bytes (203 units leave room for the terminator).
    const std::u16string text = textOf(203);
    std::vector<std::uint8_t> longer(600, 0x77);
    ASSERT_EQ(encodeTextBlob(text, keys,
                             std::span<std::uint8_t, kTextBlobMax>(longer.data(), kTextBlobMax)),
              408);
    EXPECT_EQ(decodeTextBlob(longer, keys), text);
}

TEST(Verifier, AcceptsOnlyTheKeysThatMadeIt) {
    const PasswordKeys right = keysOf(u"richtiges Passwort");
    const PasswordKeys wrong = keysOf(u"falsches Passwort");
    std::array<std::uint8_t, kVerifierSize> verifier;
    makeVerifier(right, verifier);

    std::vector<std::uint8_t> plain(verifier.begin(), verifier.end());
    cipherWithKeys(plain, 32, right, 0);
    EXPECT_EQ(plain[0], '7');
    EXPECT_EQ(plain[28], '5');
    EXPECT_EQ(plain[30], 0);
    EXPECT_EQ(plain[31], 0);

    EXPECT_TRUE(testVerifier(verifier, right));
    EXPECT_FALSE(testVerifier(verifier, wrong));
    // Sizes a database might hold: short ones fail, a longer one is judged by its first 32 bytes.
    EXPECT_FALSE(testVerifier(std::span(verifier.data(), 0), right));
    EXPECT_FALSE(testVerifier(std::span(verifier.data(), 24), right));
    std::vector<std::uint8_t> longer(verifier.begin(), verifier.end());
    longer.resize(45, 0xAB);
    EXPECT_TRUE(testVerifier(longer, right));
}

}  // namespace
