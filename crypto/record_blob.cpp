#include "record_blob.h"

#include "wipe.h"

#include <algorithm>
#include <array>

std::size_t textBlobSize(std::size_t units) { return (2 * units + 7) / 8 * 8; }

int encodeTextBlob(std::u16string_view text, const PasswordKeys &keys,
                   std::span<std::uint8_t, kTextBlobMax> blob) {
    if (text.empty() || text.size() > kTextMaxUnits) return -1;
    const std::size_t size = textBlobSize(text.size());
    std::fill(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(size), std::uint8_t{0});
    for (std::size_t i = 0; i < text.size(); ++i) {
        blob[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        blob[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
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
    std::fill(verifier.begin(), verifier.end(), std::uint8_t{0});
    for (std::size_t i = 0; i < kCheckText.size(); ++i) {
        verifier[2 * i] = static_cast<std::uint8_t>(kCheckText[i] & 0xFF);
        verifier[2 * i + 1] = static_cast<std::uint8_t>(kCheckText[i] >> 8);
    }
    cipherWithKeys(verifier, static_cast<std::int32_t>(kVerifierSize), keys, 1);
}

bool testVerifier(std::span<const std::uint8_t> verifier, const PasswordKeys &keys) {
    std::array<std::uint8_t, kVerifierSize> plain{};
    const std::size_t size = std::min(verifier.size(), kVerifierSize);
    std::copy_n(verifier.begin(), size, plain.begin());
    cipherWithKeys(plain, static_cast<std::int32_t>(size), keys, 0);

    // Compared as a string: the units up to the first zero, which the 16-unit buffer bounds.
    std::u16string text;
    for (std::size_t i = 0; i < kVerifierSize / 2; ++i) {
        const char16_t c = static_cast<char16_t>(plain[2 * i] | (plain[2 * i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text == kCheckText;
}
