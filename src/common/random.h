// The one random generator of the system: 32-bit Mersenne Twister MT19937.
#pragma once

#include <cstdint>

struct mt19937_state {
    uint32_t words[624];
    int index;
};

void mt_seed(mt19937_state& state, uint32_t seed);
uint32_t mt_next(mt19937_state& state);

// The system-wide generator that race reset reseeds and robots and roost draw from.
void random_seed(uint32_t seed);
uint32_t random_next();
