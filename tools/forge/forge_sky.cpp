// The sky pictures every track shares: five faces of a box around the eye (north, east, south,
// west and up) with the late afternoon sun, clouds and far hills, and the reflections' picture.
#include "common/common.h"
#include "forge.h"
#include "forge_resources.h"
#include "forge_track_files.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
constexpr int k_face_side = 256; // pixels
constexpr int k_env_side = 128;  // pixels

struct direction {
    float x, y, z;
};

direction unit(direction d) {
    float l = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return {d.x / l, d.y / l, d.z / l};
}

// Value noise on a lattice, smoothly interpolated, in [0, 1].
float lattice(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xffff) / 65535.0f;
}

float noise(float x, float y) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float u = x - fx, v = y - fy;
    const float su = u * u * (3 - 2 * u), sv = v * v * (3 - 2 * v);
    const float a = lattice(ix, iy), b = lattice(ix + 1, iy);
    const float c = lattice(ix, iy + 1), d = lattice(ix + 1, iy + 1);
    return a + (b - a) * su + (c - a) * sv + (a - b - c + d) * su * sv;
}

float fractal(float x, float y, int octaves) {
    float sum = 0, amplitude = 0.5f, frequency = 1;
    for (int k = 0; k < octaves; k++) {
        sum += amplitude * noise(x * frequency, y * frequency);
        amplitude *= 0.5f;
        frequency *= 2.03f;
    }
    return sum;
}

