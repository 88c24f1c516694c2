#include "text.h"

#include <array>
#include <iconv.h>

void appendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {

// UTF-8 of every byte 1..255, filled once by the system's converter.
struct Cp1252Table {
    bool ok = false;
    std::array<std::string, 256> utf8;
};

// The characters of the bytes 0x80 to 0x9F; the five bytes the code page leaves unassigned stand
// for the C1 characters of the same value, as Windows converts them.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

Cp1252Table buildTable() {
    Cp1252Table table;
    iconv_t cd = iconv_open("UTF-8", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) return table;
    for (unsigned b = 1; b < 256; ++b) {
        char in[1] = {static_cast<char>(b)};
        char out[8];
        char *inp = in;
        char *outp = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1) &&
            inLeft == 0) {
            table.utf8[b].assign(out, outp);
        } else {
            // glibc refuses the bytes Windows-1252 leaves unassigned; Windows maps each to the C1
            // control character of the same value.
            table.utf8[b].clear();
            appendUtf8(table.utf8[b], b);
        }
    }
    iconv_close(cd);
    table.ok = true;
    return table;
}

}  // namespace

bool cp1252ToUtf8(std::span<const std::uint8_t> text, std::string &out) {
    static const Cp1252Table table = buildTable();
    if (!table.ok) return false;
    out.clear();
    for (std::uint8_t b : text) {
        if (b == 0)
            out.push_back('\0');
        else
            out += table.utf8[b];
    }
    return true;
}

std::size_t decodeUtf8(std::string_view text, std::size_t at, char32_t &c) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t extra = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at - 1 < extra) return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(text[at + k]);
        if ((cont & 0xC0) != 0x80) return 0;
        c = (c << 6) | (cont & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return 1 + extra;
}

int cp1252Byte(char32_t c) {
    if (c == 0) return -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c) return 0x80 + i;
    return -1;
}

bool utf8ToUtf16(std::string_view text, std::u16string &out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(text, i, c);
        if (length == 0) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return true;
}

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}
