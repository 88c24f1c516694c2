// A slow, literal implementation of the vault's block cipher for the tests: arrays of single
// bits and the tables as FIPS 46 prints them (counted from 1), exactly as the cipher is described.
// Each of the vault's four departures from DES can be switched off, so that the same code can be
// checked against published DES vectors first.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace reference {

struct Variant {
    bool lsbFirst = true;         // bit n is bit (n mod 8) of byte n/8, from the least significant
    bool ownExpansion = true;     // E[28] = 10 instead of 19
    bool ownPc2 = true;           // PC-2[11] = 18 instead of 9
    bool singleBitColumn = true;  // S-box column 15*g4 instead of 8*g1 + 4*g2 + 2*g3 + g4
};

inline constexpr Variant kArkel{};
inline constexpr Variant kDes{false, false, false, false};

using Block = std::array<std::uint8_t, 8>;
using Subkeys = std::array<std::array<int, 48>, 16>;

Subkeys keySchedule(const Block &key, const Variant &v = kArkel);
void block(Block &data, int direction, const Subkeys &ks, const Variant &v = kArkel);
void buffer(std::vector<std::uint8_t> &data, int length, const Block &key, int direction,
            const Variant &v = kArkel);
void triple(std::vector<std::uint8_t> &data, int length, const Block &k1, const Block &k2,
            const Block &k3, int mode, const Variant &v = kArkel);

// One S-box lookup by its six input bits, as the round function makes it.
int sbox(int box, const int (&g)[6], const Variant &v = kArkel);

}  // namespace reference
