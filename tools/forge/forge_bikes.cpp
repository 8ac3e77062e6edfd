// The generator's bike step: fixed shapes, and box-built models and swatch pictures of every bike.
#include "forge.h"
#include "forge_resources.h"
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

enum swatch {
    sw_primary,
    sw_stripe,
    sw_black,
    sw_frame,
    sw_engine,
    sw_dark,
    sw_gold,
    sw_chrome,
    sw_plate,
    sw_white,
    sw_skin,
    sw_accent,
    sw_count
};

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

// --- Models ---------------------------------------------------------------------------------

// Points a box part's texture coordinates at the middle of one swatch.
void use_swatch(model_part& part, int s) {
    float u0 = (s % 4 + 0.25f) / 4, v0 = (s / 4 + 0.25f) / 4;
    for (size_t i = 0; i < part.uvs.size(); i += 2) {
        part.uvs[i] = u0 + part.uvs[i] * 0.125f;
        part.uvs[i + 1] = v0 + part.uvs[i + 1] * 0.125f;
    }
}

// Turns a part about the x axis through a point (wheel spokes and tyre blocks, tilted fork legs).
void rotate_x(model_part& part, float angle, float cy, float cz) {
    float c = std::cos(angle), s = std::sin(angle);
    for (size_t i = 0; i < part.positions.size(); i += 3) {
        float y = part.positions[i + 1] - cy, z = part.positions[i + 2] - cz;
        part.positions[i + 1] = cy + c * y - s * z;
        part.positions[i + 2] = cz + s * y + c * z;
        float ny = part.normals[i + 1], nz = part.normals[i + 2];
        part.normals[i + 1] = c * ny - s * nz;
        part.normals[i + 2] = s * ny + c * nz;
    }
}

void append_part(model_part& into, const model_part& from) {
    int base = into.vertex_count;
    into.positions.insert(into.positions.end(), from.positions.begin(), from.positions.end());
    into.normals.insert(into.normals.end(), from.normals.begin(), from.normals.end());
    into.uvs.insert(into.uvs.end(), from.uvs.begin(), from.uvs.end());
    into.bone_weights.insert(into.bone_weights.end(), from.bone_weights.begin(),
                             from.bone_weights.end());
    into.bone_indices.insert(into.bone_indices.end(), from.bone_indices.begin(),
                             from.bone_indices.end());
    for (int32_t t : from.triangles) into.triangles.push_back(base + t);
    into.vertex_count += from.vertex_count;
    into.triangle_count += from.triangle_count;
}

// One textured part per model: every box is added to it.
struct box_model {
    model_part part;
    float shininess = 24;
    int bone = -1; // the bone the next boxes follow (skinned models)

    void box(float x, float y, float z, float w, float h, float d, int s, float tilt = 0,
             float cy = 0, float cz = 0) {
        const float centre[3] = {x, y, z};
        const float size[3] = {w, h, d};
        const float white[4] = {1, 1, 1, 1};
        model_part b = forge_box_part(centre, size, white, shininess);
        if (s >= 0) use_swatch(b, s);
        if (tilt != 0) rotate_x(b, tilt, cy, cz);
        if (bone >= 0)
            for (int v = 0; v < b.vertex_count; v++) {
                const float w4[4] = {1, 0, 0, 0};
                const uint16_t b4[4] = {static_cast<uint16_t>(bone), 0, 0, 0};
                b.bone_weights.insert(b.bone_weights.end(), w4, w4 + 4);
                b.bone_indices.insert(b.bone_indices.end(), b4, b4 + 4);
            }
        append_part(part, b);
    }
    // A pair mirrored across the centre line.
    void pair(float x, float y, float z, float w, float h, float d, int s, float tilt = 0,
              float cy = 0, float cz = 0) {
        box(-x, y, z, w, h, d, s, tilt, cy, cz);
        box(x, y, z, w, h, d, s, tilt, cy, cz);
    }
    model_mesh mesh(int bones = 0) const {
        model_mesh m;
        m.parts.push_back(part);
        m.parts[0].shininess = shininess;
        if (bones > 0) {
            m.version = 2;
            m.file_bone_count = bones;
            m.parts[0].bone_count = bones;
        }
        return m;
    }
};

