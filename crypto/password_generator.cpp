#include "password_generator.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>

#include "wipe.h"

namespace {

constexpr std::u16string_view kLetters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::u16string_view kDigits = u"0123456789";
constexpr std::u16string_view kSigns = u"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
constexpr std::u16string_view kUmlauts = u"\u00c4\u00d6\u00dc\u00e4\u00f6\u00fc\u00df";

struct Group {
    unsigned bit;
    std::u16string_view chars;
};
constexpr Group kGroups[] = {{kGroupLetters, kLetters},
                             {kGroupDigits, kDigits},
                             {kGroupSigns, kSigns},
                             {kGroupUmlauts, kUmlauts}};

// A whole draw is repeated when it misses a chosen group; with the smallest length and every group
// chosen about one draw in twenty has them all, so this bound is never reached by chance.
constexpr int kMaxDraws = 100000;

// Bytes from the source, taken a block at a time.
class ByteSource {
public:
    explicit ByteSource(const RandomBytes &random) : random_(random) {}
    ~ByteSource() { secureWipe(block_.data(), block_.size()); }
    ByteSource(const ByteSource &) = delete;
    ByteSource &operator=(const ByteSource &) = delete;
    bool next(std::uint8_t *byte) {
        if (used_ == block_.size()) {
            if (!random_(block_.data(), block_.size())) return false;
            used_ = 0;
        }
        *byte = block_[used_++];
        return true;
    }
    // A number below n (1 to 256), uniform: a byte from the top part of the range that would
    // favour the small numbers is drawn again.
    bool below(unsigned n, unsigned *out) {
        const unsigned limit = 256 - 256 % n;
        for (;;) {
            std::uint8_t b;
            if (!next(&b)) return false;
            if (b < limit) {
                *out = b % n;
                return true;
            }
        }
    }

private:
    const RandomBytes &random_;
    std::array<std::uint8_t, 64> block_{};
    std::size_t used_ = 64;
};

bool hasGroup(std::u16string_view text, std::u16string_view chars) {
    return std::any_of(text.begin(), text.end(),
                       [&](char16_t c) { return chars.find(c) != std::u16string_view::npos; });
}

// The kinds of characters the strength estimate tells apart, each with the characters that stand
// for it.
enum Kind { kLower, kUpper, kDigit, kSign, kOther, kKinds };

Kind kindOf(char16_t c) {
    if (c >= u'a' && c <= u'z') return kLower;
    if (c >= u'A' && c <= u'Z') return kUpper;
    if (c >= u'0' && c <= u'9') return kDigit;
    if (c >= 0x20 && c < 0x7F) return kSign;
    return kOther;
}

}  // namespace

std::u16string passwordAlphabet(unsigned groups) {
    std::u16string alphabet;
    for (const Group &g : kGroups)
        if (groups & g.bit) alphabet += g.chars;
    return alphabet;
}

std::u16string generatePassword(int length, unsigned groups, const RandomBytes &random) {
    groups &= kGroupLetters | kGroupDigits | kGroupSigns | kGroupUmlauts;
    const std::u16string alphabet = passwordAlphabet(groups);
    const int chosen = static_cast<int>(std::bitset<8>(groups).count());
    if (alphabet.empty() || length < kGeneratedMinLength || length > kGeneratedMaxLength ||
        length < chosen)
        return {};
    ByteSource source(random);
    std::u16string password(static_cast<std::size_t>(length), u'\0');
    for (int draw = 0; draw < kMaxDraws; ++draw) {
        for (char16_t &c : password) {
            unsigned index;
            if (!source.below(static_cast<unsigned>(alphabet.size()), &index)) {
                secureWipe(password.data(), password.size() * sizeof(char16_t));
                return {};
            }
            c = alphabet[index];
        }
        bool complete = true;
        for (const Group &g : kGroups)
            if ((groups & g.bit) && !hasGroup(password, g.chars)) complete = false;
        if (complete) return password;
    }
    secureWipe(password.data(), password.size() * sizeof(char16_t));
    return {};
}

PasswordStrength estimatePasswordStrength(std::u16string_view password) {
    // The 6-bit values that the kinds used in the password can take.
    bool used[kKinds] = {};
    for (char16_t c : password) used[kindOf(c)] = true;
    std::bitset<64> values;
    for (unsigned c = 0x20; c < 0x7F; ++c)
        if (used[kindOf(static_cast<char16_t>(c))]) values.set(c & 0x3F);
    // Characters beyond ASCII: the umlauts and whatever else the password holds.
    if (used[kOther]) {
        for (char16_t c : kUmlauts) values.set(c & 0x3F);
        for (char16_t c : password)
            if (kindOf(c) == kOther) values.set(c & 0x3F);
    }
    PasswordStrength s{0, 0, static_cast<int>(values.count())};
    const double perChar = s.distinct > 1 ? std::log2(static_cast<double>(s.distinct)) : 0.0;

    // Each third makes one key; each of its 8 bytes takes every 8th character of the third and
    // holds at most 6 bits that count.
    const std::size_t n = password.size(), k = n / 3;
    const std::size_t parts[3] = {k, k, n - 2 * k};
    double bits = 0;
    for (std::size_t part : parts) {
        for (std::size_t byte = 0; byte < 8; ++byte) {
            const std::size_t onByte = part > byte ? (part - byte + 7) / 8 : 0;
            bits += std::min(6.0, static_cast<double>(onByte) * perChar);
        }
    }
    s.bits = static_cast<int>(bits + 1e-9);
    s.level = s.bits >= kStrengthStrongBits ? 2 : s.bits >= kStrengthMediumBits ? 1 : 0;
    return s;
}
