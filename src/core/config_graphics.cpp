// The graphics presets of the Graphics/Sound Setup page and the working graphics values derived
// from the settings.
#include "core/config.h"

#include "common/common.h"

#include <algorithm>
#include <cmath>

namespace {
// One column of the preset table: the 13 graphics settings.
struct graphics_preset {
    const char* name;
    double ground_detail;
    double ground_texture_detail;
    int ground_texture_dim; // item: 0 32x32 ... 5 1024x1024
    int ground_mipmaps;
    int texture_compress;
    int render_texture;
    int use_shader;
    double roost_density;
    double reshade_delay;
    int lens_flare;
    int reflections;
    double model_detail;
    double model_texture_detail;
};

constexpr graphics_preset k_presets[k_graphics_preset_count] = {
    {"Compatibility", 70, 9, 1, 1, 0, 0, 1, 1000, 8, 1, 1, 50, 9},
    {"High FPS", 50, 7, 1, 1, 1, 2, 0, 0, 10, 0, 0, 25, 7},
    {"Normal", 70, 9, 2, 1, 1, 4, 1, 1000, 8, 1, 1, 50, 9},
    {"High Detail", 90, 10, 3, 1, 0, 4, 1, 1000, 0, 1, 1, 75, 10},
};

graphics_preset preset_of(const settings& s) {
    return {nullptr,
            s.ground_detail,
            s.ground_texture_detail,
            s.ground_texture_dim,
            s.ground_mipmaps,
            s.texture_compress,
            s.render_texture,
            s.use_shader,
            s.roost_density,
            s.reshade_delay,
            s.lens_flare,
            s.reflections,
            s.model_detail,
            s.model_texture_detail};
}

bool same_settings(const graphics_preset& a, const graphics_preset& b) {
    return a.ground_detail == b.ground_detail &&
           a.ground_texture_detail == b.ground_texture_detail &&
           a.ground_texture_dim == b.ground_texture_dim && a.ground_mipmaps == b.ground_mipmaps &&
           a.texture_compress == b.texture_compress && a.render_texture == b.render_texture &&
           a.use_shader == b.use_shader && a.roost_density == b.roost_density &&
           a.reshade_delay == b.reshade_delay && a.lens_flare == b.lens_flare &&
           a.reflections == b.reflections && a.model_detail == b.model_detail &&
           a.model_texture_detail == b.model_texture_detail;
}

int detail_skip(double detail) {
    return static_cast<int>(std::lround(std::clamp(10 - detail, 0.0, 10.0)));
}
} // namespace

const char* graphics_preset_name(int preset) {
    TB_ASSERT(preset >= 0 && preset < k_graphics_preset_count);
    return k_presets[preset].name;
}

void graphics_preset_apply(settings& s, int preset) {
    TB_ASSERT(preset >= 0 && preset < k_graphics_preset_count);
    const graphics_preset& p = k_presets[preset];
    s.ground_detail = p.ground_detail;
    s.ground_texture_detail = p.ground_texture_detail;
    s.ground_texture_dim = p.ground_texture_dim;
    s.ground_mipmaps = p.ground_mipmaps;
    s.texture_compress = p.texture_compress;
    s.render_texture = p.render_texture;
    s.use_shader = p.use_shader;
    s.roost_density = p.roost_density;
    s.reshade_delay = p.reshade_delay;
    s.lens_flare = p.lens_flare;
    s.reflections = p.reflections;
    s.model_detail = p.model_detail;
    s.model_texture_detail = p.model_texture_detail;
}

int graphics_preset_matching(const settings& s) {
    const graphics_preset now = preset_of(s);
    for (int i = 0; i < k_graphics_preset_count; i++)
        if (same_settings(k_presets[i], now)) return i;
    return -1;
}

graphics_working graphics_derive(const settings& s) {
    graphics_working g;
    // Ground detail 0 would make the factor infinite: it counts as the coarsest finite detail.
    g.terrain_lod_factor = static_cast<float>(0.125 / std::max(s.ground_detail, 1.0));
    g.ground_texture_skip = detail_skip(s.ground_texture_detail);
    g.ground_texture_size = 32 << std::clamp(s.ground_texture_dim, 0, 5);
    double scale = std::clamp(100 - s.model_detail, 0.0, 100.0) * 0.02;
    g.model_lod_scale = static_cast<float>(scale > 1 ? scale * scale * scale : scale);
    g.model_lod_bias =
        static_cast<float>(50 - 50 * std::clamp((s.model_detail - 10) * 0.05, 0.0, 1.0));
    g.model_texture_skip = detail_skip(s.model_texture_detail);
    g.texture_compress_mode = s.texture_compress;
    g.roost_frequency = static_cast<int>(std::lround(s.roost_density));
    g.reflections_on = s.reflections;
    return g;
}
