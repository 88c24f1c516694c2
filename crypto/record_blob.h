// The encrypted form of an object's texts in the object database: text blobs and the verifier.
#pragma once

#include "password_key.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// A text blob holds at most 255 code units and a terminator, rounded up to 8 bytes.
inline constexpr std::size_t kTextBlobMax = 512;
inline constexpr std::size_t kTextMaxUnits = 255;
inline constexpr std::size_t kVerifierSize = 32;

// The check text whose encryption is the verifier of every encrypted record.
inline constexpr std::u16string_view kCheckText = u"7E2A9C41F0D8B35";

// Stored size of a text of the given number of code units: twice the count, rounded up to 8.
std::size_t textBlobSize(std::size_t units);

// The plain form of a text's blob: the units in little-endian order, zero filler up to
// textBlobSize(text.size()) bytes, which out must hold. Returns that size. Since the cipher takes
// every 8-byte block on its own, the plain forms of several texts laid side by side and encrypted
// in one run come out exactly as each one's own blob.
std::size_t layoutTextBlob(std::u16string_view text, std::uint8_t *out);

// True when decrypted verifier bytes hold the check text: the units up to the first zero unit
// within the first 32 bytes (a shorter span reads as zero-padded).
bool isCheckText(std::span<const std::uint8_t> plain);

// Encrypts a text of 1 to 255 code units into its blob: the units in little-endian order, the
// terminator where the rounded size leaves room, zero filler. Returns the blob's size, or -1 for
// an empty or too long text (then the blob is untouched).
int encodeTextBlob(std::u16string_view text, const PasswordKeys &keys,
                   std::span<std::uint8_t, kTextBlobMax> blob);

// Decrypts a blob of any length and returns its text: the units up to the first zero unit, at
// most size/2 and at most 255. A blob longer than 512 bytes is read as its first 512 bytes; one
// whose size is not a multiple of 8 is zero-padded to the next block. Never reads or writes past
// the given bytes.
std::u16string decodeTextBlob(std::span<const std::uint8_t> blob, const PasswordKeys &keys);

// The 32-byte verifier: the check text and its terminator, encrypted.
void makeVerifier(const PasswordKeys &keys, std::span<std::uint8_t, kVerifierSize> verifier);

// True when the verifier decrypts to the check text under these keys. A verifier of another size
// than 32 bytes is compared on its first 32 bytes (zero-padded when shorter).
bool testVerifier(std::span<const std::uint8_t> verifier, const PasswordKeys &keys);
