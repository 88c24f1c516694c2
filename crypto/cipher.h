// The vault's 64-bit block cipher.
//
// It has the structure of DES (initial permutation, sixteen Feistel rounds, final permutation,
// key schedule from PC-1, rotations and PC-2) but is NOT a standard DES: the bits of a byte are
// numbered from the least significant one, one entry of the expansion table and one of PC-2 differ
// from the published tables, and an S-box takes its column from a single input bit. Every stored
// record and every encrypted exchange file depends on all of that, so the cipher is built from its
// own tables here and no library takes its place.
#pragma once

#include <array>
#include <cstdint>
#include <span>

using CipherKey = std::array<std::uint8_t, 8>;

// Sixteen round subkeys of 48 bits; bit j of subkey[r] is bit j of the subkey of round r.
struct KeySchedule {
    std::uint64_t subkey[16];
};

// Builds the sixteen subkeys of one 8-byte key. The top bit of every key byte takes no part.
void makeKeySchedule(std::span<const std::uint8_t, 8> key, KeySchedule &schedule);

// Transforms one 8-byte block in place: direction non-zero encrypts (subkeys 0..15), zero decrypts
// (subkeys 15..0).
void cipherBlock(std::span<std::uint8_t, 8> block, int direction, const KeySchedule &schedule);

// Transforms the first (length + 7) / 8 blocks of the buffer in place, each on its own (no
// chaining), with a key schedule built afresh from the key. A length of 0 or less does nothing.
// Returns 0, or -1 without touching the buffer when it does not reach the end of the last block.
int cipherBuffer(std::span<std::uint8_t> buffer, std::int32_t length,
                 std::span<const std::uint8_t, 8> key, int direction);

// Three-key triple cipher over the buffer. Mode non-zero encrypts (key 1 encrypting, key 2
// decrypting, key 3 encrypting); mode zero undoes it (key 3 decrypting, key 2 encrypting, key 1
// decrypting). Same length rule and result as cipherBuffer.
int cipherTriple(std::span<std::uint8_t> buffer, std::int32_t length,
                 std::span<const std::uint8_t, 8> key1, std::span<const std::uint8_t, 8> key2,
                 std::span<const std::uint8_t, 8> key3, int mode);
