// Any bytes as an exchange file: the check pass, the reading of its lines and the decoding of
// every field in both variants must stay within their buffers, and a file that passes the check
// must split into lines of eight fields.
#include "exchange_codec.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const PasswordKeys keys = [] {
        PasswordKeys k;
        makePasswordKeys(u"fuzz", k);
        return k;
    }();
    const std::span<const std::uint8_t> file(data, size);

    CheckReport report;
    const int checked = checkExchangeFile(file, report);
    (void)describeFault(report);
    if (report.encrypted) {
        ByteString check;
        if (readCheckField(file, check)) (void)markerCheckMatches(check, keys);
    }

    std::vector<RawLine> lines;
    const int split = splitRecordLines(file, lines);
    if (checked == 0) {
        if (split != 0 || lines.size() != report.lines) std::abort();
        for (const auto &line : lines) {
            for (const auto &field : line) {
                if (field.size() > kFieldBufferSize) std::abort();
                const ByteString text = decodeField(field, report.encrypted, keys);
                if (text.size() > kFieldTextMax) std::abort();
            }
        }
    }

    // The whole input as one raw field of either variant.
    if (decodeField(file, false, keys).size() > kFieldTextMax ||
        decodeField(file, true, keys).size() > kFieldTextMax)
        std::abort();
    std::uint8_t small[7];
    if (decodeHexDigits(file, small) > sizeof small) std::abort();

    // Escaping and undoing it gives the text back.
    ByteString escaped;
    appendPlainField(escaped, file);
    const ByteString back = unescapeField(escaped);
    if (back.size() != size || !std::equal(back.begin(), back.end(), data)) std::abort();
    return 0;
}
