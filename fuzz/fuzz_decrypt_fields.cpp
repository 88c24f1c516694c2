// Any bytes as the encrypted fields of exchange-file lines, split where the import ends a field (a
// TAB or a CR) but without its limit of 512 digits, given in one batch to the import's decryption:
// each text must be the one its field gives alone, whatever the other fields of the batch are.
// Checking every field alone would run the cipher once per field, so each input checks one field,
// chosen by the input, against its decryption alone; every text must be a text the import can
// take.
#include "exchange_codec.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace {

// A batch as the import gives: a line's eight fields; a few lines at most, since the batch takes
// 256 bytes of memory per field.
constexpr std::size_t kMaxFields = 4 * kColumnCount;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const PasswordKeys keys = [] {
        PasswordKeys k;
        makePasswordKeys(u"fuzz", k);
        return k;
    }();
    const std::span<const std::uint8_t> input(data, size);

    std::vector<std::span<const std::uint8_t>> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < size && fields.size() < kMaxFields - 1; ++i) {
        if (data[i] == '\t' || data[i] == '\r') {
            fields.push_back(input.subspan(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(input.subspan(start));

    const std::vector<ByteString> texts = decryptFields(fields, keys);
    if (texts.size() != fields.size()) std::abort();
    for (const ByteString &text : texts)
        if (text.size() > kFieldTextMax || std::find(text.begin(), text.end(), 0) != text.end())
            std::abort();

    // Any change of the input may move the check to another field.
    const std::size_t chosen = std::accumulate(data, data + size, std::size_t{0}) % fields.size();
    if (texts[chosen] != decryptField(fields[chosen], keys)) std::abort();
    return 0;
}
