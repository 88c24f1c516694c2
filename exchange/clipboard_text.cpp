#include "clipboard_text.h"

#include "wipe.h"

#include <array>
#include <cstring>

namespace {

bool isBlank(char16_t c) { return c == u' '; }

}  // namespace

const char16_t *NextClipboardField(char16_t *out, const char16_t *p) {
    std::size_t n = 0;
    while (n < kClipboardFieldUnits - 1 && *p && *p != u'\t' && *p != u'\r' && *p != u'\n')
        out[n++] = *p++;
    out[n] = 0;

    bool tab = false, cr = false, lf = false;
    for (;; ++p) {
        if (*p == u'\t' && !tab && !cr)
            tab = true;
        else if (*p == u'\n' && !lf && !tab)
            lf = true;
        else if (*p == u'\r' && !cr && !tab)
            cr = true;
        else
            break;
    }

    while (n > 0 && isBlank(out[n - 1])) out[--n] = 0;
    std::size_t start = 0;
    while (start < n && isBlank(out[start])) ++start;
    if (start > 0) std::memmove(out, out + start, (n - start + 1) * sizeof(char16_t));
    return p;
}

bool readClipboardText(std::span<const char16_t> text,
                       char16_t *const (&fields)[kClipboardFieldCount]) {
    for (char16_t *field : fields) field[0] = 0;

    // A copy that surely ends with a zero: another program's text need not end with one inside its
    // memory, and only its beginning can matter.
    std::array<char16_t, kClipboardReadUnits + 1> copy;
    std::size_t length = 0;
    while (length < text.size() && length < kClipboardReadUnits && text[length]) {
        copy[length] = text[length];
        ++length;
    }
    copy[length] = 0;

    if (length > 0) {
        const char16_t *p = copy.data();
        for (char16_t *field : fields) p = NextClipboardField(field, p);
    }
    secureWipe(copy.data(), (length + 1) * sizeof(char16_t));

    return fields[0][0] && fields[1][0] && fields[2][0] && fields[3][0] && fields[4][0];
}
