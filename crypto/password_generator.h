// Passwords made for the user, and an honest estimate of a password's strength as the program's
// own keys see it. Portable: the random bytes come from the caller (the system's generator in the
// program, a fixed or counting source in tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The character groups a generated password is drawn from.
enum PasswordGroup : unsigned {
    kGroupLetters = 1,  // A-Z a-z
    kGroupDigits = 2,   // 0-9
    kGroupSigns = 4,    // the 32 printable ASCII signs ! " # ... ~ (no blank)
    kGroupUmlauts = 8,  // Ä Ö Ü ä ö ü ß
};

inline constexpr int kGeneratedMinLength = 4;
inline constexpr int kGeneratedMaxLength = 64;
inline constexpr int kGeneratedDefaultLength = 16;

// The characters of the groups in the mask, in a fixed order.
std::u16string passwordAlphabet(unsigned groups);

// Fills the buffer with random bytes; false when the source failed.
using RandomBytes = std::function<bool(std::uint8_t *bytes, std::size_t count)>;

// A password of the given length (kGeneratedMinLength to kGeneratedMaxLength) from the groups in
// the mask, with at least one character of every chosen group. Every character is drawn
// uniformly from the union of the groups by rejection sampling on single bytes, and a draw that
// misses a chosen group is drawn again as a whole, so every password that has all groups is
// equally likely. Empty when the length is out of range, no group is chosen, the length is
// smaller than the number of groups, or the random source failed.
std::u16string generatePassword(int length, unsigned groups, const RandomBytes &random);

// How strong a password is for the program's keys. Each third of the password is folded into one
// 8-byte key (character i onto byte i mod 8, as twice its code), and the cipher ignores the top
// bit of every key byte: only the low 6 bits of each character reach the cipher ('a' and '!' make
// the same key), each key holds at most 8 x 6 = 48 bits, and the whole password at most 144 bits,
// reached with 24 characters; characters beyond the 8th of a third only fold onto the same bytes.
struct PasswordStrength {
    int bits;      // the estimate, rounded down
    int level;     // 0 weak, 1 medium, 2 strong
    int distinct;  // distinct 6-bit values the password's kinds of characters can take
};

inline constexpr int kStrengthMaxBits = 144;
inline constexpr int kStrengthFullLength = 24;
inline constexpr int kStrengthMediumBits = 48;
inline constexpr int kStrengthStrongBits = 80;

// The estimate assumes each character is chosen at random among the characters of its kinds
// (lower-case letters, upper-case letters, digits, signs, others) that the password uses, folded to
// their 6 bits; per key byte it counts at most 6 bits. So it is an upper bound: a word or a
// pattern is weaker than it says.
PasswordStrength estimatePasswordStrength(std::u16string_view password);
