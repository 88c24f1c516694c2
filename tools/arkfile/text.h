// Text conversions of arkfile: exchange files are Windows-1252, the terminal is UTF-8, passwords
// become UTF-16 code units for the keys.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Converts Windows-1252 bytes to UTF-8 as Windows does: the five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 characters of the same value. Returns
// false when the system's converter is not available.
bool cp1252ToUtf8(std::span<const std::uint8_t> text, std::string &out);

// Decodes UTF-8 into UTF-16 code units (surrogate pairs above U+FFFF). Returns false for invalid
// UTF-8 (overlong forms, surrogates, truncated sequences, values above U+10FFFF).
bool utf8ToUtf16(std::string_view text, std::u16string &out);

// Decodes the UTF-8 character that starts at text[at] into c. Returns its length in bytes, or 0
// for invalid UTF-8 (overlong forms, surrogates, truncated sequences, values above U+10FFFF).
std::size_t decodeUtf8(std::string_view text, std::size_t at, char32_t &c);

// Appends the UTF-8 form of a character.
void appendUtf8(std::string &out, char32_t c);

// The Windows-1252 byte of a character as Windows converts it (the five C1 characters the code
// page leaves unassigned are the bytes of the same value), or -1 when the code page has none.
// NUL has none either: an exchange field ends at a zero byte.
int cp1252Byte(char32_t c);

// Number of characters of valid UTF-8 (for aligning table columns).
std::size_t utf8Length(std::string_view text);