struct colour {
    float r, g, b;
};
colour mix(colour a, colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

const direction k_sun = unit({k_forge_sun.vector[0], k_forge_sun.vector[1], k_forge_sun.vector[2]});
constexpr colour k_zenith = {0.22f, 0.45f, 0.82f};
constexpr colour k_horizon = {0.74f, 0.83f, 0.92f};
constexpr colour k_sun_glow = {1.0f, 0.86f, 0.62f};
constexpr colour k_near_hills = {0.30f, 0.40f, 0.26f};
constexpr colour k_far_hills = {0.50f, 0.60f, 0.62f};

// The sky seen along a direction: blue deepening upwards, haze and the sun's glow towards the
// horizon, clouds above, two ranges of hills on the horizon and dark ground below them.
colour sky_along(direction d) {
    const float elevation = d.y;
    const float azimuth = std::atan2(d.x, -d.z);
    const float far_ridge = 0.03f + 0.11f * fractal(azimuth * 2.2f + 11, 3.1f, 4);
    const float near_ridge =
        0.07f * fractal(azimuth * 3.7f + 2, 7.9f, 5) - 0.015f * std::cos(azimuth * 2);
    const float towards_sun = std::max(0.0f, d.x * k_sun.x + d.y * k_sun.y + d.z * k_sun.z);
    if (elevation < near_ridge) {
        // Lit hillsides toward the sun are warmer, and everything fades into haze with height.
        float depth = std::clamp((near_ridge - elevation) * 6, 0.0f, 1.0f);
        colour c = mix(k_near_hills, {0.22f, 0.30f, 0.18f}, depth);
        return mix(c, k_sun_glow, 0.12f * towards_sun * towards_sun);
    }
    if (elevation < far_ridge) return mix(k_far_hills, k_horizon, 0.35f);
    float up = std::sqrt(std::clamp(elevation, 0.0f, 1.0f));
    colour c = mix(k_horizon, k_zenith, up);
    c = mix(c, k_sun_glow, 0.55f * std::pow(towards_sun, 6.0f));
    const float disc = std::pow(towards_sun, 900.0f);
    c = mix(c, {1, 0.98f, 0.9f}, std::min(1.0f, disc * 3));
    // Clouds lie on a high flat layer, thinning towards the horizon.
    if (elevation > 0.02f) {
        const float u = d.x / elevation * 0.9f, v = d.z / elevation * 0.9f;
        float cover = fractal(u + 40, v + 17, 6);
        float amount = std::clamp((cover - 0.52f) * 3.5f, 0.0f, 1.0f) *
                       std::clamp((elevation - 0.02f) * 8, 0.0f, 1.0f);
        float shade = 0.82f + 0.18f * fractal(u * 2 + 5, v * 2 + 9, 3) + 0.1f * towards_sun;
        c = mix(c, {shade, shade * 0.98f, shade * 0.95f}, amount * 0.85f);
    }
    return c;
}

image picture(int side) {
    image im;
    image_allocate(&im, side, side, 3);
    return im;
}

void put(image& im, int x, int y, colour c) {
    uint8_t* p = &im.pixels[(static_cast<size_t>(y) * im.width + x) * 3];
    p[0] = static_cast<uint8_t>(std::clamp(c.r, 0.0f, 1.0f) * 255 + 0.5f);
    p[1] = static_cast<uint8_t>(std::clamp(c.g, 0.0f, 1.0f) * 255 + 0.5f);
    p[2] = static_cast<uint8_t>(std::clamp(c.b, 0.0f, 1.0f) * 255 + 0.5f);
}

// One face: its top-left corner and the directions across (right) and down its picture.
struct sky_face_corners {
    const char* name;
    direction top_left, across, down;
};
constexpr sky_face_corners k_faces[] = {
    {"sky-n.ppm", {-1, 1, -1}, {2, 0, 0}, {0, -2, 0}},
    {"sky-e.ppm", {1, 1, -1}, {0, 0, 2}, {0, -2, 0}},
    {"sky-s.ppm", {1, 1, 1}, {-2, 0, 0}, {0, -2, 0}},
    {"sky-w.ppm", {-1, 1, 1}, {0, 0, -2}, {0, -2, 0}},
    {"sky-u.ppm", {-1, 1, 1}, {2, 0, 0}, {0, 0, -2}},
};

image face_picture(const sky_face_corners& f) {
    image im = picture(k_face_side);
    for (int y = 0; y < k_face_side; y++)
        for (int x = 0; x < k_face_side; x++) {
            // Four samples a pixel, so the hills' outline stays smooth when the face is enlarged.
            colour sum = {0, 0, 0};
            for (int s = 0; s < 4; s++) {
                float u = (static_cast<float>(x) + 0.25f + 0.5f * static_cast<float>(s & 1)) /
                          k_face_side;
                float v = (static_cast<float>(y) + 0.25f + 0.5f * static_cast<float>(s >> 1)) /
                          k_face_side;
                direction d = unit({f.top_left.x + u * f.across.x + v * f.down.x,
                                    f.top_left.y + u * f.across.y + v * f.down.y,
                                    f.top_left.z + u * f.across.z + v * f.down.z});
                colour c = sky_along(d);
                sum = {sum.r + c.r / 4, sum.g + c.g / 4, sum.b + c.b / 4};
            }
            put(im, x, y, sum);
        }
    return im;
}

// The reflections' picture: the middle is straight up, the rim straight down.
image environment_picture() {
    image im = picture(k_env_side);
    for (int y = 0; y < k_env_side; y++)
        for (int x = 0; x < k_env_side; x++) {
            float a = (static_cast<float>(x) + 0.5f) / k_env_side - 0.5f;
            float b = (static_cast<float>(y) + 0.5f) / k_env_side - 0.5f;
            float r = std::min(std::sqrt(a * a + b * b), 0.5f);
            float from_up = r * 2 * k_pi_f;
            float flat = std::sin(from_up);
            float len = std::max(std::sqrt(a * a + b * b), 1e-6f);
            put(im, x, y, sky_along(unit({flat * a / len, std::cos(from_up), flat * b / len})));
        }
    return im;
}

// A lens flare's pieces, white on black for additive drawing: the soft glow about the sun, a
// bright ring, and a flat disc with a brighter rim for the ghosts along the flare's axis.
enum flare_shape { flare_glow, flare_ring, flare_disc };
constexpr int k_flare_side = 64; // pixels

image flare_picture(flare_shape shape) {
    image im = picture(k_flare_side);
    for (int y = 0; y < k_flare_side; y++)
        for (int x = 0; x < k_flare_side; x++) {
            float a = (static_cast<float>(x) + 0.5f) / k_flare_side * 2 - 1;
            float b = (static_cast<float>(y) + 0.5f) / k_flare_side * 2 - 1;
            float r = std::sqrt(a * a + b * b);
            float v = 0;
            if (shape == flare_glow) {
                v = std::pow(std::max(0.0f, 1 - r), 2.5f);
            } else if (shape == flare_ring) {
                v = std::max(0.0f, 1 - std::fabs(r - 0.8f) * 9);
            } else {
                v = r < 0.9f ? 0.35f + 0.4f * r * r : std::max(0.0f, (1 - r) * 7.5f);
            }
            put(im, x, y, {v, v, v});
        }
    return im;
}

bool write_ppm(const std::string& path, const image& im) {
    return forge_write_file(path, image_encode_ppm(im));
}
} // namespace

bool forge_sky_pictures(const std::string& out) {
    for (const sky_face_corners& f : k_faces)
        if (!write_ppm(out + f.name, face_picture(f))) return false;
    return write_ppm(out + "sky-env.ppm", environment_picture()) &&
           write_ppm(out + "flare-glow.ppm", flare_picture(flare_glow)) &&
           write_ppm(out + "flare-ring.ppm", flare_picture(flare_ring)) &&
           write_ppm(out + "flare-disc.ppm", flare_picture(flare_disc));
}
