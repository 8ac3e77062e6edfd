// Fuzzes the "tileinfo" and "texturelist" readers, the blend codes and the tile map.
#include "common/message.h"
#include "platform/log.h"
#include "terrain/terrain.h"

#include <cstddef>
#include <cstdint>

namespace {
uint32_t no_texture(const char*) { return 7; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Warnings are the expected output here; writing them to a log file would only slow runs.
    static bool quiet = (log_close(), true);
    (void)quiet;
    const char* text = reinterpret_cast<const char*>(data);
    surface_set set;
    for (int form = 0; form < 2; form++) {
        bool ok = form == 0 ? surface_types_parse_tileinfo(&set, text, size, no_texture)
                            : surface_types_parse_texturelist(&set, text, size, no_texture);
        if (!ok) continue;
        if (set.count < 1 || set.count > k_max_surface_types) __builtin_trap();
        surface_types_blend_codes(&set);
        surface_set_tilemap(&set, 6, 1.0f, data, size);
        for (int k = 0; k < 64 * 64; k++)
            if (set.tilemap[k] >= set.count) __builtin_trap();
        for (int t = 0; t < set.count; t++) {
            const surface_type& type = set.types[t];
            if (type.erosion.limit_count < 0 || type.erosion.limit_count > k_erode_limits)
                __builtin_trap();
            for (float speed : {0.0f, 0.5f, 3.0f, 40.0f, 1e6f}) {
                volatile float f = surface_friction_at(type, speed);
                float a, b;
                surface_roll_resist_at(type, speed, &a, &b);
                (void)f;
            }
        }
        volatile int at = surface_set_type_at(set, static_cast<float>(size), -3.0f);
        (void)at;
    }
    surface_set_free(&set);
    messages_clear();
    return 0;
}
