#include "exchange_codec.h"

#include "wipe.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kTab = 0x09;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kBackslash = 0x5C;

// Text up to the first zero byte, at most 255 bytes: what the importer's conversion sees.
ByteString cutText(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    const auto length =
        std::min<std::size_t>(static_cast<std::size_t>(end - bytes.begin()), kFieldTextMax);
    return ByteString(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

unsigned digitValue(std::uint8_t c) {
    // Unsigned arithmetic: characters below "0" wrap, which only changes the byte they give.
    return c >= 'A' ? c - 55u : c - 48u;
}

}  // namespace

void appendPlainField(ByteString &out, std::span<const std::uint8_t> text) {
    for (std::uint8_t b : text) {
        switch (b) {
        case kTab:
            out.push_back(kBackslash);
            out.push_back('t');
            break;
        case kLf:
            out.push_back(kBackslash);
            out.push_back('n');
            break;
        case kCr:
            out.push_back(kBackslash);
            out.push_back('r');
            break;
        case kBackslash:
            out.push_back(kBackslash);
            out.push_back(kBackslash);
            break;
        default: out.push_back(b); break;
        }
    }
}

ByteString unescapeField(std::span<const std::uint8_t> raw) {
    ByteString text;
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != kBackslash) {
            text.push_back(raw[i]);
            continue;
        }
        if (++i == raw.size()) break;  // a backslash at the end of the field is dropped
        switch (raw[i]) {
        case 'n': text.push_back(kLf); break;
        case 'r': text.push_back(kCr); break;
        case 't': text.push_back(kTab); break;
        default: text.push_back(raw[i]); break;
        }
    }
    return text;
}

int appendEncryptedField(ByteString &out, std::span<const std::uint8_t> text,
                         const PasswordKeys &keys) {
    if (text.size() > kFieldTextMax) return -1;
    // Zero-padded to the next multiple of 8; a 249 to 255-byte text takes all 256 bytes (512
    // digits).
    std::array<std::uint8_t, 256> buffer{};
    std::copy(text.begin(), text.end(), buffer.begin());
    const std::size_t size = (text.size() + 7) / 8 * 8;
    cipherWithKeys(buffer, static_cast<std::int32_t>(size), keys, 1);
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(static_cast<std::uint8_t>(kHex[buffer[i] >> 4]));
        out.push_back(static_cast<std::uint8_t>(kHex[buffer[i] & 0x0F]));
    }
    secureWipe(buffer.data(), buffer.size());
    return 0;
}

std::size_t decodeHexDigits(std::span<const std::uint8_t> digits, std::span<std::uint8_t> out) {
    const std::size_t pairs = std::min(digits.size() / 2, out.size());
    for (std::size_t i = 0; i < pairs; ++i)
        out[i] = static_cast<std::uint8_t>(
            (digitValue(digits[2 * i]) * 16 + digitValue(digits[2 * i + 1])) & 0xFF);
    return pairs;
}

ByteString decryptField(std::span<const std::uint8_t> digits, const PasswordKeys &keys) {
    std::array<std::uint8_t, kEncryptedFieldLimit / 2> buffer{};
    const std::size_t m = decodeHexDigits(digits, buffer);
    cipherWithKeys(buffer, static_cast<std::int32_t>(m), keys, 0);
    // Only the decoded bytes count: the zero padding of a count that is not a multiple of 8 never
    // came from an export.
    ByteString text = cutText(std::span<const std::uint8_t>(buffer.data(), m));
    secureWipe(buffer.data(), buffer.size());
    return text;
}

