#include "text.h"

#include <array>
#include <iconv.h>

namespace {

// UTF-8 of every byte 1..255, filled once by the system's converter.
struct Cp1252Table {
    bool ok = false;
    std::array<std::string, 256> utf8;
};

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

bool utf8ToUtf16(std::string_view text, std::u16string &out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
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
            return false;
        }
        if (text.size() - i - 1 < static_cast<std::size_t>(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((cont & 0xC0) != 0x80) return false;
            c = (c << 6) | (cont & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += 1 + static_cast<std::size_t>(extra);
    }
    return true;
}

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}
