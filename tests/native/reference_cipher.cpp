#include "reference_cipher.h"

namespace reference {
namespace {

const int IP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
const int FP[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};
const int E[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                   12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                   22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};
const int P[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                   2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
const int PC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                     35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                     46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
const int PC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                     26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                     51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
const int SHIFTS[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
const int S[8][4][16] = {{{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
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

int getBit(const Block &b, int n, const Variant &v) {
    const int shift = v.lsbFirst ? n % 8 : 7 - n % 8;
    return (b[n / 8] >> shift) & 1;
}

void setBit(Block &b, int n, int value, const Variant &v) {
    const int shift = v.lsbFirst ? n % 8 : 7 - n % 8;
    b[n / 8] = static_cast<std::uint8_t>((b[n / 8] & ~(1 << shift)) | (value << shift));
}

int e(int i, const Variant &v) {
    if (i == 28 && v.ownExpansion) return 10;
    return E[i] - 1;
}

int pc2(int j, const Variant &v) {
    if (j == 11 && v.ownPc2) return 18;
    return PC2[j] - 1;
}

}  // namespace

int sbox(int box, const int (&g)[6], const Variant &v) {
    const int row = 2 * g[0] + g[5];
    const int column = v.singleBitColumn ? 15 * g[4] : 8 * g[1] + 4 * g[2] + 2 * g[3] + g[4];
    return S[box][row][column];
}

Subkeys keySchedule(const Block &key, const Variant &v) {
    int c[28];
    int d[28];
    for (int i = 0; i < 28; ++i) {
        c[i] = getBit(key, PC1[i] - 1, v);
        d[i] = getBit(key, PC1[28 + i] - 1, v);
    }
    Subkeys ks{};
    for (int r = 0; r < 16; ++r) {
        for (int n = 0; n < SHIFTS[r]; ++n) {
            const int c0 = c[0];
            const int d0 = d[0];
            for (int i = 0; i < 27; ++i) {
                c[i] = c[i + 1];
                d[i] = d[i + 1];
            }
            c[27] = c0;
            d[27] = d0;
        }
        for (int j = 0; j < 48; ++j) {
            const int p = pc2(j, v);
            ks[r][j] = p < 28 ? c[p] : d[p - 28];
        }
    }
    return ks;
}

void block(Block &data, int direction, const Subkeys &ks, const Variant &v) {
    int l[32];
    int r[32];
    for (int i = 0; i < 32; ++i) {
        l[i] = getBit(data, IP[i] - 1, v);
        r[i] = getBit(data, IP[32 + i] - 1, v);
    }
    for (int round = 0; round < 16; ++round) {
        const auto &k = ks[direction ? round : 15 - round];
        int x[48];
        for (int i = 0; i < 48; ++i) x[i] = k[i] ^ r[e(i, v)];
        int y[32];
        for (int s = 0; s < 8; ++s) {
            const int g[6] = {x[6 * s],     x[6 * s + 1], x[6 * s + 2],
                              x[6 * s + 3], x[6 * s + 4], x[6 * s + 5]};
            const int value = sbox(s, g, v);
            for (int t = 0; t < 4; ++t) y[4 * s + t] = (value >> (3 - t)) & 1;
        }
        int t[32];
        for (int i = 0; i < 32; ++i) t[i] = l[i] ^ y[P[i] - 1];
        for (int i = 0; i < 32; ++i) {
            l[i] = r[i];
            r[i] = t[i];
        }
    }
    int pre[64];
    for (int i = 0; i < 32; ++i) {
        pre[i] = r[i];
        pre[32 + i] = l[i];
    }
    for (int i = 0; i < 64; ++i) setBit(data, i, pre[FP[i] - 1], v);
}

void buffer(std::vector<std::uint8_t> &data, int length, const Block &key, int direction,
            const Variant &v) {
    if (length <= 0) return;
    const Subkeys ks = keySchedule(key, v);
    for (int b = 0; b < (length + 7) / 8; ++b) {
        Block blk;
        for (int i = 0; i < 8; ++i) blk[i] = data.at(8 * b + i);
        block(blk, direction, ks, v);
        for (int i = 0; i < 8; ++i) data.at(8 * b + i) = blk[i];
    }
}

void triple(std::vector<std::uint8_t> &data, int length, const Block &k1, const Block &k2,
            const Block &k3, int mode, const Variant &v) {
    if (mode) {
        buffer(data, length, k1, 1, v);
        buffer(data, length, k2, 0, v);
        buffer(data, length, k3, 1, v);
    } else {
        buffer(data, length, k3, 0, v);
        buffer(data, length, k2, 1, v);
        buffer(data, length, k1, 0, v);
    }
}

}  // namespace reference