// The steering axis leans back by this much from vertical (the catalogue's head and slider points).
const float k_rake = std::atan2(2.16f - 1.59f, 2.9f - 1.77f);

// Offsets are from each body's catalogue position, as for the collision shapes.
model_mesh frame_model(const bike_info& b) {
    bool two_stroke = strcmp(b.bike_class, "125") == 0 || strcmp(b.bike_class, "250") == 0;
    bool mini = strcmp(b.bike_class, "50") == 0;
    float engine = mini ? 0.7f : strcmp(b.bike_class, "450f") == 0 ? 1.1f : 1.0f;
    box_model m;
    m.box(0, 1.0f, -0.8f, 0.8f, 0.5f, 1.1f, sw_primary);        // tank
    m.pair(0.42f, 0.55f, -1.0f, 0.1f, 0.7f, 0.9f, sw_stripe);   // radiator shrouds
    m.pair(0.3f, 0.45f, -1.05f, 0.2f, 0.6f, 0.45f, sw_dark);    // radiators
    m.box(0, 1.12f, 0.6f, 0.6f, 0.18f, 2.6f, sw_black);         // seat
    m.box(0, 1.08f, 2.4f, 0.5f, 0.06f, 1.8f, sw_white);         // rear fender
    m.pair(0.32f, 0.78f, 1.0f, 0.08f, 0.45f, 1.0f, sw_primary); // side covers
    m.box(0, 0.15f, -1.25f, 0.16f, 1.3f, 0.16f, sw_frame, -0.35f, 0.15f, -1.25f); // down tube
    m.pair(0.3f, 0.6f, -0.3f, 0.12f, 0.16f, 1.7f, sw_frame, 0.25f, 0.6f, -0.3f);  // main spars
    m.pair(0.25f, 0.9f, 1.4f, 0.08f, 0.08f, 1.8f, sw_frame);                      // subframe
    m.box(0, 0.35f, 0.45f, 0.22f, 0.9f, 0.22f, sw_gold, 0.3f, 0.35f, 0.45f);      // shock spring
    m.box(0, 0.15f * engine, -0.55f, 0.45f * engine, 0.7f * engine, 0.5f, sw_engine); // cylinder
    m.box(0, -0.4f, -0.1f, 0.55f, 0.7f * engine, 1.1f * engine, sw_engine);           // cases
    m.pair(0.6f, -0.557f, 0.584f, 0.35f, 0.06f, 0.15f, sw_frame);                     // foot pegs
    m.box(0.33f, -0.2f, 0.25f, 0.06f, 0.06f, 0.5f, sw_frame);                         // brake pedal
    if (two_stroke) {
        m.box(0.15f, -0.35f, -1.1f, 0.3f, 0.3f, 0.8f, sw_chrome); // expansion chamber
        m.box(0.3f, 0.2f, 0.2f, 0.25f, 0.25f, 0.9f, sw_chrome);
        m.box(0.42f, 0.65f, 1.6f, 0.2f, 0.2f, 1.0f, sw_frame); // silencer
    } else {
        m.box(0.2f, 0.1f, -1.0f, 0.16f, 0.16f, 0.5f, sw_chrome); // header
        m.box(0.35f, 0.3f, 0.3f, 0.16f, 0.16f, 1.2f, sw_chrome, -0.3f, 0.3f, 0.3f);
        m.box(0.42f, 0.75f, 1.8f, 0.28f, 0.28f, 1.2f, sw_frame); // silencer
    }
    return m.mesh();
}

model_mesh side_plates_model() {
    box_model m;
    m.pair(0.36f, 0.8f, 1.35f, 0.04f, 0.55f, 0.75f, -1); // the number texture fills each face
    return m.mesh();
}

