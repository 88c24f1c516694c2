// Keys made from a password: the folding rule of makeKey and the split into three parts.
#include "password_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CipherKey keyOf(std::u16string_view text) {
    CipherKey key;
    key.fill(0xEE);
    makeKey(text, key);
    return key;
}

TEST(MakeKey, FoldsTwiceEachCodeUnitIntoItsByte) {
    struct Case {
        std::u16string text;
        CipherKey key;
    };
    const Case cases[] = {
        {u"", {0, 0, 0, 0, 0, 0, 0, 0}},
        {u"A", {0x82, 0, 0, 0, 0, 0, 0, 0}},
        {u"AB", {0x82, 0x84, 0, 0, 0, 0, 0, 0}},
        // The ninth unit folds back onto byte 0: 0x82 ^ 0x84.
        {u"AAAAAAAAB", {0x06, 0x82, 0x82, 0x82, 0x82, 0x82, 0x82, 0x82}},
        // Only the low 7 bits of a unit count: 0x1234 * 2 = 0x2468, 0x80 * 2 = 0x100, 0xC1 like
        // 0x41.
        {u"\x1234\x0080\x00C1", {0x68, 0x00, 0x82, 0, 0, 0, 0, 0}},
        // Equal units at the same position cancel.
        {u"ZbcdefghZ", {0x00, 0xC4, 0xC6, 0xC8, 0xCA, 0xCC, 0xCE, 0xD0}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(keyOf(c.text), c.key) << std::string(c.text.begin(), c.text.end());
}

TEST(PasswordKeys, SplitsIntoThirdsWithTheRestInTheLastPart) {
    struct Case {
        std::size_t length;
        std::size_t a, b;  // lengths of parts A and B; C takes the rest
    };
    const Case cases[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 1, 1},
                          {7, 2, 2}, {8, 2, 2}, {9, 3, 3}, {127, 42, 42}};
    for (const auto &c : cases) {
        std::u16string password;
        for (std::size_t i = 0; i < c.length; ++i)
            password.push_back(static_cast<char16_t>(u'!' + (i * 7) % 90));
        PasswordKeys keys;
        keys.key1.fill(0xEE);
        makePasswordKeys(password, keys);
        EXPECT_EQ(keys.key1, keyOf(password.substr(0, c.a))) << c.length;
        EXPECT_EQ(keys.key2, keyOf(password.substr(c.a, c.b))) << c.length;
        EXPECT_EQ(keys.key3, keyOf(password.substr(c.a + c.b))) << c.length;
    }
    PasswordKeys keys;
    makePasswordKeys(u"ab", keys);
    EXPECT_EQ(keys.key1, CipherKey{});
    EXPECT_EQ(keys.key2, CipherKey{});
    EXPECT_EQ(keys.key3, (CipherKey{0xC2, 0xC4, 0, 0, 0, 0, 0, 0}));
}

// Passwords that differ only in bit 6 and up of their units differ only in bit 7 of key bytes,
// which the cipher ignores.
TEST(PasswordKeys, HighBitsOfUnitsDoNotChangeTheCipher) {
    const std::u16string a = u"Geheimnis1";
    std::u16string b = a;
    b[0] = static_cast<char16_t>(b[0] ^ 0x40);
    b[4] = static_cast<char16_t>(b[4] ^ 0x3C0);
    b[9] = static_cast<char16_t>(b[9] ^ 0xFF40);
    PasswordKeys ka;
    PasswordKeys kb;
    makePasswordKeys(a, ka);
    makePasswordKeys(b, kb);
    EXPECT_NE(ka.key1, kb.key1);

    std::vector<std::uint8_t> x(64, 0x5A);
    std::vector<std::uint8_t> y = x;
    cipherWithKeys(x, 64, ka, 1);
    cipherWithKeys(y, 64, kb, 1);
    EXPECT_EQ(x, y);
}

}  // namespace
