#include "cipher.h"

#include "wipe.h"

#include <cstddef>
#include <utility>

// Bit numbering: bit n of a block or key is bit (n mod 8) of byte (n div 8), bit 0 being the least
// significant one. Loading the 8 bytes as a little-endian 64-bit word therefore puts block bit n at
// word bit n, and every table below indexes such words directly.
//
// Two implementations share the tables:
//  - cipherBlock works on one block with 32-bit halves and per-box lookup tables that already
//    include the permutation P;
//  - cipherBuffer and cipherTriple run 64 blocks at once, bit-sliced: word n of the slice holds bit
//    n of all 64 blocks, so every permutation is a mere renaming of words and an S-box becomes a
//    few AND/XOR operations. An S-box here depends on three of its six input bits only (the row
//    bits and one column bit), which makes the sliced form very short.

namespace {

// Tables as FIPS 46 prints them, counted from 1.
constexpr std::uint8_t kIpPublished[64] = {
    58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,  62, 54, 46, 38, 30, 22,
    14, 6,  64, 56, 48, 40, 32, 24, 16, 8,  57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35,
    27, 19, 11, 3,  61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7};
constexpr std::uint8_t kFpPublished[64] = {
    40, 8,  48, 16, 56, 24, 64, 32, 39, 7,  47, 15, 55, 23, 63, 31, 38, 6,  46, 14, 54, 22,
    62, 30, 37, 5,  45, 13, 53, 21, 61, 29, 36, 4,  44, 12, 52, 20, 60, 28, 35, 3,  43, 11,
    51, 19, 59, 27, 34, 2,  42, 10, 50, 18, 58, 26, 33, 1,  41, 9,  49, 17, 57, 25};
constexpr std::uint8_t kPPublished[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                          26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                          3,  9, 19, 13, 30, 6,  22, 11, 4,  25};
constexpr std::uint8_t kPc1Published[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                            10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                            63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                            14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

template <std::size_t N>
constexpr std::array<std::uint8_t, N> zeroBased(const std::uint8_t (&table)[N]) {
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<std::uint8_t>(table[i] - 1);
    return out;
}

constexpr auto kIP = zeroBased(kIpPublished);
constexpr auto kFP = zeroBased(kFpPublished);
constexpr auto kP = zeroBased(kPPublished);
constexpr auto kPC1 = zeroBased(kPc1Published);

// Extra rotations after the first one in each round: 1, 1, 2, 2, 2, 2, 2, 2, 1, 2, ... places.
constexpr std::uint8_t kRotation[16] = {0, 0, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0};

// This cipher's own expansion table and PC-2, 0-based. E[28] is 10 where the published table has
// 19; PC-2[11] is 18 where the published table has 9.
constexpr std::uint8_t kE[48] = {31, 0,  1,  2,  3,  4,  3,  4,  5,  6,  7,  8,  7,  8,  9,  10,
                                 11, 12, 11, 12, 13, 14, 15, 16, 15, 16, 17, 18, 10, 20, 19, 20,
                                 21, 22, 23, 24, 23, 24, 25, 26, 27, 28, 27, 28, 29, 30, 31, 0};
constexpr std::uint8_t kPC2[48] = {13, 16, 10, 23, 0,  4,  2,  27, 14, 5,  20, 18, 22, 18, 11, 3,
                                   25, 7,  15, 6,  26, 19, 12, 1,  40, 51, 30, 36, 46, 54, 29, 39,
                                   50, 44, 32, 47, 43, 48, 38, 55, 33, 52, 45, 41, 49, 35, 28, 31};

// The published S1 to S8.
constexpr std::uint8_t kS[8][4][16] = {{{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
                                        {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
                                        {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
                                        {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
                                       {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
                                        {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
                                        {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
                                        {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
                                       {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
                                        {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
                                        {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
                                        {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
                                       {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
                                        {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
                                        {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
                                        {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
                                       {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
                                        {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
                                        {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
                                        {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
                                       {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
                                        {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
                                        {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
                                        {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
                                       {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
                                        {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
                                        {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
                                        {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
                                       {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
                                        {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
                                        {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
                                        {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

// An S-box sees the six bits g0..g5 of its group but uses only three: row = 2*g0 + g5 and column
// 0 or 15 after g4. Both implementations address a box with the 3-bit index g0<<2 | g5<<1 | g4.
constexpr unsigned boxValue(int box, unsigned index) {
    const unsigned row = ((index >> 2) & 1) * 2 + ((index >> 1) & 1);
    const unsigned column = (index & 1) * 15;
    return kS[box][row][column];
}

// Which key bit lands in each subkey bit: PC-1, the accumulated rotations and PC-2 in one table.
struct KeyMap {
    std::uint8_t bit[16][48];
};

constexpr KeyMap makeKeyMap() {
    KeyMap map{};
    std::uint8_t c[28]{};
    std::uint8_t d[28]{};
    for (int i = 0; i < 28; ++i) {
        c[i] = kPC1[i];
        d[i] = kPC1[28 + i];
    }
    for (int r = 0; r < 16; ++r) {
        for (int turn = 0; turn < 1 + kRotation[r]; ++turn) {
            const std::uint8_t c0 = c[0];
            const std::uint8_t d0 = d[0];
            for (int i = 0; i < 27; ++i) {
                c[i] = c[i + 1];
                d[i] = d[i + 1];
            }
            c[27] = c0;
            d[27] = d0;
        }
        for (int j = 0; j < 48; ++j) map.bit[r][j] = kPC2[j] < 28 ? c[kPC2[j]] : d[kPC2[j] - 28];
    }
    return map;
}

constexpr KeyMap kKeyMap = makeKeyMap();

// Inverse of P: output bit j of the S-boxes becomes bit kPinv[j] of f.
constexpr std::array<std::uint8_t, 32> makePinv() {
    std::array<std::uint8_t, 32> inv{};
    for (int i = 0; i < 32; ++i) inv[kP[i]] = static_cast<std::uint8_t>(i);
    return inv;
}

constexpr auto kPinv = makePinv();

std::uint64_t load64(const std::uint8_t *p) {
    std::uint64_t w = 0;
    for (int i = 7; i >= 0; --i) w = (w << 8) | p[i];
    return w;
}

void store64(std::uint8_t *p, std::uint64_t w) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(w >> (8 * i));
}

// ---- One block at a time -------------------------------------------------------------------

// kSP[box][index]: the box's four output bits already moved to their places in f by P.
using SpTable = std::array<std::array<std::uint32_t, 8>, 8>;

constexpr SpTable makeSp() {
    SpTable sp{};
    for (int box = 0; box < 8; ++box) {
        for (unsigned index = 0; index < 8; ++index) {
            const unsigned v = boxValue(box, index);
            std::uint32_t out = 0;
            for (int t = 0; t < 4; ++t) {
                // Y[4*box + t] is bit (3 - t) of the value.
                if ((v >> (3 - t)) & 1) out |= std::uint32_t{1} << kPinv[4 * box + t];
            }
            sp[box][index] = out;
        }
    }
    return sp;
}

constexpr SpTable kSP = makeSp();

std::uint32_t roundFunction(std::uint32_t r, std::uint64_t k) {
    std::uint32_t f = 0;
    for (int box = 0; box < 8; ++box) {
        const int g = 6 * box;
        const unsigned g0 = ((r >> kE[g]) ^ static_cast<unsigned>(k >> g)) & 1;
        const unsigned g4 = ((r >> kE[g + 4]) ^ static_cast<unsigned>(k >> (g + 4))) & 1;
        const unsigned g5 = ((r >> kE[g + 5]) ^ static_cast<unsigned>(k >> (g + 5))) & 1;
        f ^= kSP[box][(g0 << 2) | (g5 << 1) | g4];
    }
    return f;
}

// ---- 64 blocks at a time, bit-sliced -------------------------------------------------------

using Word = std::uint64_t;

// Algebraic normal form of every S-box output bit over the index bits a = g0, b = g5, c = g4:
// bit m of kAnf[box][t] says whether the monomial m (bit 2 = a, bit 1 = b, bit 0 = c; 0 is the
// constant 1) is part of output bit t.
using AnfTable = std::array<std::array<std::uint8_t, 4>, 8>;

constexpr AnfTable makeAnf() {
    AnfTable anf{};
    for (int box = 0; box < 8; ++box) {
        for (int t = 0; t < 4; ++t) {
            std::uint8_t truth[8]{};
            for (unsigned index = 0; index < 8; ++index)
                truth[index] = static_cast<std::uint8_t>((boxValue(box, index) >> (3 - t)) & 1);
            for (unsigned var = 1; var < 8; var <<= 1)
                for (unsigned x = 0; x < 8; ++x)
                    if (x & var) truth[x] ^= truth[x ^ var];
            std::uint8_t coef = 0;
            for (unsigned x = 0; x < 8; ++x) coef |= static_cast<std::uint8_t>(truth[x] << x);
            anf[box][t] = coef;
        }
    }
    return anf;
}

constexpr AnfTable kAnf = makeAnf();

// One output bit from its normal form; the terms whose coefficient is zero vanish at compile time.
template <unsigned Coef>
inline Word anfBit(const Word (&m)[8]) {
    Word y = 0;
    if constexpr ((Coef & 0x01) != 0) y = ~y;
    if constexpr ((Coef & 0x02) != 0) y ^= m[1];
    if constexpr ((Coef & 0x04) != 0) y ^= m[2];
    if constexpr ((Coef & 0x08) != 0) y ^= m[3];
    if constexpr ((Coef & 0x10) != 0) y ^= m[4];
    if constexpr ((Coef & 0x20) != 0) y ^= m[5];
    if constexpr ((Coef & 0x40) != 0) y ^= m[6];
    if constexpr ((Coef & 0x80) != 0) y ^= m[7];
    return y;
}

// Key masks for the sliced rounds, in the order of use: for each round and box, all-ones or zero
// for the subkey bits that meet g0, g5 and g4.
struct SliceSchedule {
    Word k[16][8][3];
};

void makeSliceSchedule(std::span<const std::uint8_t, 8> key, int direction, SliceSchedule &s) {
    const std::uint64_t kw = load64(key.data());
    for (int r = 0; r < 16; ++r) {
        const int round = direction ? r : 15 - r;
        for (int box = 0; box < 8; ++box) {
            const int g = 6 * box;
            s.k[r][box][0] = Word{0} - ((kw >> kKeyMap.bit[round][g]) & 1);
            s.k[r][box][1] = Word{0} - ((kw >> kKeyMap.bit[round][g + 5]) & 1);
            s.k[r][box][2] = Word{0} - ((kw >> kKeyMap.bit[round][g + 4]) & 1);
        }
    }
}

template <int B>
inline void slicedBox(const Word *r, Word *l, const Word (&k)[3]) {
    const Word a = r[kE[6 * B]] ^ k[0];
    const Word b = r[kE[6 * B + 5]] ^ k[1];
    const Word c = r[kE[6 * B + 4]] ^ k[2];
    const Word ab = a & b;
    const Word m[8] = {~Word{0}, c, b, b & c, a, a & c, ab, ab & c};
    l[kPinv[4 * B + 0]] ^= anfBit<kAnf[B][0]>(m);
    l[kPinv[4 * B + 1]] ^= anfBit<kAnf[B][1]>(m);
    l[kPinv[4 * B + 2]] ^= anfBit<kAnf[B][2]>(m);
    l[kPinv[4 * B + 3]] ^= anfBit<kAnf[B][3]>(m);
}

// L ^= f(R, K) for one round.
inline void slicedRound(const Word *r, Word *l, const Word (&k)[8][3]) {
    slicedBox<0>(r, l, k[0]);
    slicedBox<1>(r, l, k[1]);
    slicedBox<2>(r, l, k[2]);
    slicedBox<3>(r, l, k[3]);
    slicedBox<4>(r, l, k[4]);
    slicedBox<5>(r, l, k[5]);
    slicedBox<6>(r, l, k[6]);
    slicedBox<7>(r, l, k[7]);
}

// In-place transpose of a 64 x 64 bit matrix: afterwards bit i of a[j] is what bit j of a[i] was.
void transpose64(Word (&a)[64]) {
    Word mask = 0x00000000FFFFFFFFull;
    for (int j = 32; j != 0; j >>= 1, mask ^= mask << j) {
        for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
            const Word t = ((a[k] >> j) ^ a[k | j]) & mask;
            a[k] ^= t << j;
            a[k | j] ^= t;
        }
    }
}

// Runs `passes` whole cipherBuffer passes over `blocks` blocks, 64 at a time. Consecutive passes
// need no final and initial permutation in between: FP is the inverse of IP, so one pass's output
// fed to the next one's IP gives back its pre-output, R followed by L.
void runSliced(std::uint8_t *data, std::size_t blocks, const SliceSchedule *schedules, int passes) {
    Word slice[64];
    Word half[2][32];
    for (std::size_t first = 0; first < blocks; first += 64) {
        const std::size_t n = blocks - first < 64 ? blocks - first : 64;
        for (std::size_t b = 0; b < 64; ++b) slice[b] = b < n ? load64(data + 8 * (first + b)) : 0;
        transpose64(slice);

        Word *l = half[0];
        Word *r = half[1];
        for (int i = 0; i < 32; ++i) {
            l[i] = slice[kIP[i]];
            r[i] = slice[kIP[32 + i]];
        }
        for (int p = 0; p < passes; ++p) {
            if (p > 0) std::swap(l, r);
            for (int round = 0; round < 16; ++round) {
                slicedRound(r, l, schedules[p].k[round]);
                std::swap(l, r);
            }
        }
        for (int i = 0; i < 64; ++i) slice[i] = kFP[i] < 32 ? r[kFP[i]] : l[kFP[i] - 32];

        transpose64(slice);
        for (std::size_t b = 0; b < n; ++b) store64(data + 8 * (first + b), slice[b]);
    }
    secureWipe(slice, sizeof slice);
    secureWipe(half, sizeof half);
}

// Number of bytes a call transforms, or 0 when it transforms nothing or the buffer is too short
// (then *ok is false).
std::size_t roundedLength(std::size_t available, std::int32_t length, bool *ok) {
    *ok = true;
    if (length <= 0) return 0;
    const std::size_t bytes = (static_cast<std::size_t>(length) + 7) / 8 * 8;
    if (bytes > available) {
        *ok = false;
        return 0;
    }
    return bytes;
}

}  // namespace

void makeKeySchedule(std::span<const std::uint8_t, 8> key, KeySchedule &schedule) {
    const std::uint64_t kw = load64(key.data());
    for (int r = 0; r < 16; ++r) {
        std::uint64_t subkey = 0;
        for (int j = 0; j < 48; ++j) subkey |= ((kw >> kKeyMap.bit[r][j]) & 1) << j;
        schedule.subkey[r] = subkey;
    }
}

void cipherBlock(std::span<std::uint8_t, 8> block, int direction, const KeySchedule &schedule) {
    const std::uint64_t in = load64(block.data());
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    for (int i = 0; i < 32; ++i) {
        l |= static_cast<std::uint32_t>((in >> kIP[i]) & 1) << i;
        r |= static_cast<std::uint32_t>((in >> kIP[32 + i]) & 1) << i;
    }
    for (int round = 0; round < 16; ++round) {
        const std::uint64_t k = schedule.subkey[direction ? round : 15 - round];
        const std::uint32_t t = l ^ roundFunction(r, k);
        l = r;
        r = t;
    }
    const std::uint64_t pre = r | (static_cast<std::uint64_t>(l) << 32);
    std::uint64_t out = 0;
    for (int i = 0; i < 64; ++i) out |= ((pre >> kFP[i]) & 1) << i;
    store64(block.data(), out);
}

int cipherBuffer(std::span<std::uint8_t> buffer, std::int32_t length,
                 std::span<const std::uint8_t, 8> key, int direction) {
    bool ok = false;
    const std::size_t bytes = roundedLength(buffer.size(), length, &ok);
    if (bytes == 0) return ok ? 0 : -1;
    SliceSchedule schedule;
    makeSliceSchedule(key, direction, schedule);
    runSliced(buffer.data(), bytes / 8, &schedule, 1);
    secureWipe(&schedule, sizeof schedule);
    return 0;
}

int cipherTriple(std::span<std::uint8_t> buffer, std::int32_t length,
                 std::span<const std::uint8_t, 8> key1, std::span<const std::uint8_t, 8> key2,
                 std::span<const std::uint8_t, 8> key3, int mode) {
    bool ok = false;
    const std::size_t bytes = roundedLength(buffer.size(), length, &ok);
    if (bytes == 0) return ok ? 0 : -1;
    // The three passes are independent per block (no chaining), so running them block by block
    // gives the same bytes as three passes over the whole buffer.
    SliceSchedule schedules[3];
    if (mode) {
        makeSliceSchedule(key1, 1, schedules[0]);
        makeSliceSchedule(key2, 0, schedules[1]);
        makeSliceSchedule(key3, 1, schedules[2]);
    } else {
        makeSliceSchedule(key3, 0, schedules[0]);
        makeSliceSchedule(key2, 1, schedules[1]);
        makeSliceSchedule(key1, 0, schedules[2]);
    }
    runSliced(buffer.data(), bytes / 8, schedules, 3);
    secureWipe(schedules, sizeof schedules);
    return 0;
}