// Upper fork: clamps, bars and the tubes, offsets from the steering head.
model_mesh fork_upper_model() {
    box_model m;
    m.box(0, 0.12f, 0.02f, 1.05f, 0.14f, 0.35f, sw_frame);  // top clamp
    m.box(0, -0.55f, -0.3f, 1.05f, 0.14f, 0.35f, sw_frame); // bottom clamp
    m.pair(0.4167f, -0.25f, -0.12f, 0.16f, 0.9f, 0.16f, sw_gold, k_rake, -0.25f, -0.12f); // tubes
    m.box(0, 0.6f, 0.35f, 0.2f, 0.9f, 0.12f, sw_frame, -0.5f, 0.6f, 0.35f); // bar mounts
    m.box(0, 1.1f, 0.72f, 1.9f, 0.08f, 0.08f, sw_chrome);                   // bar
    m.pair(1.0f, 1.145f, 0.753f, 0.32f, 0.11f, 0.11f, sw_black);            // grips
    m.pair(0.8f, 1.17f, 0.6f, 0.15f, 0.05f, 0.3f, sw_dark);                 // levers
    m.box(0, -0.55f, -1.0f, 0.5f, 0.06f, 1.4f, sw_primary);                 // front fender
    return m.mesh();
}

model_mesh front_plate_model() {
    box_model m;
    m.box(0, 0.45f, -0.38f, 0.7f, 0.6f, 0.04f, -1, k_rake, 0.45f, -0.38f);
    return m.mesh();
}

// Lower fork: the sliders from the axle up, offsets from the slider body.
model_mesh fork_lower_model() {
    box_model m;
    m.pair(0.4167f, -0.2f, -0.12f, 0.2f, 1.1f, 0.2f, sw_dark, k_rake, -0.2f, -0.12f);
    m.pair(0.4167f, -0.66f, -0.48f, 0.22f, 0.18f, 0.22f, sw_frame);                  // axle lugs
    m.pair(0.47f, -0.1f, -0.2f, 0.06f, 0.6f, 0.25f, sw_black, k_rake, -0.1f, -0.2f); // guards
    return m.mesh();
}

// Swingarm: two arms from the pivot (0, 0.26, -0.91) to the axle (0, -0.3, 1.01).
model_mesh swingarm_model() {
    box_model m;
    float dy = -0.3f - 0.26f, dz = 1.01f + 0.91f;
    float length = std::sqrt(dy * dy + dz * dz);
    float angle = std::atan2(-dy, dz);
    m.pair(0.4167f, (0.26f - 0.3f) / 2, (-0.91f + 1.01f) / 2, 0.1f, 0.22f, length, sw_frame, angle,
           (0.26f - 0.3f) / 2, (-0.91f + 1.01f) / 2);
    m.box(0, 0.18f, -0.65f, 0.85f, 0.16f, 0.2f, sw_frame);                         // brace
    m.box(-0.3f, 0.05f, -0.1f, 0.05f, 0.12f, 1.2f, sw_black, angle, 0.05f, -0.1f); // chain slider
    return m.mesh();
}

// A wheel in the body's y-z plane: hub, spokes, rim and a knobby tyre of sixteen blocks.
model_mesh wheel_model(float rim_radius, float tyre_radius) {
    box_model m;
    const float pi = 3.14159265f;
    m.box(0, 0, 0, 0.45f, 0.3f, 0.3f, sw_frame);
    for (int i = 0; i < 16; i++) {
        float a = i * pi / 8;
        float seg = 2 * pi * (rim_radius + tyre_radius / 2) / 16 * 1.05f;
        m.box(0, rim_radius + tyre_radius / 2, 0, 0.55f, tyre_radius, seg, sw_black, a, 0, 0);
        m.box(0, rim_radius - 0.03f, 0, 0.3f, 0.06f, 2 * pi * rim_radius / 16 * 1.05f, sw_chrome, a,
              0, 0);
        if (i % 2 == 0)
            m.box(0, rim_radius / 2, 0, 0.02f, rim_radius - 0.1f, 0.02f, sw_chrome, a + 0.1f, 0, 0);
    }
    return m.mesh();
}

// The rider model's bind pose: arms stretched sideways, legs straight down, each box following
// one of the nine bones (elbows, shoulders, knees, hips, pelvis; left is -x).
enum rider_bone {
    left_elbow,
    right_elbow,
    left_shoulder,
    right_shoulder,
    left_knee,
    right_knee,
    left_hip,
    right_hip,
    pelvis
};

