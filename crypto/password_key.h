// Keys of the triple cipher made from a password.
#pragma once

#include "cipher.h"

#include <cstdint>
#include <span>
#include <string_view>

// The three keys of one password (key 1 from the first third, key 2 from the second, key 3 from
// the rest).
struct PasswordKeys {
    CipherKey key1{};
    CipherKey key2{};
    CipherKey key3{};
};

// Folds a text into an 8-byte key: key byte (i mod 8) is XORed with the low 8 bits of twice code
// unit i. Bit 0 of every key byte stays 0; bits 7 and up of a code unit take no part.
void makeKey(std::u16string_view text, std::span<std::uint8_t, 8> key);

// Splits a password of n code units into three parts of n/3, n/3 and the rest, and makes one key of
// each. An empty password gives three zero keys.
void makePasswordKeys(std::u16string_view password, PasswordKeys &keys);

void wipeKeys(PasswordKeys &keys);

// The triple cipher with a password's keys; mode 1 encrypts, 0 decrypts. Same length rule and
// result as cipherTriple.
int cipherWithKeys(std::span<std::uint8_t> buffer, std::int32_t length, const PasswordKeys &keys,
                   int mode);
