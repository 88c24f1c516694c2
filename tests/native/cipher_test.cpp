// The block cipher: the literal reference is first checked against published DES vectors with the
// vault's departures switched off, then the fast implementation against the reference.
#include "cipher.h"
#include "reference_cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

reference::Block randomBlock(std::mt19937 &rng) {
    reference::Block b;
    for (auto &x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

Bytes randomBytes(std::mt19937 &rng, std::size_t n) {
    Bytes b(n);
    for (auto &x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

reference::Block hexBlock(const char *hex) {
    reference::Block b{};
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<std::uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
    return b;
}

TEST(ReferenceCipher, ReproducesPublishedDesWithDeparturesOff) {
    struct Case {
        const char *key;
        const char *plain;
        const char *cipher;
    };
    const Case cases[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
        {"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
        {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    };
    for (const auto &c : cases) {
        auto block = hexBlock(c.plain);
        const auto ks = reference::keySchedule(hexBlock(c.key), reference::kDes);
        reference::block(block, 1, ks, reference::kDes);
        EXPECT_EQ(block, hexBlock(c.cipher)) << c.key;
        reference::block(block, 0, ks, reference::kDes);
        EXPECT_EQ(block, hexBlock(c.plain)) << c.key;
    }
}

TEST(ReferenceCipher, EveryDepartureFromDesChangesTheResult) {
    std::mt19937 rng(7);
    const auto key = randomBlock(rng);
    const auto plain = randomBlock(rng);
    auto arkel = plain;
    reference::block(arkel, 1, reference::keySchedule(key));

    reference::Variant variants[4];
    variants[0].lsbFirst = false;
    variants[1].ownExpansion = false;
    variants[2].ownPc2 = false;
    variants[3].singleBitColumn = false;
    for (const auto &v : variants) {
        auto other = plain;
        reference::block(other, 1, reference::keySchedule(key, v), v);
        EXPECT_NE(other, arkel);
    }
}

TEST(Cipher, BlockMatchesReferenceBothDirections) {
    std::mt19937 rng(1);
    for (int n = 0; n < 2000; ++n) {
        const auto key = randomBlock(rng);
        const int direction = n % 2;
        auto expected = randomBlock(rng);
        CipherKey block = expected;
        KeySchedule schedule;
        makeKeySchedule(key, schedule);
        cipherBlock(block, direction, schedule);
        reference::block(expected, direction, reference::keySchedule(key));
        ASSERT_EQ(block, expected) << "case " << n;
    }
}

TEST(Cipher, BufferAndTripleMatchReference) {
    std::mt19937 rng(2);
    // Lengths around the 64-block groups of the fast path and every remainder of 8.
    const int lengths[] = {1, 7, 8, 9, 63, 64, 504, 505, 511, 512, 513, 520, 1024, 1031, 2000};
    for (int length : lengths) {
        for (int mode = 0; mode < 2; ++mode) {
            const auto k1 = randomBlock(rng);
            const auto k2 = randomBlock(rng);
            const auto k3 = randomBlock(rng);
            const std::size_t size = static_cast<std::size_t>(length + 7) / 8 * 8;
            const Bytes input = randomBytes(rng, size);

            Bytes fast = input;
            Bytes slow = input;
            ASSERT_EQ(cipherBuffer(fast, length, k1, mode), 0);
            reference::buffer(slow, length, k1, mode);
            ASSERT_EQ(fast, slow) << "cipherBuffer length " << length << " mode " << mode;

            fast = input;
            slow = input;
            ASSERT_EQ(cipherTriple(fast, length, k1, k2, k3, mode), 0);
            reference::triple(slow, length, k1, k2, k3, mode);
            ASSERT_EQ(fast, slow) << "cipherTriple length " << length << " mode " << mode;
        }
    }
}

TEST(Cipher, TripleMatchesReferenceOnManyRandomKeys) {
    std::mt19937 rng(3);
    for (int n = 0; n < 300; ++n) {
        const auto k1 = randomBlock(rng);
        const auto k2 = randomBlock(rng);
        const auto k3 = randomBlock(rng);
        const int length = 1 + static_cast<int>(rng() % 96);
        Bytes fast = randomBytes(rng, static_cast<std::size_t>(length + 7) / 8 * 8);
        Bytes slow = fast;
        cipherTriple(fast, length, k1, k2, k3, n % 2);
        reference::triple(slow, length, k1, k2, k3, n % 2);
        ASSERT_EQ(fast, slow) << "case " << n;
    }
}

// Known answers of this cipher (not DES), fixed so that any change of a table or of the bit
// order shows up even if it were made to both implementations.
TEST(Cipher, KnownAnswers) {
    struct Case {
        const char *key;
        const char *plain;
    };
    const Case cases[] = {{"0000000000000000", "0000000000000000"},
                          {"133457799BBCDFF1", "0123456789ABCDEF"},
                          {"FEFEFEFEFEFEFEFE", "FFFFFFFFFFFFFFFF"}};
    const char *expected[] = {"4658602C311E9D87", "A95339E2EFEE42A1", "E17557A47CD8D1DA"};
    for (int i = 0; i < 3; ++i) {
        CipherKey block = hexBlock(cases[i].plain);
        ASSERT_EQ(cipherBuffer(block, 8, hexBlock(cases[i].key), 1), 0);
        EXPECT_EQ(block, hexBlock(expected[i])) << i;
    }
}

TEST(Cipher, LengthDecidesHowManyBlocksChange) {
    struct Case {
        std::int32_t length;
        std::size_t changed;  // bytes from the start that change; the rest must not
    };
    const Case cases[] = {{0, 0}, {-5, 0}, {1, 8}, {5, 8}, {8, 8}, {9, 16}, {16, 16}, {17, 24}};
    const CipherKey key = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const auto &c : cases) {
        for (int triple = 0; triple < 2; ++triple) {
            const Bytes original(32, 0xA5);
            Bytes data = original;
            const int rc = triple ? cipherTriple(data, c.length, key, key, key, 1)
                                  : cipherBuffer(data, c.length, key, 1);
            ASSERT_EQ(rc, 0);
            for (std::size_t b = 0; b < 4; ++b) {
                const bool changed = !std::equal(data.begin() + 8 * b, data.begin() + 8 * b + 8,
                                                 original.begin() + 8 * b);
                EXPECT_EQ(changed, 8 * b < c.changed)
                    << "length " << c.length << " block " << b << " triple " << triple;
            }
        }
    }
}

TEST(Cipher, RefusesABufferShorterThanItsLastBlock) {
    const CipherKey key = {9, 9, 9, 9, 9, 9, 9, 9};
    const Bytes original(12, 0x3C);
    Bytes data = original;
    EXPECT_EQ(cipherBuffer(data, 12, key, 1), -1);
    EXPECT_EQ(cipherTriple(data, 9, key, key, key, 0), -1);
    EXPECT_EQ(data, original);
    EXPECT_EQ(cipherTriple(std::span<std::uint8_t>(data.data(), 8), 8, key, key, key, 1), 0);
}

TEST(Cipher, TripleProperties) {
    std::mt19937 rng(4);
    for (int n = 0; n < 50; ++n) {
        const auto k1 = randomBlock(rng);
        const auto k2 = randomBlock(rng);
        const auto k3 = randomBlock(rng);
        const std::size_t size = 8 * (1 + rng() % 80);
        const Bytes plain = randomBytes(rng, size);
        const auto length = static_cast<std::int32_t>(size);

        // Mode 0 undoes mode 1.
        Bytes data = plain;
        cipherTriple(data, length, k1, k2, k3, 1);
        EXPECT_NE(data, plain);
        cipherTriple(data, length, k1, k2, k3, 0);
        EXPECT_EQ(data, plain);

        // Three equal keys are a single encryption.
        Bytes triple = plain;
        Bytes single = plain;
        cipherTriple(triple, length, k1, k1, k1, 1);
        cipherBuffer(single, length, k1, 1);
        EXPECT_EQ(triple, single);

        // Bit 7 of every key byte takes no part.
        CipherKey flipped = k2;
        for (auto &b : flipped) b ^= static_cast<std::uint8_t>(rng() & 0x80);
        Bytes a = plain;
        Bytes b = plain;
        cipherTriple(a, length, k1, k2, k3, 1);
        cipherTriple(b, length, k1, flipped, k3, 1);
        EXPECT_EQ(a, b);
    }
}

TEST(Cipher, EqualBlocksGiveEqualCipherBlocks) {
    Bytes data(24, 0);
    for (int i = 0; i < 8; ++i) data[i] = data[16 + i] = static_cast<std::uint8_t>(0x30 + i);
    const CipherKey k1 = {1, 2, 3, 4, 5, 6, 7, 8};
    const CipherKey k2 = {8, 7, 6, 5, 4, 3, 2, 1};
    cipherTriple(data, 24, k1, k2, k1, 1);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 8, data.begin() + 16));
    EXPECT_FALSE(std::equal(data.begin(), data.begin() + 8, data.begin() + 8));
}

// An S-box ignores the middle bits g1, g2 and g3 of its group: with a hand-made key schedule, the
// subkey bits that meet them can be flipped in every round without any effect, while the bit that
// meets g4 matters.
TEST(Cipher, SBoxesIgnoreTheirMiddleBits) {
    std::mt19937 rng(5);
    for (int n = 0; n < 20; ++n) {
        KeySchedule schedule;
        for (auto &k : schedule.subkey)
            k = (static_cast<std::uint64_t>(rng()) << 16 ^ rng()) & 0xFFFFFFFFFFFFull;
        const auto plain = randomBlock(rng);
        CipherKey expected = plain;
        cipherBlock(expected, 1, schedule);

        for (int box = 0; box < 8; ++box) {
            KeySchedule middle = schedule;
            KeySchedule column = schedule;
            for (auto &k : middle.subkey) k ^= std::uint64_t{0b1110} << (6 * box);
            column.subkey[15] ^= std::uint64_t{1} << (6 * box + 4);
            CipherKey a = plain;
            CipherKey b = plain;
            cipherBlock(a, 1, middle);
            cipherBlock(b, 1, column);
            EXPECT_EQ(a, expected) << "box " << box;
            EXPECT_NE(b, expected) << "box " << box;
        }
    }
}

}  // namespace
