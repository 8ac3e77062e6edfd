// The height field's storage, its "terrain.hf" header and body, and height writes.
#include "terrain/terrain.h"

#include "common/ripemd160.h"
#include "platform/memory.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
bool is_blank(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void skip_blanks(const uint8_t* bytes, size_t size, size_t* at) {
    while (*at < size && is_blank(bytes[*at])) ++*at;
}

// One scanf-style number: white space, then the longest prefix the C library parses.
bool scan_number(const uint8_t* bytes, size_t size, size_t* at, bool integer, double* out) {
    skip_blanks(bytes, size, at);
    char token[64];
    size_t length = 0;
    while (length < sizeof token - 1 && *at + length < size && bytes[*at + length] != 0 &&
           !is_blank(bytes[*at + length])) {
        token[length] = static_cast<char>(bytes[*at + length]);
        length++;
    }
    token[length] = 0;
    char* end = token;
    if (integer) {
        long value = strtol(token, &end, 10);
        *out = static_cast<double>(value);
    } else {
        *out = strtod(token, &end);
    }
    if (end == token) return false;
    *at += static_cast<size_t>(end - token);
    return true;
}
} // namespace

bool height_field_parse_header(const uint8_t* bytes, size_t size, height_field_header* out) {
    size_t at = 0;
    double e = 0, c = 0, lo = 0, hi = 0;
    if (!scan_number(bytes, size, &at, true, &e) || !scan_number(bytes, size, &at, false, &c) ||
        !scan_number(bytes, size, &at, false, &lo) || !scan_number(bytes, size, &at, false, &hi))
        return false;
    // Sizes the level-of-detail layout can't hold, or numbers that would poison every query,
    // are refused like a header that doesn't parse.
    if (e < k_min_size_exponent || e > k_max_size_exponent) return false;
    if (!std::isfinite(c) || c <= 0 || c > 1.0e4) return false;
    if (!std::isfinite(lo) || !std::isfinite(hi) || std::fabs(lo) > 1.0e7 || std::fabs(hi) > 1.0e7)
        return false;
    skip_blanks(bytes, size, &at);
    out->size_exponent = static_cast<int>(e);
    out->cell_size = static_cast<float>(c);
    out->min_height = static_cast<float>(lo);
    out->max_height = static_cast<float>(hi);
    out->has_body = at < size && bytes[at] == ':';
    out->body_offset = out->has_body ? at + 1 : 0;
    return true;
}

void height_field_create(height_field* field, int size_exponent, float cell_size, float min_height,
                         float max_height) {
    height_field_free(field);
    int n = (1 << (size_exponent + 1)) + 1;
    field->size_exponent = size_exponent;
    field->samples_per_side = n;
    field->cell_size = cell_size;
    field->inverse_cell_size = 1.0f / cell_size;
    field->extent = static_cast<float>(n - 1) * cell_size;
    field->min_height = min_height;
    field->max_height = max_height;
    size_t samples = static_cast<size_t>(n) * static_cast<size_t>(n);
    field->heights = static_cast<float*>(checked_alloc(2 * samples * sizeof(float)));
    field->loaded_heights = field->heights + samples;
    std::fill(field->heights, field->heights + 2 * samples, min_height);
    size_t triangles = static_cast<size_t>(2 * n - 2) * static_cast<size_t>(n - 1);
    field->triangle_normals = static_cast<vec3*>(checked_calloc(triangles, sizeof(vec3)));
    field->normal_dirty = static_cast<uint8_t*>(checked_alloc(triangles));
    memset(field->normal_dirty, 1, triangles);
    field->changed_min_i = field->changed_min_j = 0;
    field->changed_max_i = field->changed_max_j = -1;
}

void height_field_free(height_field* field) {
    checked_free(field->heights);
    checked_free(field->triangle_normals);
    checked_free(field->normal_dirty);
    *field = height_field{};
}

void height_field_fill_from_body(height_field* field, const uint8_t* body, size_t size) {
    size_t samples = static_cast<size_t>(field->samples_per_side) * field->samples_per_side;
    float scale = (field->max_height - field->min_height) / 65535.0f;
    for (size_t k = 0; k < samples; k++) {
        size_t at = 2 * k;
        unsigned lo = at < size ? body[at] : 0xFF;
        unsigned hi = at + 1 < size ? body[at + 1] : 0xFF;
        field->heights[k] = field->min_height + static_cast<float>(lo | hi << 8) * scale;
    }
}

void height_field_fill_from_image(height_field* field, const uint16_t* pixels, int width,
                                  int height) {
    int n = field->samples_per_side;
    float scale = (field->max_height - field->min_height) / 65535.0f;
    for (int j = 0; j < n; j++) {
        const uint16_t* row = pixels + static_cast<size_t>(std::min(j, height - 1)) * width;
        for (int i = 0; i < n; i++)
            field->heights[i + static_cast<size_t>(n) * j] =
                field->min_height + static_cast<float>(row[std::min(i, width - 1)]) * scale;
    }
}

