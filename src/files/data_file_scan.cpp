// Formatted reading from a data_file, with the conversions and results of scanf on the same text.
#include "files/files_local.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
constexpr int k_none = -2; // no character fetched (the width ran out)

struct scanner {
    data_file* file;
    int consumed = 0; // characters taken so far, for %n
    int width_left = 0;

    int get() {
        if (width_left <= 0) return k_none;
        int c = data_file_get_char(file);
        if (c == k_data_file_end) return c;
        width_left--;
        consumed++;
        return c;
    }
    // An unmatched character goes back to the stream for the next reader.
    void put_back(int c) {
        if (c < 0) return;
        data_file_unget(file, c);
        consumed--;
        width_left++;
    }
};

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips white space in the input; the next character, left unread (or k_data_file_end).
int skip_space(scanner& s) {
    int c;
    do {
        s.width_left = 1;
        c = s.get();
    } while (c >= 0 && is_space(c));
    s.put_back(c);
    return c;
}

int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

int lower(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

enum class size_modifier { hh, h, none, l, ll, j, z, t, big_l };

enum class outcome { stored, matching_failure, input_failure };

struct integer_result {
    bool negative = false;
    bool overflow = false;
    uint64_t magnitude = 0;
};

// Reads an integer in the given base (0: decimal, octal after "0", hex after "0x").
outcome scan_integer(scanner& s, int base, integer_result* r) {
    int c = s.get();
    if (c == k_data_file_end) return outcome::input_failure;
    if (c == '+' || c == '-') {
        r->negative = c == '-';
        c = s.get();
    }
    bool digits = false;
    if ((base == 0 || base == 16) && c == '0') {
        digits = true;
        c = s.get();
        if (c == 'x' || c == 'X') {
            // "0x" with no hex digit after it still reads as 0, as scanf does.
            base = 16;
            c = s.get();
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0) base = 10;
    while (c >= 0 && digit_value(c) < base) {
        digits = true;
        uint64_t d = static_cast<uint64_t>(digit_value(c));
        if (r->magnitude > (UINT64_MAX - d) / static_cast<uint64_t>(base))
            r->overflow = true;
        else
            r->magnitude = r->magnitude * static_cast<uint64_t>(base) + d;
        c = s.get();
    }
    s.put_back(c);
    return digits ? outcome::stored : outcome::matching_failure;
}

// The value strtol or strtoul would give for what was read.
uint64_t integer_value(const integer_result& r, bool is_signed) {
    if (is_signed) {
        constexpr uint64_t top = uint64_t{1} << 63;
        if (r.negative) return r.overflow || r.magnitude > top ? top : uint64_t{0} - r.magnitude;
        return r.overflow || r.magnitude >= top ? top - 1 : r.magnitude;
    }
    if (r.overflow) return UINT64_MAX;
    return r.negative ? uint64_t{0} - r.magnitude : r.magnitude;
}

void store_integer(va_list* args, size_modifier size, uint64_t v) {
    switch (size) {
    case size_modifier::hh:
        *va_arg(*args, signed char*) = static_cast<signed char>(v);
        break;
    case size_modifier::h:
        *va_arg(*args, short*) = static_cast<short>(v);
        break;
    case size_modifier::l:
        *va_arg(*args, long*) = static_cast<long>(v);
        break;
    case size_modifier::ll:
    case size_modifier::big_l:
        *va_arg(*args, long long*) = static_cast<long long>(v);
        break;
    case size_modifier::j:
        *va_arg(*args, intmax_t*) = static_cast<intmax_t>(v);
        break;
    case size_modifier::z:
        *va_arg(*args, size_t*) = static_cast<size_t>(v);
        break;
    case size_modifier::t:
        *va_arg(*args, ptrdiff_t*) = static_cast<ptrdiff_t>(v);
        break;
    case size_modifier::none:
        *va_arg(*args, int*) = static_cast<int>(v);
        break;
    }
}

// Matches the rest of a word ("nf", "an", "nity") case-insensitively.
bool match_word(scanner& s, const char* word, std::string* text) {
    for (const char* w = word; *w; w++) {
        int c = s.get();
        if (c < 0 || lower(c) != *w) {
            s.put_back(c);
            return false;
        }
        *text += static_cast<char>(c);
    }
    return true;
}

// Reads a decimal or hexadecimal floating-point number, "inf" or "nan". Like scanf, characters
// that began an exponent and then failed stay consumed; the value is the longest valid prefix.
outcome scan_float(scanner& s, std::string* text) {
    int c = s.get();
    if (c == k_data_file_end) return outcome::input_failure;
    if (c == '+' || c == '-') {
        *text += static_cast<char>(c);
        c = s.get();
    }
    if (c == 'i' || c == 'I') {
        *text += static_cast<char>(c);
        if (!match_word(s, "nf", text)) return outcome::matching_failure;
        int next = s.get();
        if (next == 'i' || next == 'I') {
            *text += static_cast<char>(next);
            match_word(s, "nity", text);
        } else {
            s.put_back(next);
        }
        return outcome::stored;
    }
    if (c == 'n' || c == 'N') {
        *text += static_cast<char>(c);
        return match_word(s, "an", text) ? outcome::stored : outcome::matching_failure;
    }
    int mantissa_digits = 0;
    bool hex = false;
    if (c == '0') {
        *text += '0';
        mantissa_digits++;
        c = s.get();
        if (c == 'x' || c == 'X') {
            *text += static_cast<char>(c);
            hex = true;
            c = s.get();
        }
    }
    int base = hex ? 16 : 10;
    while (c >= 0 && digit_value(c) < base) {
        *text += static_cast<char>(c);
        mantissa_digits++;
        c = s.get();
    }
    if (c == '.') {
        *text += '.';
        c = s.get();
        while (c >= 0 && digit_value(c) < base) {
            *text += static_cast<char>(c);
            mantissa_digits++;
            c = s.get();
        }
    }
    if (mantissa_digits == 0) {
        s.put_back(c);
        return outcome::matching_failure;
    }
    if (c >= 0 && lower(c) == (hex ? 'p' : 'e')) {
        *text += static_cast<char>(c);
        c = s.get();
        if (c == '+' || c == '-') {
            *text += static_cast<char>(c);
            c = s.get();
        }
        while (c >= '0' && c <= '9') {
            *text += static_cast<char>(c);
            c = s.get();
        }
    }
    s.put_back(c);
    return outcome::stored;
}

// The characters of a bracketed set, parsed from the format; the format position after "]".
const char* parse_set(const char* f, bool member[256]) {
    bool invert = false;
    if (*f == '^') {
        invert = true;
        f++;
    }
    for (int i = 0; i < 256; i++) member[i] = false;
    const char* start = f;
    for (; *f && (*f != ']' || f == start); f++) {
        unsigned char c = static_cast<unsigned char>(*f);
        if (f[1] == '-' && f[2] && f[2] != ']' && static_cast<unsigned char>(f[2]) >= c) {
            for (int x = c; x <= static_cast<unsigned char>(f[2]); x++) member[x] = true;
            f += 2;
        } else {
            member[c] = true;
        }
    }
    if (!*f) return nullptr;
    if (invert)
        for (int i = 0; i < 256; i++) member[i] = !member[i];
    return f + 1;
}
} // namespace

int data_file_vscan(data_file* file, const char* format, va_list args_in) {
    va_list args;
    va_copy(args, args_in);
    scanner s{file};
    int done = 0;
    bool input_failed = false;
    const char* f = format;
    while (*f) {
        if (is_space(static_cast<unsigned char>(*f))) {
            while (is_space(static_cast<unsigned char>(*f))) f++;
            skip_space(s);
            continue;
        }
        if (*f != '%' || f[1] == '%') {
            if (*f == '%') {
                f++;
                skip_space(s);
            }
            s.width_left = 1;
            int c = s.get();
            if (c == k_data_file_end) {
                input_failed = true;
                break;
            }
            if (c != static_cast<unsigned char>(*f)) {
                s.put_back(c);
                break;
            }
            f++;
            continue;
        }
        f++;
        bool suppress = false;
        if (*f == '*') {
            suppress = true;
            f++;
        }
        int width = 0;
        while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        size_modifier size = size_modifier::none;
        if (f[0] == 'h' && f[1] == 'h')
            size = size_modifier::hh, f += 2;
        else if (f[0] == 'l' && f[1] == 'l')
            size = size_modifier::ll, f += 2;
        else if (*f == 'h')
            size = size_modifier::h, f++;
        else if (*f == 'l')
            size = size_modifier::l, f++;
        else if (*f == 'L' || *f == 'q')
            size = size_modifier::big_l, f++;
        else if (*f == 'j')
            size = size_modifier::j, f++;
        else if (*f == 'z')
            size = size_modifier::z, f++;
        else if (*f == 't')
            size = size_modifier::t, f++;
        char conversion = *f;
        if (!conversion) break;
        f++;
        constexpr int k_unbounded = INT32_MAX;
        outcome result = outcome::stored;
        switch (conversion) {
        case 'n':
            if (!suppress) store_integer(&args, size, static_cast<uint64_t>(s.consumed));
            continue;
        case 'c': {
            s.width_left = width > 0 ? width : 1;
            char* out = suppress ? nullptr : va_arg(args, char*);
            int taken = 0;
            for (int c; (c = s.get()) >= 0; taken++)
                if (out) out[taken] = static_cast<char>(c);
            if (taken == 0) result = outcome::input_failure;
            break;
        }
        case 's':
        case '[': {
            bool member[256];
            if (conversion == '[') {
                f = parse_set(f, member);
                if (!f) {
                    va_end(args);
                    return done;
                }
            } else {
                if (skip_space(s) == k_data_file_end) {
                    result = outcome::input_failure;
                    break;
                }
                for (int i = 0; i < 256; i++) member[i] = !is_space(i);
            }
            s.width_left = width > 0 ? width : k_unbounded;
            char* out = suppress ? nullptr : va_arg(args, char*);
            int taken = 0;
            int c;
            while ((c = s.get()) >= 0 && member[c]) {
                if (out) out[taken] = static_cast<char>(c);
                taken++;
            }
            if (c >= 0) s.put_back(c);
            if (taken == 0)
                result = c == k_data_file_end ? outcome::input_failure : outcome::matching_failure;
            else if (out)
                out[taken] = 0;
            break;
        }
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            if (skip_space(s) == k_data_file_end) {
                result = outcome::input_failure;
                break;
            }
            s.width_left = width > 0 ? width : k_unbounded;
            int base = conversion == 'd' || conversion == 'u' ? 10
                       : conversion == 'i'                    ? 0
                       : conversion == 'o'                    ? 8
                                                              : 16;
            integer_result r;
            result = scan_integer(s, base, &r);
            if (result == outcome::stored && !suppress)
                store_integer(&args, size,
                              integer_value(r, conversion == 'd' || conversion == 'i'));
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            if (skip_space(s) == k_data_file_end) {
                result = outcome::input_failure;
                break;
            }
            s.width_left = width > 0 ? width : k_unbounded;
            std::string text;
            result = scan_float(s, &text);
            if (result == outcome::stored && !suppress) {
                if (size == size_modifier::l)
                    *va_arg(args, double*) = strtod(text.c_str(), nullptr);
                else if (size == size_modifier::big_l)
                    *va_arg(args, long double*) = strtold(text.c_str(), nullptr);
                else
                    *va_arg(args, float*) = strtof(text.c_str(), nullptr);
            }
            break;
        }
        default:
            va_end(args);
            return done;
        }
        if (result == outcome::input_failure) {
            input_failed = true;
            break;
        }
        if (result == outcome::matching_failure) break;
        if (!suppress) done++;
    }
    va_end(args);
    return input_failed && done == 0 ? -1 : done;
}

int data_file_scan(data_file* file, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = data_file_vscan(file, format, args);
    va_end(args);
    return n;
}

int32_t data_file_read_int(data_file* file) {
    int value = 0;
    return data_file_scan(file, "%d", &value) == 1 ? value : k_no_int;
}

// A "#" comment runs to the end of its line; an empty "#" line is a comment too.
void data_file_skip_comments(data_file* file) {
    for (;;) {
        scanner s{file};
        if (skip_space(s) != '#') return;
        int c;
        do c = data_file_get_char(file);
        while (c != k_data_file_end && c != '\n');
        if (c == k_data_file_end) return;
    }
}
