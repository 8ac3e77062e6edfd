// The generator's bike step: fixed shapes, every bike's models with their coarser companions, and
// the swatch pictures of bikes, wheels and riders.
#include "forge.h"
#include "forge_resources.h"
#include "forge_bike_models.h"
#include "forge_shapes.h"

#include "bike/bike_data.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
// Every model texture is a 4 x 4 grid of flat swatches; a box samples the middle of one swatch,
// so one picture colours a whole model and a graphics choice only needs another picture.
constexpr int k_swatch_pixels = 32;
constexpr int k_texture_side = 4 * k_swatch_pixels;

struct rgb {
    float r, g, b; // 0..1
};

// The maker's colours: plastics, the stripe across them, and the number plate's paint.
struct maker_colours {
    const char* prefix;
    rgb plastic;
    rgb stripe;
    rgb plate;
    rgb digits;
};
constexpr maker_colours k_makers[] = {
    {"rs50cr", {0.8f, 0.05f, 0.05f}, {1, 1, 1}, {0.8f, 0.05f, 0.05f}, {1, 1, 1}},
    {"rs50kx", {0.45f, 0.85f, 0.1f}, {0.05f, 0.05f, 0.05f}, {1, 1, 1}, {0, 0, 0}},
    {"rs50rm", {1, 0.85f, 0.05f}, {0.1f, 0.2f, 0.7f}, {1, 0.85f, 0.05f}, {0, 0, 0}},
    {"rs50yz", {0.1f, 0.25f, 0.8f}, {1, 1, 1}, {0.1f, 0.25f, 0.8f}, {1, 1, 1}},
    {"cr", {0.8f, 0.05f, 0.05f}, {1, 1, 1}, {0.8f, 0.05f, 0.05f}, {1, 1, 1}},
    {"kx", {0.45f, 0.85f, 0.1f}, {0.05f, 0.05f, 0.05f}, {1, 1, 1}, {0, 0, 0}},
    {"rm", {1, 0.85f, 0.05f}, {0.1f, 0.2f, 0.7f}, {1, 0.85f, 0.05f}, {0, 0, 0}},
    {"yz", {0.1f, 0.25f, 0.8f}, {1, 1, 1}, {0.1f, 0.25f, 0.8f}, {1, 1, 1}},
    {"fc", {0.95f, 0.95f, 0.95f}, {0.1f, 0.3f, 0.75f}, {1, 1, 1}, {0, 0, 0}},
    {"",
     {1, 0.45f, 0.0f},
     {0.1f, 0.1f, 0.15f},
     {1, 1, 1},
     {0, 0, 0}}, // the orange bikes ("125sx" ...)
};

const maker_colours& maker_of(const char* name) {
    for (const maker_colours& m : k_makers)
        if (strncmp(name, m.prefix, strlen(m.prefix)) == 0) return m;
    return k_makers[sizeof k_makers / sizeof k_makers[0] - 1];
}

constexpr rgb k_black = {0.06f, 0.06f, 0.06f};
constexpr rgb k_white = {0.95f, 0.95f, 0.95f};

image swatch_picture(const rgb (&colours)[sw_count]) {
    image im;
    image_allocate(&im, k_texture_side, k_texture_side, 3);
    for (int y = 0; y < k_texture_side; y++)
        for (int x = 0; x < k_texture_side; x++) {
            int s = (y / k_swatch_pixels) * 4 + x / k_swatch_pixels;
            rgb c = s < sw_count ? colours[s] : k_black;
            // A stripe swatch carries a band of the primary colour, so shrouds read as graphics.
            if (s == sw_stripe && (y % k_swatch_pixels) / 8 == 1) c = colours[sw_primary];
            uint8_t* p = &im.pixels[(static_cast<size_t>(y) * k_texture_side + x) * 3];
            p[0] = static_cast<uint8_t>(c.r * 255 + 0.5f);
            p[1] = static_cast<uint8_t>(c.g * 255 + 0.5f);
            p[2] = static_cast<uint8_t>(c.b * 255 + 0.5f);
        }
    return im;
}