namespace {

// The fields of a line decrypted in one run of the cipher, each with every byte its digits gave
// (a NUL and the padding zeros included).
std::vector<ByteString> decryptFieldsWhole(std::span<const std::span<const std::uint8_t>> fields,
                                           const PasswordKeys &keys) {
    constexpr std::size_t kSlot = kEncryptedFieldLimit / 2;
    // Each field's bytes start on a block boundary and are zero-padded to the next one, as
    // decryptField pads them.
    std::vector<std::uint8_t> buffer(fields.size() * kSlot);
    std::vector<std::size_t> lengths(fields.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        lengths[i] = decodeHexDigits(fields[i], std::span<std::uint8_t>(buffer.data() + at, kSlot));
        at += (lengths[i] + 7) / 8 * 8;
    }
    cipherWithKeys(std::span<std::uint8_t>(buffer.data(), at), static_cast<std::int32_t>(at), keys,
                   0);
    std::vector<ByteString> texts;
    texts.reserve(fields.size());
    at = 0;
    for (std::size_t length : lengths) {
        texts.emplace_back(buffer.begin() + static_cast<std::ptrdiff_t>(at),
                           buffer.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += (length + 7) / 8 * 8;
    }
    secureWipe(buffer.data(), buffer.size());
    return texts;
}

}  // namespace

std::vector<ByteString> decryptFields(std::span<const std::span<const std::uint8_t>> fields,
                                      const PasswordKeys &keys) {
    std::vector<ByteString> texts = decryptFieldsWhole(fields, keys);
    for (ByteString &t : texts) {
        ByteString cut = cutText(t);
        secureWipe(t.data(), t.size());
        t = std::move(cut);
    }
    return texts;
}

std::size_t lineLoss(std::span<const std::span<const std::uint8_t>> fields, bool encrypted,
                     const PasswordKeys &keys, FieldLoss *loss) {
    *loss = FieldLoss::none;
    if (!encrypted) {
        // Unescaping only drops backslashes: a NUL in the text is a NUL byte of the raw field.
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (std::find(fields[i].begin(), fields[i].end(), std::uint8_t{0}) != fields[i].end()) {
                *loss = FieldLoss::nulByte;
                return i + 1;
            }
        }
        return 0;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const bool hex = std::all_of(fields[i].begin(), fields[i].end(), [](std::uint8_t c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        });
        if (!hex || fields[i].size() % 2) {
            *loss = hex ? FieldLoss::loneDigit : FieldLoss::notHexDigit;
            return i + 1;
        }
    }
    // A NUL before the last non-zero byte of a field; the zeros after its text pad the last block.
    std::vector<ByteString> texts = decryptFieldsWhole(fields, keys);
    std::size_t column = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const ByteString &t = texts[i];
        auto last = std::find_if(t.rbegin(), t.rend(), [](std::uint8_t c) { return c != 0; });
        if (!column && std::find(t.begin(), last.base(), std::uint8_t{0}) != last.base()) {
            *loss = FieldLoss::nulByte;
            column = i + 1;
        }
    }
    for (ByteString &t : texts) secureWipe(t.data(), t.size());
    return column;
}

void appendMarker(ByteString &out, const PasswordKeys &keys) {
    const auto marker = asBytes(kEncryptedMarker);
    out.insert(out.end(), marker.begin(), marker.end());
    appendEncryptedField(out, asBytes(kMarkerCheckText), keys);
    out.push_back(kCr);
    out.push_back(kLf);
}

bool hasEncryptedMarker(std::span<const std::uint8_t> file) {
    const auto marker = asBytes(kEncryptedMarker);
    return file.size() >= marker.size() && std::equal(marker.begin(), marker.end(), file.begin());
}

bool markerCheckMatches(std::span<const std::uint8_t> checkField, const PasswordKeys &keys) {
    const ByteString text = decryptField(checkField, keys);
    const auto expected = asBytes(kMarkerCheckText);
    return std::equal(text.begin(), text.end(), expected.begin(), expected.end());
}

bool FieldReader::addByte(std::uint8_t b) {
    if (b == kLf) return false;
    if (b == kTab || b == kCr) {
        endedLine_ = b == kCr;
        return true;
    }
    if (size_ < buffer_.size()) buffer_[size_++] = b;
    return false;
}

ByteString decodeField(std::span<const std::uint8_t> raw, bool encrypted,
                       const PasswordKeys &keys) {
    if (encrypted) return decryptField(raw, keys);
    return cutText(unescapeField(raw));
}

int flagFromColumn(std::span<const std::uint8_t> text) {
    return !text.empty() && text[0] == '1' ? 1 : 0;
}

bool ExchangeChecker::fieldFits() const {
    // A plain field counts its decoded bytes: an escape pair is one byte, and a backslash at the
    // end of the field is dropped. An exported field of 254 bytes may take 508 bytes escaped.
    if (encrypted_) return field_ <= kEncryptedFieldLimit;
    return field_ - (escapePending_ ? 1 : 0) <= kPlainFieldLimit;
}

bool ExchangeChecker::addByte(std::uint8_t b) {
    if (fault_ != CheckFault::none) return false;
    switch (b) {
    case kTab:
        if (!fieldFits()) {
            fault_ = CheckFault::fieldTooLong;
            return false;
        }
        ++tabs_;
        field_ = 0;
        escapePending_ = false;
        return true;
    case kLf: return true;
    case kCr:
        ++lines_;
        if (tabs_ != kColumnCount - 1) {
            fault_ = CheckFault::wrongColumnCount;
            return false;
        }
        if (!fieldFits()) {
            fault_ = CheckFault::fieldTooLong;
            return false;
        }
        tabs_ = 0;
        field_ = 0;
        escapePending_ = false;
        return true;
    default:
        if (encrypted_ || !escapePending_) ++field_;
        if (!encrypted_) escapePending_ = b == kBackslash && !escapePending_;
        return true;
    }
}

bool readCheckField(std::span<const std::uint8_t> file, ByteString &field) {
    FieldReader reader;
    for (std::size_t i = kEncryptedMarker.size(); i < file.size(); ++i) {
        if (reader.addByte(file[i])) {
            field.assign(reader.field().begin(), reader.field().end());
            return true;
        }
    }
    return false;
}

