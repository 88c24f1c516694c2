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

// Number of characters of valid UTF-8 (for aligning table columns).
std::size_t utf8Length(std::string_view text);
