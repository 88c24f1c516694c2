// The reading of an object's clipboard text, apart from the clipboard itself (no <windows.h>), so
// that it is tested and fuzzed natively. app/clipboard.cpp hands it the clipboard's memory.
//
// The text is five lines: "title<TAB>value" for the three fields, the category, the encrypt flag,
// each ended by CR LF. It is read field by field, so text of another layout gives fields, too.
#pragma once

#include <cstddef>
#include <span>

// Units of one read field: at most 255 characters and the terminating zero.
inline constexpr std::size_t kClipboardFieldUnits = 256;
inline constexpr std::size_t kClipboardFieldCount = 8;
// Eight fields of at most 255 characters and a separator of at most three: a reader never gets
// further into a clipboard text than this.
inline constexpr std::size_t kClipboardReadUnits = kClipboardFieldCount * (255 + 3);

// Copies one field from the zero-terminated text at p into out (kClipboardFieldUnits units; at
// most 255 characters, a longer field leaves its rest for the next one), trims its blanks and
// returns the position after its separator: one TAB, CR LF, LF CR, a CR or an LF alone, or LF TAB.
// At the text's terminating zero it gives an empty field and returns p.
const char16_t *NextClipboardField(char16_t *out, const char16_t *p);

// Reads the eight fields of a clipboard text into fields (kClipboardFieldUnits units each, in the
// order title 1, value 1, title 2, value 2, title 3, value 3, category, flag); fields the text
// lacks are empty. text is the clipboard's memory as it is: it is read up to its first zero unit,
// its end or kClipboardReadUnits units, whichever comes first, so memory without a terminator is
// safe. The working copy of the text is wiped. True when the text is a pasteable object: titles 1
// to 3 and values 1 and 2 not empty.
bool readClipboardText(std::span<const char16_t> text,
                       char16_t *const (&fields)[kClipboardFieldCount]);