std::string plate_info(const maker_colours& m) {
    char text[160];
    snprintf(text, sizeof text,
             "[numberbackground:%.3f,%.3f,%.3f]\n[numberforeground:%.3f,%.3f,%.3f]\n", m.plate.r,
             m.plate.g, m.plate.b, m.digits.r, m.digits.g, m.digits.b);
    return text;
}

image bike_picture(const maker_colours& m, bool dark) {
    rgb plastic = dark ? k_black : m.plastic;
    rgb c[sw_count] = {plastic,
                       dark ? m.plastic : m.stripe,
                       k_black,
                       {0.55f, 0.57f, 0.6f},
                       {0.35f, 0.35f, 0.37f},
                       {0.15f, 0.15f, 0.16f},
                       {0.85f, 0.65f, 0.2f},
                       {0.8f, 0.8f, 0.82f},
                       m.plate,
                       k_white,
                       {0.85f, 0.65f, 0.5f},
                       m.stripe};
    return swatch_picture(c);
}

image rider_picture(rgb jersey, rgb pants) {
    rgb c[sw_count] = {jersey,
                       pants,
                       k_black,
                       {0.5f, 0.5f, 0.5f},
                       {0.35f, 0.35f, 0.37f},
                       {0.15f, 0.15f, 0.16f},
                       {0.85f, 0.65f, 0.2f},
                       {0.7f, 0.75f, 0.8f},
                       k_white,
                       k_white,
                       {0.85f, 0.65f, 0.5f},
                       pants};
    return swatch_picture(c);
}

image wheel_picture(rgb rim) {
    rgb c[sw_count] = {k_black,
                       k_black,
                       k_black,
                       {0.3f, 0.3f, 0.32f},
                       {0.3f, 0.3f, 0.3f},
                       {0.15f, 0.15f, 0.16f},
                       rim,
                       rim,
                       k_white,
                       k_white,
                       k_black,
                       rim};
    return swatch_picture(c);
}

// How a swatch's surface takes the light, for the normal and specular companions: its relief and
// its shine (colour, and the exponent over 128 in the alpha).
enum swatch_relief { relief_smooth, relief_knobs, relief_fins, relief_weave };
struct swatch_finish {
    swatch_relief relief;
    float depth; // how steep the relief is
    rgb shine;
    float exponent;
};
constexpr swatch_finish k_finishes[] = {
    {relief_smooth, 0, {0.55f, 0.55f, 0.55f}, 40},   // plastic; jersey
    {relief_smooth, 0, {0.55f, 0.55f, 0.55f}, 40},   // graphics; pants
    {relief_knobs, 1.5f, {0.08f, 0.08f, 0.08f}, 6},  // tyres, grips, seat
    {relief_smooth, 0, {0.7f, 0.7f, 0.72f}, 60},     // painted frame
    {relief_fins, 1.2f, {0.45f, 0.45f, 0.45f}, 20},  // engine cases and fins
    {relief_knobs, 0.8f, {0.15f, 0.15f, 0.15f}, 10}, // dark rubber and cloth
    {relief_smooth, 0, {0.9f, 0.75f, 0.4f}, 80},     // anodised gold
    {relief_smooth, 0, {1, 1, 1}, 110},              // chrome and rims
    {relief_smooth, 0, {0.5f, 0.5f, 0.5f}, 36},      // number plate
    {relief_smooth, 0, {0.5f, 0.5f, 0.5f}, 36},      // white plastic
    {relief_weave, 0.5f, {0.1f, 0.1f, 0.1f}, 8},     // skin, gloves
    {relief_smooth, 0, {0.55f, 0.55f, 0.55f}, 40},   // accent
};
static_assert(sizeof k_finishes / sizeof k_finishes[0] == sw_count, "a finish per swatch");

// The relief's height at a point of a swatch, (x, y) in swatch pixels from its corner. Every
// relief has a flat top in the swatch's middle, which is where whole shapes sample it.
float relief_height(swatch_relief relief, float x, float y) {
    constexpr float two_pi = 6.28318530718f;
    const float u = (x - k_swatch_pixels / 2.0f) / 8, v = (y - k_swatch_pixels / 2.0f) / 8;
    switch (relief) {
    case relief_knobs:
        return std::cos(two_pi * u) * std::cos(two_pi * v);
    case relief_fins:
        return std::cos(two_pi * v);
    case relief_weave:
        return std::cos(two_pi * 2 * u) * std::cos(two_pi * 2 * v);
    case relief_smooth:
        break;
    }
    return 0;
}

