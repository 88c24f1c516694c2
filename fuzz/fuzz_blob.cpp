// Any bytes as a text blob or verifier of the object database: decoding never reads or writes
// past them, and encoding a text then decoding it gives the text back up to its first zero unit.
#include "record_blob.h"

#include <array>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const PasswordKeys keys = [] {
        PasswordKeys k;
        makePasswordKeys(u"fuzz blob", k);
        return k;
    }();
    const std::span<const std::uint8_t> blob(data, size);

    if (decodeTextBlob(blob, keys).size() > kTextMaxUnits) std::abort();
    (void)testVerifier(blob, keys);

    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::array<std::uint8_t, kTextBlobMax> encoded;
    const int n = encodeTextBlob(text, keys, encoded);
    if (text.empty() || text.size() > kTextMaxUnits) {
        if (n != -1) std::abort();
        return 0;
    }
    if (n != static_cast<int>(textBlobSize(text.size()))) std::abort();
    const std::u16string decoded =
        decodeTextBlob(std::span(encoded.data(), static_cast<std::size_t>(n)), keys);
    if (decoded != text.substr(0, text.find(u'\0'))) std::abort();
    return 0;
}
