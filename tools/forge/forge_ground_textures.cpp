// Ground textures made from tileable value noise: dirt, loam, sand, grass and hard-pack, their
// "alt" variants and the corner-blend tiles between dirt and the others.
#include "common/common.h"
#include "forge_ground_textures.h"

#include "forge.h"
#include "forge_resources.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {
constexpr int k_size = k_ground_texture_size;

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

float lattice(int x, int y, int period_x, int period_y, uint32_t seed) {
    x = ((x % period_x) + period_x) % period_x;
    y = ((y % period_y) + period_y) % period_y;
    return static_cast<float>(hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) &
                              0xFFFF) /
           65535.0f;
}

// Value noise that wraps at the tile's edges: u and v in [0, 1), `px` x `py` lattice cells.
float noise(float u, float v, int px, int py, uint32_t seed) {
    float fx = u * static_cast<float>(px), fy = v * static_cast<float>(py);
    int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    float tx = fx - static_cast<float>(ix), ty = fy - static_cast<float>(iy);
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    float a = lattice(ix, iy, px, py, seed), b = lattice(ix + 1, iy, px, py, seed);
    float c = lattice(ix, iy + 1, px, py, seed), d = lattice(ix + 1, iy + 1, px, py, seed);
    return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

// Octaves from `first` lattice cells a side upwards, each half as strong; about [0, 1].
float fractal(float u, float v, int first, int octaves, uint32_t seed) {
    float sum = 0, weight = 0, amp = 1;
    for (int o = 0; o < octaves; o++) {
        int cells = first << o;
        sum += amp * noise(u, v, cells, cells, seed + static_cast<uint32_t>(o) * 101u);
        weight += amp;
        amp *= 0.5f;
    }
    return sum / weight;
}

struct colour {
    float r, g, b;
};

colour mix(colour a, colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

colour scale(colour c, float k) { return {c.r * k, c.g * k, c.b * k}; }

// One material's colour at (u, v); `extra` (0 at the tile's edges) strengthens the interior
// details of the "alt" variants so they still meet their neighbours without a seam.
colour material_colour(ground_material m, float u, float v, float extra, uint32_t seed) {
    float broad = fractal(u, v, 4, 3, seed);
    float grain = fractal(u, v, 64, 2, seed + 7);
    float speck = noise(u, v, 128, 128, seed + 13);
    switch (m) {
    case ground_material::dirt: {
        // Worked dirt: little broad change, so that the repeat of the squares does not show,
        // and a fine crumble with clods over it.
        float crumble = fractal(u, v, 32, 2, seed + 41);
        colour c = mix(colour{118, 85, 56}, colour{142, 104, 70}, broad);
        c = scale(c, 0.8f + 0.22f * grain + 0.18f * crumble);
        if (speck > 0.86f - 0.08f * extra) c = mix(c, colour{176, 160, 138}, 0.7f); // pebbles
        if (speck < 0.08f) c = scale(c, 0.7f);
        return c;
    }
    case ground_material::loam: {
        float clumps = fractal(u, v, 16, 3, seed + 3);
        colour c = mix(colour{70, 50, 34}, colour{104, 76, 52}, broad * 0.6f + clumps * 0.4f);
        c = scale(c, 0.8f + 0.4f * grain);
        if (clumps > 0.68f - 0.1f * extra) c = scale(c, 0.78f);
        return c;
    }
    case ground_material::sand: {
        float warp = fractal(u, v, 4, 2, seed + 5);
        float ripple = 0.5f + 0.5f * std::sin(2 * k_pi_f * (v * 24 + u * 4 + warp * 3));
        colour c = mix(colour{188, 160, 110}, colour{222, 198, 146}, broad);
        c = scale(c, 0.9f + 0.12f * ripple + 0.1f * grain - 0.05f);
        if (speck > 0.9f - 0.05f * extra) c = scale(c, 0.82f);
        return c;
    }
    case ground_material::grass: {
        // Blades: noise stretched along v, bright and dark, over a patchy green.
        float blades = noise(u, v, 128, 16, seed + 17);
        float patches = fractal(u, v, 8, 3, seed + 19);
        colour c = mix(colour{52, 92, 34}, colour{94, 136, 56}, patches);
        c = scale(c, 0.72f + 0.56f * blades * (0.6f + 0.4f * grain));
        if (patches < 0.3f + 0.1f * extra) c = mix(c, colour{130, 126, 70}, 0.35f); // dry spots
        return c;
    }
    case ground_material::hardpack: {
        colour c = mix(colour{142, 122, 94}, colour{170, 150, 118}, broad);
        c = scale(c, 0.93f + 0.14f * grain);
        float crack = std::fabs(fractal(u, v, 8, 3, seed + 23) - 0.5f);
        if (crack < 0.012f + 0.006f * extra) c = scale(c, 0.72f);
        return c;
    }
    default:
        return {128, 128, 128};
    }
}

uint32_t material_seed(ground_material m) { return 1000u + 977u * static_cast<uint32_t>(m); }

// The ground shows the middle 7/8 of a tile's picture over its square, so the pictures repeat
// over that middle: a pixel's place in the repeat runs from 0 at 1/16 of the picture to 1 at
// 15/16, and the noise wraps there. The margins continue the pattern past the square's edges,
// so neighbouring squares meet without a seam whatever filter samples them.
float repeat_place(int pixel) {
    return ((static_cast<float>(pixel) + 0.5f) / k_size - 0.0625f) / 0.875f;
}

// The picture of a material variant: variant 0 is plain, others add interior detail.
std::vector<colour> material_picture(ground_material m, int variant) {
    std::vector<colour> out(static_cast<size_t>(k_size) * k_size);
    uint32_t seed = material_seed(m);
    for (int y = 0; y < k_size; y++) {
        for (int x = 0; x < k_size; x++) {
            float u = repeat_place(x), v = repeat_place(y);
            float extra = 0;
            if (variant > 0) {
                float window = std::max(std::sin(k_pi_f * std::clamp(u, 0.0f, 1.0f)) *
                                            std::sin(k_pi_f * std::clamp(v, 0.0f, 1.0f)),
                                        0.0f);
                extra = window * fractal(u, v, 4, 2, seed + 31u * static_cast<uint32_t>(variant));
                extra = std::clamp(extra * 2.0f, 0.0f, 1.0f);
            }
            colour c = material_colour(m, u, v, extra, seed);
            if (variant > 0) {
                // A darker or lighter patch inside the tile, fading out towards its edges.
                float shade = variant == 1 ? 1 - 0.12f * extra : 1 + 0.08f * extra;
                c = scale(c, shade);
            }
            out[static_cast<size_t>(y) * k_size + x] = c;
        }
    }
    return out;
}

image to_image(const std::vector<colour>& pixels) {
    image im;
    image_allocate(&im, k_size, k_size, 3);
    for (size_t k = 0; k < pixels.size(); k++) {
        im.pixels[3 * k] = static_cast<uint8_t>(std::clamp(pixels[k].r, 0.0f, 255.0f));
        im.pixels[3 * k + 1] = static_cast<uint8_t>(std::clamp(pixels[k].g, 0.0f, 255.0f));
        im.pixels[3 * k + 2] = static_cast<uint8_t>(std::clamp(pixels[k].b, 0.0f, 255.0f));
    }
    return im;
}

// A corner-blend tile: bit 0 is the (+x, +z) corner, bit 1 (-x, +z), bit 2 (+x, -z) and
// bit 3 (-x, -z); a set bit puts the other material in that corner. Columns run along +x
// and rows along +z. The edge between two materials wanders with noise that depends only
// on the position, so neighbouring tiles meet.
std::vector<colour> blend_picture(const std::vector<colour>& base, const std::vector<colour>& other,
                                  int mask) {
    std::vector<colour> out(base.size());
    float c00 = (mask >> 3) & 1, c10 = (mask >> 2) & 1, c01 = (mask >> 1) & 1, c11 = mask & 1;
    for (int y = 0; y < k_size; y++) {
        for (int x = 0; x < k_size; x++) {
            float u = std::clamp(repeat_place(x), 0.0f, 1.0f);
            float v = std::clamp(repeat_place(y), 0.0f, 1.0f);
            float w = c00 * (1 - u) * (1 - v) + c10 * u * (1 - v) + c01 * (1 - u) * v + c11 * u * v;
            float t = w + 0.45f * (fractal(u, v, 4, 4, 4242) - 0.5f);
            float f = std::clamp((t - 0.42f) / 0.16f, 0.0f, 1.0f);
            f = f * f * (3 - 2 * f);
            size_t k = static_cast<size_t>(y) * k_size + x;
            out[k] = mix(base[k], other[k], f);
        }
    }
    return out;
}

constexpr const char* k_material_names[] = {"grass", "dirt", "loam", "sand", "hardpack"};
static_assert(sizeof k_material_names / sizeof k_material_names[0] ==
              static_cast<size_t>(ground_material::count));
} // namespace

const char* ground_material_name(ground_material m) {
    return k_material_names[static_cast<int>(m)];
}

std::string ground_texture_file(ground_material m, int variant) {
    std::string name = ground_material_name(m);
    if (variant > 0) name += "-alt" + std::to_string(variant);
    return name + ".png";
}

std::string ground_blend_file(ground_material base, ground_material other, int mask) {
    std::string bits;
    for (int k = 3; k >= 0; k--) bits += ((mask >> k) & 1) ? '1' : '0';
    return std::string(ground_material_name(base)) + "-" + ground_material_name(other) + "-" +
           bits + ".png";
}

// A clod of thrown dirt: a soft, slightly lumpy white blob that the roost colours tint.
image roost_picture() {
    constexpr int size = 32;
    image im;
    image_allocate(&im, size, size, 4);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            float u = (x + 0.5f) / size * 2 - 1, v = (y + 0.5f) / size * 2 - 1;
            float r = std::sqrt(u * u + v * v) *
                      (0.85f + 0.3f * noise((x + 0.5f) / size, (y + 0.5f) / size, 4, 4, 77));
            float alpha = std::clamp((1 - r) * 3, 0.0f, 1.0f);
            float shade = 0.75f + 0.25f * noise((x + 0.5f) / size, (y + 0.5f) / size, 8, 8, 78);
            uint8_t* p = &im.pixels[(static_cast<size_t>(y) * size + x) * 4];
            p[0] = p[1] = p[2] = static_cast<uint8_t>(255 * shade);
            p[3] = static_cast<uint8_t>(255 * alpha);
        }
    }
    return im;
}

