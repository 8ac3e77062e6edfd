// MT19937 with the published seeding (multiplier 1812433253) and tempering.
#include "common/random.h"

namespace {
mt19937_state g_random = [] {
    mt19937_state s{};
    mt_seed(s, 5489);
    return s;
}();
}

void mt_seed(mt19937_state& state, uint32_t seed) {
    state.words[0] = seed;
    for (uint32_t i = 1; i < 624; i++) {
        uint32_t prev = state.words[i - 1];
        state.words[i] = 1812433253u * (prev ^ (prev >> 30)) + i;
    }
    state.index = 624;
}

uint32_t mt_next(mt19937_state& state) {
    if (state.index >= 624) {
        for (int i = 0; i < 624; i++) {
            uint32_t y =
                (state.words[i] & 0x80000000u) | (state.words[(i + 1) % 624] & 0x7fffffffu);
            uint32_t next = state.words[(i + 397) % 624] ^ (y >> 1);
            if (y & 1) next ^= 0x9908b0dfu;
            state.words[i] = next;
        }
        state.index = 0;
    }
    uint32_t y = state.words[state.index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

void random_seed(uint32_t seed) { mt_seed(g_random, seed); }
uint32_t random_next() { return mt_next(g_random); }
