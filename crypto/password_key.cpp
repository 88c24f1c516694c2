#include "password_key.h"

#include "wipe.h"

void makeKey(std::u16string_view text, std::span<std::uint8_t, 8> key) {
    for (auto &b : key) b = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        key[i % 8] ^= static_cast<std::uint8_t>(2u * text[i]);
}

void makePasswordKeys(std::u16string_view password, PasswordKeys &keys) {
    const std::size_t k = password.size() / 3;
    makeKey(password.substr(0, k), keys.key1);
    makeKey(password.substr(k, k), keys.key2);
    makeKey(password.substr(2 * k), keys.key3);
}

void wipeKeys(PasswordKeys &keys) { secureWipe(&keys, sizeof keys); }

int cipherWithKeys(std::span<std::uint8_t> buffer, std::int32_t length, const PasswordKeys &keys,
                   int mode) {
    return cipherTriple(buffer, length, keys.key1, keys.key2, keys.key3, mode);
}
