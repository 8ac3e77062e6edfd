// Bounded scanf-style reads over byte buffers: nothing here reads past `size`.
#include "resources/text_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
bool is_space(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
} // namespace

void text_skip_space(text_reader& r) {
    while (r.at < r.size && is_space(r.data[r.at])) r.at++;
}

void text_skip_comments(text_reader& r) {
    for (;;) {
        text_skip_space(r);
        if (r.at >= r.size || r.data[r.at] != '#') return;
        while (r.at < r.size && r.data[r.at] != '\n') r.at++;
    }
}

bool text_read_word(text_reader& r, std::string* word, size_t max_length) {
    text_skip_space(r);
    word->clear();
    while (r.at < r.size && !is_space(r.data[r.at]) && word->size() < max_length)
        word->push_back(static_cast<char>(r.data[r.at++]));
    return !word->empty();
}

bool text_read_int(text_reader& r, int* value) {
    text_skip_space(r);
    size_t at = r.at;
    bool negative = false;
    if (at < r.size && (r.data[at] == '-' || r.data[at] == '+')) negative = r.data[at++] == '-';
    int64_t v = 0;
    size_t digits = 0;
    while (at < r.size && r.data[at] >= '0' && r.data[at] <= '9') {
        v = v * 10 + (r.data[at++] - '0');
        digits++;
        if (v > 0x80000000LL) return false;
    }
    if (digits == 0) return false;
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    *value = static_cast<int>(v);
    r.at = at;
    return true;
}

bool text_read_float(text_reader& r, float* value) {
    text_skip_space(r);
    // strtof needs a terminated text; no float worth reading is longer than this.
    char token[128];
    size_t n = 0;
    while (r.at + n < r.size && n + 1 < sizeof token && !is_space(r.data[r.at + n])) {
        token[n] = static_cast<char>(r.data[r.at + n]);
        n++;
    }
    token[n] = 0;
    if (n == 0) return false;
    char* end = nullptr;
    errno = 0;
    float v = strtof(token, &end);
    if (end == token) return false;
    *value = v;
    r.at += static_cast<size_t>(end - token);
    return true;
}

std::string text_read_line(text_reader& r) {
    std::string line;
    while (r.at < r.size && r.data[r.at] != '\n') line.push_back(static_cast<char>(r.data[r.at++]));
    if (r.at < r.size) r.at++;
    return line;
}
