// The ".scram" keystream transform, shared by the reader and the generator.
#include "files/scramble.h"

#include <cstring>

const uint8_t k_scramble_mark[k_scramble_mark_size] = {'T', 'B', 's', 0x1A};

namespace {
// Any non-zero key works; this one is "trailbok" read as a little-endian word.
constexpr uint64_t k_scramble_key = 0x6B6F626C69617274ull;

uint64_t next_word(uint64_t* state) {
    uint64_t x = *state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    *state = x;
    return x * 0x2545F4914F6CDD1Dull;
}
} // namespace

void scramble_start(scramble_stream* s) {
    s->state = k_scramble_key;
    s->word = 0;
    s->word_left = 0;
}

void scramble_apply(scramble_stream* s, uint8_t* bytes, size_t count) {
    size_t i = 0;
    while (i < count && s->word_left > 0) {
        bytes[i++] ^= static_cast<uint8_t>(s->word);
        s->word >>= 8;
        s->word_left--;
    }
    // Whole words at a time: the key bytes of one word go out lowest first, as above.
    while (count - i >= 8) {
        uint64_t key = next_word(&s->state);
        for (int b = 0; b < 8; b++) bytes[i + b] ^= static_cast<uint8_t>(key >> (8 * b));
        i += 8;
    }
    if (i < count) {
        s->word = next_word(&s->state);
        s->word_left = 8;
        while (i < count) {
            bytes[i++] ^= static_cast<uint8_t>(s->word);
            s->word >>= 8;
            s->word_left--;
        }
    }
}

std::string scramble_bytes(const std::string& plain) {
    std::string out(reinterpret_cast<const char*>(k_scramble_mark), k_scramble_mark_size);
    out += plain;
    scramble_stream s;
    scramble_start(&s);
    scramble_apply(&s, reinterpret_cast<uint8_t*>(out.data()) + k_scramble_mark_size, plain.size());
    return out;
}
