#include "record_blob.h"

#include "wipe.h"

#include <algorithm>
#include <array>

std::size_t textBlobSize(std::size_t units) { return (2 * units + 7) / 8 * 8; }

std::size_t layoutTextBlob(std::u16string_view text, std::uint8_t *out) {
    const std::size_t size = textBlobSize(text.size());
    std::fill(out, out + size, std::uint8_t{0});
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    return size;
}

int encodeTextBlob(std::u16string_view text, const PasswordKeys &keys,
                   std::span<std::uint8_t, kTextBlobMax> blob) {
    if (text.empty() || text.size() > kTextMaxUnits) return -1;
    const std::size_t size = layoutTextBlob(text, blob.data());
    cipherWithKeys(blob, static_cast<std::int32_t>(size), keys, 1);
    return static_cast<int>(size);
}

std::u16string decodeTextBlob(std::span<const std::uint8_t> blob, const PasswordKeys &keys) {
    // A working copy of at most 512 bytes: the database may hold a blob of any size, and the
    // cipher transforms whole blocks, which would reach past a blob whose size is not a multiple
    // of 8.
    std::array<std::uint8_t, kTextBlobMax> plain{};
    const std::size_t size = std::min(blob.size(), kTextBlobMax);
    std::copy_n(blob.begin(), size, plain.begin());
    cipherWithKeys(plain, static_cast<std::int32_t>(size), keys, 0);

    const std::size_t units = std::min(size / 2, kTextMaxUnits);
    std::u16string text;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t c = static_cast<char16_t>(plain[2 * i] | (plain[2 * i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    secureWipe(plain.data(), plain.size());
    return text;
}

void makeVerifier(const PasswordKeys &keys, std::span<std::uint8_t, kVerifierSize> verifier) {
    layoutTextBlob(kCheckText, verifier.data());
    cipherWithKeys(verifier, static_cast<std::int32_t>(kVerifierSize), keys, 1);
}

bool isCheckText(std::span<const std::uint8_t> plain) {
    // Compared as a string: the units up to the first zero, which the 16-unit buffer bounds.
    std::u16string text;
    for (std::size_t i = 0; i < kVerifierSize / 2 && 2 * i + 1 < plain.size(); ++i) {
        const char16_t c = static_cast<char16_t>(plain[2 * i] | (plain[2 * i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text == kCheckText;
}

bool testVerifier(std::span<const std::uint8_t> verifier, const PasswordKeys &keys) {
    std::array<std::uint8_t, kVerifierSize> plain{};
    const std::size_t size = std::min(verifier.size(), kVerifierSize);
    std::copy_n(verifier.begin(), size, plain.begin());
    cipherWithKeys(plain, static_cast<std::int32_t>(size), keys, 0);
    return isCheckText(plain);
}