bool forge_ground_textures(const std::string& out) {
    if (!forge_write_png(out + "roost.png", roost_picture())) return false;
    std::string folder = out + "ground/";
    forge_make_folders(folder);
    std::vector<colour> plain[static_cast<int>(ground_material::count)];
    for (int m = 0; m < static_cast<int>(ground_material::count); m++) {
        auto material = static_cast<ground_material>(m);
        plain[m] = material_picture(material, 0);
        if (!forge_write_png(folder + ground_texture_file(material, 0), to_image(plain[m])))
            return false;
        if (material == ground_material::dirt || material == ground_material::grass) {
            for (int variant = 1; variant < k_ground_variants; variant++)
                if (!forge_write_png(folder + ground_texture_file(material, variant),
                                     to_image(material_picture(material, variant))))
                    return false;
        }
    }
    const std::vector<colour>& dirt = plain[static_cast<int>(ground_material::dirt)];
    for (ground_material other : {ground_material::grass, ground_material::loam,
                                  ground_material::sand, ground_material::hardpack}) {
        for (int mask = 1; mask < 15; mask++) {
            if (!forge_write_png(
                    folder + ground_blend_file(ground_material::dirt, other, mask),
                    to_image(blend_picture(dirt, plain[static_cast<int>(other)], mask))))
                return false;
        }
    }
    return true;
}
