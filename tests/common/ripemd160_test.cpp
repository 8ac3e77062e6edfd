// RIPEMD-160 against the published test vectors, and streaming in pieces.
#include "common/ripemd160.h"

#include <gtest/gtest.h>

#include <string>

TEST(Ripemd160, PublishedVectors) {
    struct vector {
        std::string input;
        const char* digest;
    };
    const vector vectors[] = {
        {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
        {"a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
        {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
        {"message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
        {"abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "b0e20b6e3116640286ed3a87a5713079b21f5189"},
    };
    for (const vector& v : vectors)
        EXPECT_EQ(ripemd160_of(v.input.data(), v.input.size()), v.digest);
}

TEST(Ripemd160, MillionAsInPiecesOfOddSizes) {
    std::string chunk(997, 'a');
    ripemd160_state s;
    ripemd160_init(s);
    size_t left = 1000000;
    while (left > 0) {
        size_t n = std::min(left, chunk.size());
        ripemd160_update(s, chunk.data(), n);
        left -= n;
    }
    uint8_t digest[20];
    ripemd160_final(s, digest);
    EXPECT_EQ(ripemd160_hex(digest), "52783243c1697bdbe16d37f97f68f08325dc1528");
}
