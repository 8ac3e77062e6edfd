// RIPEMD-160 over byte streams (the published digest, little-endian output).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ripemd160_state {
    uint32_t h[5];
    uint64_t length; // bytes fed so far
    uint8_t block[64];
    int filled;
};

void ripemd160_init(ripemd160_state& state);
void ripemd160_update(ripemd160_state& state, const void* data, size_t size);
void ripemd160_final(ripemd160_state& state, uint8_t digest[20]);

// The 40-character lower-case hex form of a digest.
std::string ripemd160_hex(const uint8_t digest[20]);
std::string ripemd160_of(const void* data, size_t size);
