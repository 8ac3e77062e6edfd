// Reading and writing the text of ".shp" collision shape files.
#include "bike/data/bike_shape.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
// A cursor over text that need not be NUL-terminated.
struct text_cursor {
    const char* at;
    const char* end;
};

void skip_space(text_cursor& c) {
    while (c.at < c.end && isspace(static_cast<unsigned char>(*c.at))) c.at++;
}

// Copies the next token (at most 63 bytes) so strtol/strtof never run past the buffer.
bool next_token(text_cursor& c, char* token, int size) {
    skip_space(c);
    int n = 0;
    while (c.at < c.end && !isspace(static_cast<unsigned char>(*c.at))) {
        if (n == size - 1) return false;
        token[n++] = *c.at++;
    }
    token[n] = 0;
    return n > 0;
}

bool read_int(text_cursor& c, long* out) {
    char token[64];
    if (!next_token(c, token, sizeof token)) return false;
    char* stop = nullptr;
    *out = strtol(token, &stop, 10);
    return *stop == 0;
}

// Only finite numbers: a NaN or infinite sphere would poison every contact it touches.
bool read_float(text_cursor& c, float* out) {
    char token[64];
    if (!next_token(c, token, sizeof token)) return false;
    char* stop = nullptr;
    *out = strtof(token, &stop);
    return *stop == 0 && std::isfinite(*out);
}
} // namespace

float shape_bounding_radius(const std::vector<shape_sphere>& spheres) {
    float best = 0;
    for (const shape_sphere& s : spheres) {
        float d =
            std::sqrt(s.centre.x * s.centre.x + s.centre.y * s.centre.y + s.centre.z * s.centre.z);
        if (d + s.radius > best) best = d + s.radius;
    }
    return best;
}

bool shape_parse(const char* text, size_t length, shape* out) {
    *out = shape{};
    text_cursor c{text, text + length};
    long count = 0;
    if (!read_int(c, &count) || count < 0) return false;
    std::vector<shape_sphere> spheres;
    // The count is untrusted: spheres are added as they parse, never reserved up front.
    for (long i = 0; i < count; i++) {
        shape_sphere s;
        if (!read_float(c, &s.centre.x) || !read_float(c, &s.centre.y) ||
            !read_float(c, &s.centre.z) || !read_float(c, &s.radius) ||
            !read_float(c, &s.friction) || !read_float(c, &s.stiffness) ||
            !read_float(c, &s.damping) || s.radius < 0)
            return false;
        spheres.push_back(s);
    }
    out->bounding_radius = shape_bounding_radius(spheres);
    out->spheres = std::move(spheres);
    return true;
}

std::string shape_format(const shape& s) {
    std::string text;
    char line[512];
    snprintf(line, sizeof line, "%d\n", static_cast<int>(s.spheres.size()));
    text += line;
    for (const shape_sphere& p : s.spheres) {
        snprintf(line, sizeof line, "%f %f %f %f %f %f %f\n", p.centre.x, p.centre.y, p.centre.z,
                 p.radius, p.friction, p.stiffness, p.damping);
        text += line;
    }
    return text;
}
