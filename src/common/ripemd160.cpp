// RIPEMD-160: two parallel lines of five rounds over 512-bit blocks.
#include "common/ripemd160.h"

#include <cstring>

namespace {
uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t f(int j, uint32_t x, uint32_t y, uint32_t z) {
    switch (j / 16) {
    case 0:
        return x ^ y ^ z;
    case 1:
        return (x & y) | (~x & z);
    case 2:
        return (x | ~y) ^ z;
    case 3:
        return (x & z) | (y & ~z);
    default:
        return x ^ (y | ~z);
    }
}

constexpr uint32_t k_left_k[5] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xA953FD4E};
constexpr uint32_t k_right_k[5] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x7A6D76E9, 0x00000000};

constexpr int k_left_r[80] = {0, 1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15,
                              7, 4,  13, 1,  10, 6,  15, 3,  12, 0, 9,  5,  2,  14, 11, 8,
                              3, 10, 14, 4,  9,  15, 8,  1,  2,  7, 0,  6,  13, 11, 5,  12,
                              1, 9,  11, 10, 0,  8,  12, 4,  13, 3, 7,  15, 14, 5,  6,  2,
                              4, 0,  5,  9,  7,  12, 2,  10, 14, 1, 3,  8,  11, 6,  15, 13};
constexpr int k_right_r[80] = {5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,
                               6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,
                               15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,
                               8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14,
                               12, 15, 10, 4, 1, 5,  8,  7,  6,  2,  13, 14, 0,  3,  9,  11};
constexpr int k_left_s[80] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
                              7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
                              11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
                              11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12,
                              9,  15, 5,  11, 6,  8,  13, 12, 5,  12, 13, 14, 11, 8,  5,  6};
constexpr int k_right_s[80] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
                               9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
                               9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
                               15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8,
                               8,  5,  12, 9,  12, 5,  14, 6,  8,  13, 6,  5,  15, 13, 11, 11};

void compress(uint32_t h[5], const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = block[i * 4] | (block[i * 4 + 1] << 8) | (block[i * 4 + 2] << 16) |
               (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
    uint32_t al = h[0], bl = h[1], cl = h[2], dl = h[3], el = h[4];
    uint32_t ar = al, br = bl, cr = cl, dr = dl, er = el;
    for (int j = 0; j < 80; j++) {
        uint32_t t =
            rol(al + f(j, bl, cl, dl) + x[k_left_r[j]] + k_left_k[j / 16], k_left_s[j]) + el;
        al = el;
        el = dl;
        dl = rol(cl, 10);
        cl = bl;
        bl = t;
        t = rol(ar + f(79 - j, br, cr, dr) + x[k_right_r[j]] + k_right_k[j / 16], k_right_s[j]) +
            er;
        ar = er;
        er = dr;
        dr = rol(cr, 10);
        cr = br;
        br = t;
    }
    uint32_t t = h[1] + cl + dr;
    h[1] = h[2] + dl + er;
    h[2] = h[3] + el + ar;
    h[3] = h[4] + al + br;
    h[4] = h[0] + bl + cr;
    h[0] = t;
}
} // namespace

void ripemd160_init(ripemd160_state& state) {
    state.h[0] = 0x67452301;
    state.h[1] = 0xEFCDAB89;
    state.h[2] = 0x98BADCFE;
    state.h[3] = 0x10325476;
    state.h[4] = 0xC3D2E1F0;
    state.length = 0;
    state.filled = 0;
    memset(state.block, 0, sizeof state.block);
}

void ripemd160_update(ripemd160_state& state, const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    state.length += size;
    while (size > 0) {
        size_t take = 64 - state.filled;
        if (take > size) take = size;
        memcpy(state.block + state.filled, bytes, take);
        state.filled += static_cast<int>(take);
        bytes += take;
        size -= take;
        if (state.filled == 64) {
            compress(state.h, state.block);
            state.filled = 0;
        }
    }
}

void ripemd160_final(ripemd160_state& state, uint8_t digest[20]) {
    uint64_t bits = state.length * 8;
    uint8_t pad = 0x80;
    ripemd160_update(state, &pad, 1);
    uint8_t zero = 0;
    while (state.filled != 56) ripemd160_update(state, &zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; i++) length[i] = static_cast<uint8_t>(bits >> (8 * i));
    ripemd160_update(state, length, 8);
    for (int i = 0; i < 5; i++)
        for (int b = 0; b < 4; b++) digest[i * 4 + b] = static_cast<uint8_t>(state.h[i] >> (8 * b));
}

std::string ripemd160_hex(const uint8_t digest[20]) {
    static const char k_hex[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 20; i++) {
        out += k_hex[digest[i] >> 4];
        out += k_hex[digest[i] & 15];
    }
    return out;
}

std::string ripemd160_of(const void* data, size_t size) {
    ripemd160_state state;
    ripemd160_init(state);
    ripemd160_update(state, data, size);
    uint8_t digest[20];
    ripemd160_final(state, digest);
    return ripemd160_hex(digest);
}
