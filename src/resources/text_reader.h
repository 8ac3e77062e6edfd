// A bounded cursor over a byte buffer with the scanf-style reads the picture and model readers use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct text_reader {
    const uint8_t* data = nullptr;
    size_t size = 0; // bytes
    size_t at = 0;   // bytes consumed
};

inline text_reader text_reader_of(const uint8_t* data, size_t size) {
    return text_reader{data, size, 0};
}
inline size_t text_remaining(const text_reader& r) { return r.size - r.at; }
inline bool text_at_end(const text_reader& r) { return r.at >= r.size; }

void text_skip_space(text_reader& r);
// Skips white space and "#" comment lines until other text follows.
void text_skip_comments(text_reader& r);
// "%s": a word of at most max_length bytes (longer words are cut there, like a width).
bool text_read_word(text_reader& r, std::string* word, size_t max_length = 1023);
// "%d": optional sign and decimal digits; false on no digits or a value outside 32 bits.
bool text_read_int(text_reader& r, int* value);
// "%f": a float as strtof reads it.
bool text_read_float(text_reader& r, float* value);
// The rest of the current line (without its newline), consuming the newline.
std::string text_read_line(text_reader& r);
