// Sun shading and cast shadows of a generated ground, and the "lighting" file that goes with
// them, so the editor's reshading of a deformed sample agrees with what was baked.
#include "forge.h"
#include "forge_track_files.h"

#include "resources/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
struct unit_sun {
    float v[3];   // unit vector towards the sun
    float dx, dz; // unit horizontal direction towards the sun
    float rise;   // ft the sun ray climbs per ft across the ground
};

unit_sun normalise_sun(const forge_sun& sun) {
    unit_sun u{};
    float length = std::sqrt(sun.vector[0] * sun.vector[0] + sun.vector[1] * sun.vector[1] +
                             sun.vector[2] * sun.vector[2]);
    for (int k = 0; k < 3; k++) u.v[k] = sun.vector[k] / length;
    float horizontal = std::hypot(u.v[0], u.v[2]);
    u.dx = u.v[0] / horizontal;
    u.dz = u.v[2] / horizontal;
    u.rise = u.v[1] / horizontal;
    return u;
}

struct field_view {
    const std::vector<float>& h;
    int n;
    float c;

    float at(int i, int j) const {
        i = std::clamp(i, 0, n - 1);
        j = std::clamp(j, 0, n - 1);
        return h[static_cast<size_t>(j) * n + i];
    }
    // Bilinear height at sample coordinates inside the grid.
    float sample(float u, float v) const {
        int i = static_cast<int>(u), j = static_cast<int>(v);
        float fu = u - static_cast<float>(i), fv = v - static_cast<float>(j);
        float a = at(i, j), b = at(i + 1, j), d = at(i, j + 1), e = at(i + 1, j + 1);
        return (a + (b - a) * fu) * (1 - fv) + (d + (e - d) * fu) * fv;
    }
};

// How much of the sun the terrain hides from sample (i, j): marches towards the sun until the
// ray clears the highest ground; the last half foot of overlap fades so edges are not jagged.
float occlusion(const field_view& f, const unit_sun& sun, int i, int j, float highest) {
    constexpr float k_bias = 0.05f;    // ft, keeps a sample from shadowing itself
    constexpr float k_softness = 0.5f; // ft of terrain above the ray for a full shadow
    float h0 = f.at(i, j) + k_bias;
    float step = f.c;               // ft
    float du = sun.dx, dv = sun.dz; // samples per step
    float limit = static_cast<float>(f.n - 1);
    float hidden = 0;
    for (int k = 1;; k++) {
        float t = static_cast<float>(k);
        float ray = h0 + t * step * sun.rise;
        if (ray > highest) break;
        float u = static_cast<float>(i) + t * du, v = static_cast<float>(j) + t * dv;
        if (u < 0 || v < 0 || u > limit || v > limit) break;
        float over = (f.sample(u, v) - ray) / k_softness;
        if (over > hidden) {
            hidden = over;
            if (hidden >= 1) return 1;
        }
    }
    return hidden;
}
} // namespace

forge_ground_light forge_light_ground(const std::vector<float>& heights, int n, float c,
                                      const forge_sun& sun) {
    forge_ground_light light;
    field_view f{heights, n, c};
    unit_sun s = normalise_sun(sun);
    float highest = *std::max_element(heights.begin(), heights.end());
    size_t total = static_cast<size_t>(n) * n;
    light.shading.resize(total * 3);
    light.shadow.resize(total);
    for (int j = 0; j < n; j++) {
        for (int i = 0; i < n; i++) {
            size_t at = static_cast<size_t>(j) * n + i;
            // The normal from the neighbours' slopes (one-sided at the edges).
            float gx = (f.at(i + 1, j) - f.at(i - 1, j)) /
                       (c * static_cast<float>(std::min(i + 1, n - 1) - std::max(i - 1, 0)));
            float gz = (f.at(i, j + 1) - f.at(i, j - 1)) /
                       (c * static_cast<float>(std::min(j + 1, n - 1) - std::max(j - 1, 0)));
            float r = 1.0f / std::sqrt(gx * gx + 1 + gz * gz);
            float lit = std::clamp((-gx * s.v[0] + s.v[1] - gz * s.v[2]) * r, 0.0f, 1.0f);
            uint8_t shadow = 0;
            if (lit > 0) {
                float hidden = occlusion(f, s, i, j, highest);
                shadow = static_cast<uint8_t>(std::lround(std::clamp(hidden, 0.0f, 1.0f) * 255));
            }
            light.shadow[at] = shadow;
            float u = lit * (1 - static_cast<float>(shadow) / 255);
            for (int k = 0; k < 3; k++) {
                float v = (sun.colour[k] * u + sun.ambient[k]) * 0.5f * 255;
                light.shading[at * 3 + k] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
            }
        }
    }
    return light;
}

