// Generated passwords (lengths, groups, uniform choice) and the strength estimate against the
// key derivation it describes.
#include "password_generator.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "password_key.h"

namespace {

// A reproducible source for the tests; the program takes the system's generator.
RandomBytes Seeded(unsigned seed) {
    auto engine = std::make_shared<std::mt19937>(seed);
    return [engine](std::uint8_t *bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((*engine)());
        return true;
    };
}

bool Contains(std::u16string_view set, char16_t c) {
    return set.find(c) != std::u16string_view::npos;
}

TEST(GeneratePassword, HasTheLengthEveryChosenGroupAndNothingElse) {
    struct Case {
        int length;
        unsigned groups;
    };
    const Case cases[] = {
        {16, kGroupLetters | kGroupDigits | kGroupSigns},
        {4, kGroupLetters | kGroupDigits | kGroupSigns | kGroupUmlauts},
        {64, kGroupDigits},
        {5, kGroupSigns | kGroupUmlauts},
        {32, kGroupLetters},
    };
    const unsigned all[] = {kGroupLetters, kGroupDigits, kGroupSigns, kGroupUmlauts};
    RandomBytes random = Seeded(7);
    for (const Case &c : cases) {
        for (int round = 0; round < 200; ++round) {
            const std::u16string p = generatePassword(c.length, c.groups, random);
            ASSERT_EQ(p.size(), static_cast<size_t>(c.length)) << c.groups;
            for (unsigned g : all) {
                const std::u16string chars = passwordAlphabet(g);
                bool present = false;
                for (char16_t ch : p) present |= Contains(chars, ch);
                EXPECT_EQ(present, (c.groups & g) != 0) << "group " << g << " in " << c.groups;
            }
        }
    }
}

TEST(GeneratePassword, RefusesWhatCannotBeMadeAndAFailingSource) {
    RandomBytes random = Seeded(1);
    EXPECT_TRUE(generatePassword(16, 0, random).empty()) << "no group";
    EXPECT_TRUE(generatePassword(3, kGroupLetters, random).empty()) << "too short";
    EXPECT_TRUE(generatePassword(65, kGroupLetters, random).empty()) << "too long";
    EXPECT_EQ(generatePassword(4, kGroupLetters, random).size(), 4u);
    EXPECT_EQ(generatePassword(64, kGroupLetters, random).size(), 64u);
    RandomBytes broken = [](std::uint8_t *, std::size_t) { return false; };
    EXPECT_TRUE(generatePassword(16, kGroupLetters, broken).empty());
}

// With 52 letters the bytes 208 to 255 would favour the first 48 letters if folded by the
// remainder; they are drawn again instead. A source alternating 250 (the letter 'q' by remainder)
// and 10 ('K') gives only 'K'.
TEST(GeneratePassword, DrawsAgainOnTheBytesThatWouldBiasTheChoice) {
    RandomBytes alternating = [](std::uint8_t *bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) bytes[i] = i % 2 ? 10 : 250;
        return true;
    };
    EXPECT_EQ(generatePassword(8, kGroupLetters, alternating), u"KKKKKKKK");
    // The last byte that is taken as it is: 207 is the last letter.
    RandomBytes top = [](std::uint8_t *bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) bytes[i] = 207;
        return true;
    };
    EXPECT_EQ(generatePassword(4, kGroupLetters, top), u"zzzz");
}

TEST(GeneratePassword, CharactersAreSpreadEvenly) {
    // Letters alone: the group rule never rejects a draw, so each of the 52 letters should come
    // up equally often. 2,000 passwords of 32 characters, about 1,231 of each letter.
    RandomBytes random = Seeded(2026);
    std::map<char16_t, int> counts;
    const int passwords = 2000, length = 32;
    for (int i = 0; i < passwords; ++i)
        for (char16_t c : generatePassword(length, kGroupLetters, random)) ++counts[c];
    ASSERT_EQ(counts.size(), 52u);
    const double expected = passwords * length / 52.0;
    double chi = 0;
    for (auto &[c, n] : counts) chi += (n - expected) * (n - expected) / expected;
    // 51 degrees of freedom: the mean is 51; 150 is far out in the tail.
    EXPECT_LT(chi, 150.0);
}

TEST(PasswordStrength, CountsSixBitsPerCharacterAndEightCharactersPerKey) {
    struct Case {
        std::u16string password;
        int bits, level, distinct;
    };
    const Case cases[] = {
        {u"", 0, 0, 0},
        // 8 lower-case letters: 26 values, log2 26 = 4.70 bits each.
        {u"abcdefgh", 37, 0, 26},
        // Digits fold onto the 6-bit values of p to y: with letters they add nothing.
        {u"abcd1234", 37, 0, 26},
        {u"12345678", 26, 0, 10},
        // 52 letters: 5.70 bits each.
        {u"abcdefABCDEF", 68, 1, 52},
        // 24 of every kind: 64 values, 6 bits on each of the 24 key bytes: the most there is.
        {u"aB3$eF7&iJ1(mN5)qR9*uV0+", 144, 2, 64},
        // Beyond 24 characters nothing grows.
        {u"aB3$eF7&iJ1(mN5)qR9*uV0+aB3$eF7&iJ1(mN5)qR9*uV0+", 144, 2, 64},
        // 30 digits: per third 2 bytes take two digits (6 bits, not 6.64), 6 bytes one (3.32).
        {u"123456789012345678901234567890", 95, 2, 10},
        // Umlauts: 7 values of their own.
        {u"\u00e4\u00e4\u00e4\u00e4\u00e4\u00e4\u00e4\u00e4", 22, 0, 7},
    };
    for (const Case &c : cases) {
        const PasswordStrength s = estimatePasswordStrength(c.password);
        const std::string name(c.password.begin(), c.password.end());
        EXPECT_EQ(s.bits, c.bits) << name;
        EXPECT_EQ(s.level, c.level) << name;
        EXPECT_EQ(s.distinct, c.distinct) << name;
    }
}

// What the estimate claims of the keys, checked on the keys and the cipher themselves.
TEST(PasswordStrength, OnlyTheLowSixBitsOfEachCharacterReachTheCipher) {
    auto encrypt = [](std::u16string_view password) {
        PasswordKeys keys;
        makePasswordKeys(password, keys);
        std::array<std::uint8_t, 16> block{};
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 17);
        cipherWithKeys(block, 16, keys, 1);
        return block;
    };
    // Each character minus 0x40: 'a' (0x61) and '!' (0x21) differ only in bit 6.
    EXPECT_EQ(encrypt(u"abcdefghijkl"), encrypt(u"!\"#$%&'()*+,"));
    // Bit 5 counts: 'a' and 'A' make different keys.
    EXPECT_NE(encrypt(u"abcdefghijkl"), encrypt(u"Abcdefghijkl"));
    // A ninth character of a third folds onto the first byte of its key: the first and the
    // ninth character of a third can change places without changing the key.
    EXPECT_EQ(encrypt(u"abcdefghZijklmnopqrstuvwxyz"), encrypt(u"Zbcdefghaijklmnopqrstuvwxyz"));
}

}  // namespace