// A picture as big as the swatch pictures, each texel set from its swatch's finish and where it
// lies in the swatch (pixels from the swatch's corner).
template <typename Texel> image swatch_finish_picture(int channels, Texel texel) {
    image im;
    image_allocate(&im, k_texture_side, k_texture_side, channels);
    for (int y = 0; y < k_texture_side; y++)
        for (int x = 0; x < k_texture_side; x++) {
            const int s = (y / k_swatch_pixels) * 4 + x / k_swatch_pixels;
            texel(k_finishes[s < sw_count ? s : sw_black],
                  static_cast<float>(x % k_swatch_pixels) + 0.5f,
                  static_cast<float>(y % k_swatch_pixels) + 0.5f,
                  &im.pixels[(static_cast<size_t>(y) * k_texture_side + x) * channels]);
        }
    return im;
}

// The tangent-space normal map of a swatch picture: the reliefs' slopes, flat (128, 128, 255)
// where a swatch is smooth.
image swatch_normal_map() {
    return swatch_finish_picture(3, [](const swatch_finish& f, float sx, float sy, uint8_t* p) {
        const float dx =
            relief_height(f.relief, sx + 0.5f, sy) - relief_height(f.relief, sx - 0.5f, sy);
        const float dy =
            relief_height(f.relief, sx, sy + 0.5f) - relief_height(f.relief, sx, sy - 0.5f);
        const float n[3] = {-dx * f.depth, -dy * f.depth, 1};
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int k = 0; k < 3; k++)
            p[k] = static_cast<uint8_t>(std::lround((n[k] / length * 0.5f + 0.5f) * 255));
    });
}

// The specular map of a swatch picture: each swatch's shine, its exponent / 128 in the alpha.
image swatch_specular_map() {
    return swatch_finish_picture(4, [](const swatch_finish& f, float, float, uint8_t* p) {
        p[0] = static_cast<uint8_t>(f.shine.r * 255 + 0.5f);
        p[1] = static_cast<uint8_t>(f.shine.g * 255 + 0.5f);
        p[2] = static_cast<uint8_t>(f.shine.b * 255 + 0.5f);
        p[3] = static_cast<uint8_t>(f.exponent / 128 * 255 + 0.5f);
    });
}

bool write_model(const std::string& out, const char* name, const model_mesh& mesh) {
    return forge_write_model(out + (name[0] == '@' ? name + 1 : name), mesh);
}

bool write_picture(const std::string& out, const std::string& name, const image& im,
                   const std::string& info = "") {
    return forge_write_png(out + (name[0] == '@' ? name.substr(1) : name), im, info);
}

// The normal ("_norm") and specular ("_spec") companions beside a picture; every other choice
// of the same slot falls back to these.
bool write_companions(const std::string& out, const std::string& picture, const image& normals,
                      const image& specular) {
    const std::string stem = picture.substr(0, picture.rfind('.'));
    return write_picture(out, stem + "_norm.png", normals) &&
           write_picture(out, stem + "_spec.png", specular);
}

struct named_colour {
    const char* label;
    rgb a;
    rgb b;
};
} // namespace

bool forge_shapes(const std::string& out) {
    for (const forge_shape_file& file : forge_shape_files())
        if (!forge_write_file(out + file.name, file.bytes)) return false;
    return true;
}

namespace {
// A model and its coarser companions ("_lod4", "_lod6") beside it.
template <typename Make> bool write_levels(const std::string& out, const char* name, Make make) {
    std::string base = name[0] == '@' ? name + 1 : name;
    const size_t dot = base.rfind('.');
    for (int detail = 0; detail < k_model_details; detail++) {
        std::string file = base;
        if (detail > 0)
            file = base.substr(0, dot) + "_lod" + std::to_string(k_detail_lod_numbers[detail]) +
                   base.substr(dot);
        if (!forge_write_model(out + file, make(detail))) return false;
    }
    return true;
}
} // namespace