// The sun's lens flare: a glow on the sun and ghosts along the line through the middle of the
// view, faint so they tint rather than hide what lies behind them.
constexpr const char* k_sun_flare =
    "flare_element [ 0 1 ] [ 0.8 0.75 0.6 ] 0.25 @flare-glow.ppm\n"
    "flare_element [ 0 0.55 ] [ 0.25 0.3 0.45 ] 0.07 @flare-disc.ppm\n"
    "flare_element [ 0 0.2 ] [ 0.2 0.35 0.2 ] 0.04 @flare-disc.ppm\n"
    "flare_element [ 0 -0.3 ] [ 0.25 0.16 0.1 ] 0.1 @flare-ring.ppm\n"
    "flare_element [ 0 -0.6 ] [ 0.2 0.25 0.4 ] 0.05 @flare-disc.ppm\n"
    "flare_element [ 0 -1 ] [ 0.18 0.15 0.25 ] 0.18 @flare-ring.ppm\n";

std::string forge_lighting_text(const forge_sun& sun) {
    char text[1536];
    snprintf(text, sizeof text,
             "sun_vector [ %g %g %g ]\nsun_color [ %g %g %g ]\nambient [ %g %g %g ]\n"
             // A thin haze the colour of the sky's horizon, so the far hills fade into it.
             "fog [ 0.78 0.84 0.9 ] 0.0004\nnear_plane 0.25\nfar_plane 5000\n"
             // Where the player's settings allow it, the ground is lit per pixel.
             "dynamic_lighting 1\n"
             "%sflare_vector [ %g %g %g ]\n",
             sun.vector[0], sun.vector[1], sun.vector[2], sun.colour[0], sun.colour[1],
             sun.colour[2], sun.ambient[0], sun.ambient[1], sun.ambient[2], k_sun_flare,
             sun.vector[0], sun.vector[1], sun.vector[2]);
    return text;
}

bool forge_write_ground_light(const std::string& folder, const forge_ground_light& light, int n) {
    image shading;
    image_allocate(&shading, n, n, 3);
    shading.pixels = light.shading;
    // The file holds how lit a sample is; the game inverts it back into the shadow.
    image lit;
    image_allocate(&lit, n, n, 1);
    for (size_t k = 0; k < lit.pixels.size(); k++)
        lit.pixels[k] = static_cast<uint8_t>(255 - light.shadow[k]);
    return forge_write_file(folder + "shadingx2.ppm", image_encode_ppm(shading)) &&
           forge_write_file(folder + "shadows.pgm", image_encode_ppm(lit)) &&
           forge_write_file(folder + "lighting", forge_lighting_text(k_forge_sun));
}

std::vector<float> forge_read_terrain_hf(const std::string& bytes, int* n, float* cell_size) {
    size_t colon = bytes.find(':');
    if (colon == std::string::npos || colon > 256) return {};
    int e = 0;
    float c = 0, lo = 0, hi = 0;
    std::string header = bytes.substr(0, colon);
    if (sscanf(header.c_str(), "%d %f %f %f", &e, &c, &lo, &hi) != 4 || e < 1 || e > 12) return {};
    int side = (1 << (e + 1)) + 1;
    size_t count = static_cast<size_t>(side) * side;
    if (bytes.size() - colon - 1 < count * 2) return {};
    std::vector<float> h(count);
    const auto* body = reinterpret_cast<const uint8_t*>(bytes.data() + colon + 1);
    float scale = (hi - lo) / 65535.0f;
    for (size_t k = 0; k < count; k++)
        h[k] = lo + static_cast<float>(body[2 * k] | body[2 * k + 1] << 8) * scale;
    *n = side;
    *cell_size = c;
    return h;
}
