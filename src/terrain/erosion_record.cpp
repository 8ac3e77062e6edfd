// The terrain edit record: a path of wheel pushes packed for the wire and for demos.
#include "terrain/erosion.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int k_record_version = 1;
constexpr float k_range_pad = 0.0625f; // ft beyond the steps' extremes
constexpr float k_range_limit = 1024;  // ft

uint16_t range_encode(float v) {
    float t = (std::clamp(v, -k_range_limit, k_range_limit) + k_range_limit) / 2048;
    return static_cast<uint16_t>(std::floor(t * 65535 + 0.5f));
}
float range_decode(unsigned q) { return static_cast<float>(q) / 65535 * 2048 - k_range_limit; }

uint32_t position_encode(float v, float extent) {
    double t = std::clamp(static_cast<double>(v), 0.0, static_cast<double>(extent)) / extent;
    return static_cast<uint32_t>(std::floor(t * 16777215 + 0.5));
}
float position_decode(uint32_t q, float extent) {
    return static_cast<float>(static_cast<double>(q) / 16777215 * extent);
}

uint8_t step_encode(float step, float lo, float hi) {
    float t = (std::clamp(step, lo, hi) - lo) / (hi - lo);
    return static_cast<uint8_t>(std::clamp(std::floor(t * 255 + 0.5f), 0.0f, 255.0f));
}
float step_decode(uint8_t b, float lo, float hi) {
    return static_cast<float>(b) / 255 * (hi - lo) + lo;
}

// The push component in bits 2-7, two bits of the count in bits 0-1.
uint8_t push_encode(float p, unsigned count_bits) {
    float t = (std::clamp(p, -1.0f, 1.0f) + 1) / 2;
    unsigned rounded = static_cast<unsigned>(std::floor(t * 255 + 0.5f));
    unsigned sixty_fourths = static_cast<unsigned>(t * 64) % 64;
    return static_cast<uint8_t>((rounded & 0xFC) | (count_bits & 3) | (sixty_fourths * 4));
}
float push_decode(uint8_t b) {
    return std::clamp(static_cast<float>(b >> 2) / 64, 0.0f, 1.0f) * 2 - 1;
}

void put16(uint8_t* at, unsigned v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}
void put24(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
    at[2] = static_cast<uint8_t>(v >> 16);
}
unsigned get16(const uint8_t* at) { return at[0] | at[1] << 8; }
uint32_t get24(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16;
}

void put_push(uint8_t* at, const erosion_point& p) {
    unsigned count = static_cast<unsigned>(p.count) % 16;
    at[0] = push_encode(p.push_x, count);
    at[1] = push_encode(p.push_z, count >> 2);
}
void get_push(const uint8_t* at, erosion_point* p) {
    p->push_x = push_decode(at[0]);
    p->push_z = push_decode(at[1]);
    p->count = (at[0] & 3) | (at[1] & 3) << 2;
}
} // namespace

int terrain_edit_encode(const erosion_point* points, int count, const float step_min[2],
                        const float step_max[2], float extent, uint8_t* out) {
    if (count <= 0 || extent <= 0) return 0;
    count = std::min(count, k_erosion_path_points);
    out[0] = k_record_version;
    unsigned q[4] = {
        range_encode(step_min[0] - k_range_pad), range_encode(step_min[1] - k_range_pad),
        range_encode(step_max[0] + k_range_pad), range_encode(step_max[1] + k_range_pad)};
    for (int k = 0; k < 4; k++) put16(out + 1 + 2 * k, q[k]);
    float lo[2] = {range_decode(q[0]), range_decode(q[1])};
    float hi[2] = {range_decode(q[2]), range_decode(q[3])};
    uint32_t first_x = position_encode(points[0].x, extent);
    uint32_t first_z = position_encode(points[0].z, extent);
    put24(out + 9, first_x);
    put24(out + 12, first_z);
    put_push(out + 15, points[0]);
    // Steps are taken from where the reader will have put the previous point, so quantisation
    // errors do not add up along the path.
    float at_x = position_decode(first_x, extent), at_z = position_decode(first_z, extent);
    for (int k = 1; k < count; k++) {
        uint8_t* p = out + 17 + 4 * (k - 1);
        p[0] = step_encode(points[k].x - at_x, lo[0], hi[0]);
        p[1] = step_encode(points[k].z - at_z, lo[1], hi[1]);
        put_push(p + 2, points[k]);
        at_x += step_decode(p[0], lo[0], hi[0]);
        at_z += step_decode(p[1], lo[1], hi[1]);
    }
    return k_edit_record_min_bytes + 4 * (count - 1);
}

int terrain_edit_decode(const uint8_t* bytes, int length, float extent, erosion_point* out) {
    if (!bytes || length < k_edit_record_min_bytes || bytes[0] != k_record_version) return 0;
    int count = std::min((length - k_edit_record_min_bytes) / 4 + 1, k_erosion_path_points);
    float lo[2] = {range_decode(get16(bytes + 1)), range_decode(get16(bytes + 3))};
    float hi[2] = {range_decode(get16(bytes + 5)), range_decode(get16(bytes + 7))};
    out[0].x = position_decode(get24(bytes + 9), extent);
    out[0].z = position_decode(get24(bytes + 12), extent);
    get_push(bytes + 15, &out[0]);
    for (int k = 1; k < count; k++) {
        const uint8_t* p = bytes + 17 + 4 * (k - 1);
        out[k].x = out[k - 1].x + step_decode(p[0], lo[0], hi[0]);
        out[k].z = out[k - 1].z + step_decode(p[1], lo[1], hi[1]);
        get_push(p + 2, &out[k]);
    }
    return count;
}