bool forge_bike_models(const std::string& out) {
    const bike_info& first = bike_info_at(0);
    bool ok = write_levels(out, first.front_wheel_model,
                           [&](int detail) { return wheel_model(first, true, detail); }) &&
              write_levels(out, first.rear_wheel_model,
                           [&](int detail) { return wheel_model(first, false, detail); }) &&
              write_levels(out, first.rider_body_model,
                           [&](int detail) { return rider_body_model(first, true, detail); }) &&
              write_levels(out, first.rider_body_first_person_model,
                           [&](int detail) { return rider_body_model(first, false, detail); }) &&
              write_levels(out, first.rider_head_model,
                           [&](int detail) { return rider_head_model(detail); }) &&
              write_model(out, first.rider_plate_model, rider_plate_model(first));
    // The shared rider, helmet and wheel pictures, and the choices offered beside them.
    const named_colour riders[] = {{"red", {0.8f, 0.1f, 0.1f}, {0.15f, 0.15f, 0.15f}},
                                   {"blue", {0.1f, 0.3f, 0.85f}, {0.9f, 0.9f, 0.9f}},
                                   {"lime", {0.5f, 0.9f, 0.1f}, {0.1f, 0.1f, 0.1f}},
                                   {"orange", {1, 0.5f, 0.05f}, {0.2f, 0.2f, 0.3f}},
                                   {"yellow", {1, 0.85f, 0.1f}, {0.1f, 0.2f, 0.6f}}};
    ok = ok &&
         write_picture(out, first.rider_body_texture,
                       rider_picture({0.9f, 0.9f, 0.9f}, {0.2f, 0.2f, 0.25f})) &&
         write_picture(out, first.rider_head_texture,
                       rider_picture({0.95f, 0.95f, 0.95f}, {0.1f, 0.1f, 0.1f})) &&
         write_picture(out, first.wheel_texture, wheel_picture({0.75f, 0.75f, 0.78f}));
    const image normals = swatch_normal_map(), specular = swatch_specular_map();
    for (const char* picture :
         {first.rider_body_texture, first.rider_head_texture, first.wheel_texture})
        ok = ok && write_companions(out, picture, normals, specular);
    for (const named_colour& c : riders) {
        ok = ok &&
             write_picture(out, std::string("rider_body-") + c.label + ".png",
                           rider_picture(c.a, c.b)) &&
             write_picture(out, std::string("rider_head-") + c.label + ".png",
                           rider_picture(c.a, c.b));
    }
    ok = ok && write_picture(out, "wheels-black.png", wheel_picture({0.12f, 0.12f, 0.12f})) &&
         write_picture(out, "wheels-gold.png", wheel_picture({0.85f, 0.65f, 0.2f})) &&
         write_picture(out, "wheels-blue.png", wheel_picture({0.15f, 0.3f, 0.8f}));
    // Each bike: its own frame, forks, swingarm and plates, and its maker's graphics. Choices have
    // one '-' only, so they dress the bike's own models rather than ask for variant models.
    for (int i = 0; ok && i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        const maker_colours& maker = maker_of(b.name);
        std::string base = bike_file_base(b);
        ok =
            write_levels(out, b.frame_model, [&](int detail) { return frame_model(b, detail); }) &&
            write_model(out, b.side_plates_model, side_plates_model(b)) &&
            write_levels(out, b.fork_upper_model,
                         [&](int detail) { return fork_upper_model(b, detail); }) &&
            write_model(out, b.front_plate_model, front_plate_model(b)) &&
            write_levels(out, b.fork_lower_model,
                         [&](int detail) { return fork_lower_model(b, detail); }) &&
            write_levels(out, b.swingarm_model,
                         [&](int detail) { return swingarm_model(b, detail); }) &&
            write_picture(out, b.bike_texture, bike_picture(maker, false), plate_info(maker)) &&
            write_picture(out, base + "-stock.png", bike_picture(maker, false),
                          plate_info(maker)) &&
            write_picture(out, base + "-black.png", bike_picture(maker, true), plate_info(maker)) &&
            write_companions(out, b.bike_texture, normals, specular);
    }
    return ok;
}
