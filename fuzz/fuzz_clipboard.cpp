// Any bytes as the clipboard's memory of UTF-16 units, not terminated: the reader stays within
// it, every field it gives is terminated, at most 255 units, trimmed and free of separators, and
// the text a copy makes of those fields reads back as the same fields.
#include "clipboard_text.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using Buffers = std::array<std::array<char16_t, kClipboardFieldUnits>, kClipboardFieldCount>;

bool read(std::span<const char16_t> text, Buffers &buffers) {
    char16_t *const fields[kClipboardFieldCount] = {
        buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
        buffers[4].data(), buffers[5].data(), buffers[6].data(), buffers[7].data()};
    return readClipboardText(text, fields);
}

std::u16string fieldText(const std::array<char16_t, kClipboardFieldUnits> &buffer) {
    std::size_t n = 0;
    while (n < buffer.size() && buffer[n]) ++n;
    if (n == buffer.size()) std::abort();  // no terminator
    return std::u16string(buffer.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The units in memory of exactly their size, so that a read past them is caught.
    const std::size_t units = size / 2;
    const auto memory = std::make_unique<char16_t[]>(units);
    if (units) std::memcpy(memory.get(), data, units * 2);

    Buffers buffers;
    const bool pasteable = read(std::span(memory.get(), units), buffers);

    std::array<std::u16string, kClipboardFieldCount> fields;
    std::size_t total = 0;
    for (std::size_t i = 0; i < kClipboardFieldCount; ++i) {
        fields[i] = fieldText(buffers[i]);
        const std::u16string &f = fields[i];
        if (f.size() > 255) std::abort();
        if (f.find_first_of(u"\t\r\n") != std::u16string::npos) std::abort();
        if (!f.empty() && (f.front() == u' ' || f.back() == u' ')) std::abort();
        total += f.size();
    }
    if (total > units || total > kClipboardReadUnits) std::abort();
    if (pasteable != (!fields[0].empty() && !fields[1].empty() && !fields[2].empty() &&
                      !fields[3].empty() && !fields[4].empty()))
        std::abort();

    // The five lines a copy of these fields puts on the clipboard give them back.
    const std::u16string copy = fields[0] + u'\t' + fields[1] + u"\r\n" + fields[2] + u'\t' +
                                fields[3] + u"\r\n" + fields[4] + u'\t' + fields[5] + u"\r\n" +
                                fields[6] + u"\r\n" + fields[7] + u"\r\n";
    Buffers again;
    if (read(copy, again) != pasteable) std::abort();
    for (std::size_t i = 0; i < kClipboardFieldCount; ++i)
        if (fieldText(again[i]) != fields[i]) std::abort();
    return 0;
}