int checkExchangeFile(std::span<const std::uint8_t> file, CheckReport &report) {
    report = CheckReport{};
    report.encrypted = hasEncryptedMarker(file);
    std::size_t offset = 0;
    std::size_t firstLine = 1;
    if (report.encrypted) {
        ByteString checkField;
        if (!readCheckField(file, checkField)) {
            report.fault = CheckFault::missingCheckField;
            report.faultLine = 2;
            report.faultColumn = 1;
            return -1;
        }
        offset = std::min(kEncryptedBodyOffset, file.size());
        firstLine = 3;
    }
    ExchangeChecker checker(report.encrypted);
    for (std::size_t i = offset; i < file.size(); ++i) {
        const std::size_t linesBefore = checker.lines();
        if (!checker.addByte(file[i])) {
            report.fault = checker.fault();
            report.faultLine = firstLine + linesBefore;
            report.faultColumn = checker.tabs() + 1;
            report.lines = linesBefore;
            return -1;
        }
    }
    report.lines = checker.lines();
    return 0;
}

std::string describeFault(const CheckReport &report) {
    switch (report.fault) {
    case CheckFault::none: return "can be imported";
    case CheckFault::fieldTooLong:
        return "column " + std::to_string(report.faultColumn) + " is longer than " +
               (report.encrypted ? std::to_string(kEncryptedFieldLimit) + " hex digits"
                                 : std::to_string(kPlainFieldLimit) + " bytes");
    case CheckFault::wrongColumnCount:
        return "line has " + std::to_string(report.faultColumn) + " columns, expected " +
               std::to_string(kColumnCount);
    case CheckFault::missingCheckField:
        return "encrypted file ends inside its password check field";
    }
    return "unknown fault";
}

int splitRecordLines(std::span<const std::uint8_t> file, std::vector<RawLine> &lines) {
    lines.clear();
    const std::size_t offset =
        hasEncryptedMarker(file) ? std::min(kEncryptedBodyOffset, file.size()) : 0;
    FieldReader reader;
    RawLine line;
    std::size_t column = 0;
    for (std::size_t i = offset; i < file.size(); ++i) {
        if (!reader.addByte(file[i])) continue;
        // Bytes after the last CR may hold any number of fields; only complete lines count.
        if (column < kColumnCount)
            line[column].assign(reader.field().begin(), reader.field().end());
        ++column;
        if (reader.endedLine()) {
            if (column != kColumnCount) return -1;
            lines.push_back(line);
            column = 0;
        }
        reader.clear();
    }
    return 0;
}

void normaliseForExport(TextLine &line) {
    const Column titles[3] = {colTitle1, colTitle2, colTitle3};
    for (int i = 0; i < 3; ++i) {
        if (line[titles[i]].empty()) {
            const auto title = asBytes(kDefaultTitles[i]);
            line[titles[i]].assign(title.begin(), title.end());
        }
    }
    line[colFlag].assign(1, flagFromColumn(line[colFlag]) ? '1' : '0');
}

int appendRecordLine(ByteString &out, const TextLine &line, bool encrypted,
                     const PasswordKeys &keys) {
    return appendRecordLines(out, std::span<const TextLine>(&line, 1), encrypted, keys);
}

int appendRecordLines(ByteString &out, std::span<const TextLine> lines, bool encrypted,
                      const PasswordKeys &keys) {
    for (const TextLine &line : lines)
        for (const auto &text : line)
            if (text.size() > kFieldTextMax) return -1;
    if (!encrypted) {
        for (const TextLine &line : lines) {
            for (std::size_t c = 0; c < kColumnCount; ++c) {
                appendPlainField(out, line[c]);
                out.push_back(c + 1 < kColumnCount ? kTab : kCr);
            }
            out.push_back(kLf);
        }
        return 0;
    }
    // All fields in one run of the cipher (its blocks are independent of each other): each
    // field's bytes zero-padded to its last block, side by side, come out as appendEncryptedField
    // would encrypt each one.
    std::vector<std::uint8_t> buffer(lines.size() * kColumnCount * 256);
    std::size_t at = 0;
    for (const TextLine &line : lines) {
        for (const auto &text : line) {
            std::copy(text.begin(), text.end(), buffer.begin() + static_cast<long>(at));
            at += (text.size() + 7) / 8 * 8;
        }
    }
    cipherWithKeys(std::span<std::uint8_t>(buffer.data(), at), static_cast<std::int32_t>(at), keys,
                   1);
    static constexpr char kHex[] = "0123456789ABCDEF";
    at = 0;
    for (const TextLine &line : lines) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            const std::size_t end = at + (line[c].size() + 7) / 8 * 8;
            for (; at < end; ++at) {
                out.push_back(static_cast<std::uint8_t>(kHex[buffer[at] >> 4]));
                out.push_back(static_cast<std::uint8_t>(kHex[buffer[at] & 0x0F]));
            }
            out.push_back(c + 1 < kColumnCount ? kTab : kCr);
        }
        out.push_back(kLf);
    }
    secureWipe(buffer.data(), buffer.size());
    return 0;
}