void rider_limbs(box_model& m, bool with_torso) {
    for (int side = -1; side <= 1; side += 2) {
        bool left = side < 0;
        m.bone = left ? left_shoulder : right_shoulder;
        m.box(side * 1.006f, 0.875f, 0.01f, 0.9f, 0.32f, 0.32f, sw_primary); // upper arm
        m.bone = left ? left_elbow : right_elbow;
        m.box(side * 2.006f, 0.875f, 0.01f, 1.1f, 0.27f, 0.27f, sw_primary); // forearm
        m.box(side * 2.68f, 0.875f, 0.01f, 0.25f, 0.25f, 0.28f, sw_black);   // glove
        m.bone = left ? left_hip : right_hip;
        m.box(side * 0.269f, -1.544f, 0.01f, 0.44f, 1.33f, 0.46f, sw_stripe); // thigh
        m.bone = left ? left_knee : right_knee;
        m.box(side * 0.269f, -2.75f, 0.01f, 0.38f, 1.1f, 0.42f, sw_white); // boot leg
        m.box(side * 0.269f, -3.75f, -0.1f, 0.36f, 0.3f, 0.7f, sw_black);  // sole and toe
    }
    if (with_torso) {
        m.bone = pelvis;
        m.box(0, 0.05f, 0.01f, 1.05f, 1.75f, 0.6f, sw_primary); // jersey
        m.box(0, 0.35f, 0.32f, 0.9f, 0.9f, 0.08f, sw_dark);     // chest protector back
        m.box(0, -0.78f, 0.01f, 0.8f, 0.35f, 0.55f, sw_stripe); // belt line
        m.box(0, 1.02f, 0.01f, 0.3f, 0.3f, 0.3f, sw_skin);      // neck
    }
    m.bone = -1;
}

model_mesh rider_body_model(bool with_torso) {
    box_model m;
    rider_limbs(m, with_torso);
    return m.mesh(9);
}

model_mesh rider_head_model() {
    box_model m;
    m.shininess = 64;
    m.box(0, 0, 0, 0.75f, 0.8f, 0.85f, sw_primary);          // shell
    m.box(0, 0.32f, -0.5f, 0.6f, 0.06f, 0.35f, sw_stripe);   // peak
    m.box(0, -0.25f, -0.45f, 0.45f, 0.28f, 0.2f, sw_dark);   // chin guard
    m.box(0, 0.08f, -0.44f, 0.55f, 0.18f, 0.04f, sw_chrome); // goggles
    return m.mesh();
}

model_mesh rider_plate_model() {
    box_model m;
    m.box(0, 0.3f, 0.34f, 0.6f, 0.55f, 0.03f, -1); // on the back of the jersey
    return m.mesh();
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

bool write_model(const std::string& out, const char* name, const model_mesh& mesh) {
    return forge_write_model(out + (name[0] == '@' ? name + 1 : name), mesh);
}

bool write_picture(const std::string& out, const std::string& name, const image& im,
                   const std::string& info = "") {
    return forge_write_png(out + (name[0] == '@' ? name.substr(1) : name), im, info);
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

bool forge_bike_models(const std::string& out) {
    const bike_info& first = bike_info_at(0);
    bool ok = write_model(out, first.front_wheel_model,
                          wheel_model(first.front_rim_radius, first.front_tyre_radius)) &&
              write_model(out, first.rear_wheel_model,
                          wheel_model(first.rear_rim_radius, first.rear_tyre_radius)) &&
              write_model(out, first.rider_body_model, rider_body_model(true)) &&
              write_model(out, first.rider_body_first_person_model, rider_body_model(false)) &&
              write_model(out, first.rider_head_model, rider_head_model()) &&
              write_model(out, first.rider_plate_model, rider_plate_model());
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
        ok = write_model(out, b.frame_model, frame_model(b)) &&
             write_model(out, b.side_plates_model, side_plates_model()) &&
             write_model(out, b.fork_upper_model, fork_upper_model()) &&
             write_model(out, b.front_plate_model, front_plate_model()) &&
             write_model(out, b.fork_lower_model, fork_lower_model()) &&
             write_model(out, b.swingarm_model, swingarm_model()) &&
             write_picture(out, b.bike_texture, bike_picture(maker, false), plate_info(maker)) &&
             write_picture(out, base + "-stock.png", bike_picture(maker, false),
                           plate_info(maker)) &&
             write_picture(out, base + "-black.png", bike_picture(maker, true), plate_info(maker));
    }
    return ok;
}
