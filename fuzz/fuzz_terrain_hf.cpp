// Fuzzes the "terrain.hf" reader: header, binary body, and queries over what it produced.
#include "terrain/terrain.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    height_field_header header;
    if (!height_field_parse_header(data, size, &header)) return 0;
    if (header.has_body && header.body_offset > size) __builtin_trap();
    // Large fields are only slower, not different; keep the runs quick.
    if (header.size_exponent > 7) return 0;
    height_field field;
    if (!height_field_parse(&field, data, size)) __builtin_trap();
    float extent = field.extent;
    for (int k = 0; k < 16; k++) {
        float x = extent * (static_cast<float>(k) / 8 - 0.5f),
              z = extent * (static_cast<float>(k * 7 % 16) / 8 - 0.5f);
        volatile float h = field_height_at(field, x, z);
        (void)h;
        volatile float y = field_normal_at(field, x, z).y;
        (void)y;
        vec3 v = field_vertex_normal_at(field, k * 9 - 20, k * 13 - 30);
        (void)v;
    }
    height_field_free(&field);
    return 0;
}