void height_field_loaded(height_field* field) {
    size_t samples = static_cast<size_t>(field->samples_per_side) * field->samples_per_side;
    memcpy(field->loaded_heights, field->heights, samples * sizeof(float));
    size_t triangles = static_cast<size_t>(2 * field->samples_per_side - 2) *
                       static_cast<size_t>(field->samples_per_side - 1);
    memset(field->normal_dirty, 1, triangles);
}

void height_field_digest(const uint16_t* samples, size_t count, char hex[41]) {
    ripemd160_state state;
    ripemd160_init(state);
    uint8_t block[1024];
    size_t used = 0;
    for (size_t k = 0; k < count; k++) {
        block[used++] = static_cast<uint8_t>(samples[k]);
        block[used++] = static_cast<uint8_t>(samples[k] >> 8);
        if (used == sizeof block) {
            ripemd160_update(state, block, used);
            used = 0;
        }
    }
    ripemd160_update(state, block, used);
    uint8_t digest[20];
    ripemd160_final(state, digest);
    std::string text = ripemd160_hex(digest);
    memcpy(hex, text.c_str(), 41);
}

void height_field_heights_digest(const height_field& field, char hex[41]) {
    ripemd160_state state;
    ripemd160_init(state);
    size_t count = static_cast<size_t>(field.samples_per_side) * field.samples_per_side;
    if (field.heights) ripemd160_update(state, field.heights, count * sizeof(float));
    uint8_t digest[20];
    ripemd160_final(state, digest);
    memcpy(hex, ripemd160_hex(digest).c_str(), 41);
}

bool height_field_parse(height_field* field, const uint8_t* bytes, size_t size) {
    height_field_header header;
    if (!height_field_parse_header(bytes, size, &header)) return false;
    height_field_create(field, header.size_exponent, header.cell_size, header.min_height,
                        header.max_height);
    if (header.has_body)
        height_field_fill_from_body(field, bytes + header.body_offset, size - header.body_offset);
    height_field_loaded(field);
    return true;
}

int field_triangle_index(const height_field& field, int i, int j, int which) {
    return j * (2 * field.samples_per_side - 2) + 2 * i + which;
}

namespace {
// Marks the cached normal of every triangle that has sample (i, j) as a corner.
void mark_triangles_around(height_field& field, int i, int j) {
    int cells = field.samples_per_side - 1;
    for (int dj = 0; dj < 2; dj++) {
        for (int di = 0; di < 2; di++) {
            int ci = i - 1 + di, cj = j - 1 + dj;
            if (ci < 0 || cj < 0 || ci >= cells || cj >= cells) continue;
            // The sample's corner of this cell: (1 - di, 1 - dj).
            int corner_x = 1 - di, corner_z = 1 - dj;
            bool even = ((ci + cj) & 1) == 0;
            bool first, second;
            if (even) {
                first = corner_x == corner_z || (corner_x == 1 && corner_z == 0);
                second = corner_x == corner_z || (corner_x == 0 && corner_z == 1);
            } else {
                first = corner_x != corner_z || (corner_x == 0 && corner_z == 0);
                second = corner_x != corner_z || (corner_x == 1 && corner_z == 1);
            }
            if (first) field.normal_dirty[field_triangle_index(field, ci, cj, 0)] = 1;
            if (second) field.normal_dirty[field_triangle_index(field, ci, cj, 1)] = 1;
        }
    }
}
} // namespace

void field_set_height(height_field& field, int i, int j, float height) {
    int n = field.samples_per_side;
    if (i < 0 || j < 0 || i >= n || j >= n) return;
    field.heights[i + static_cast<size_t>(n) * j] = height;
    field.min_height = std::min(field.min_height, height);
    field.max_height = std::max(field.max_height, height);
    mark_triangles_around(field, i, j);
    field.changes++;
    if (field.changed_min_i > field.changed_max_i) {
        field.changed_min_i = field.changed_max_i = i;
        field.changed_min_j = field.changed_max_j = j;
    } else {
        field.changed_min_i = std::min(field.changed_min_i, i);
        field.changed_max_i = std::max(field.changed_max_i, i);
        field.changed_min_j = std::min(field.changed_min_j, j);
        field.changed_max_j = std::max(field.changed_max_j, j);
    }
}

bool field_take_changed(height_field& field, int* min_i, int* min_j, int* max_i, int* max_j) {
    if (field.changed_min_i > field.changed_max_i) return false;
    *min_i = field.changed_min_i;
    *min_j = field.changed_min_j;
    *max_i = field.changed_max_i;
    *max_j = field.changed_max_j;
    field.changed_min_i = field.changed_min_j = 0;
    field.changed_max_i = field.changed_max_j = -1;
    return true;
}
