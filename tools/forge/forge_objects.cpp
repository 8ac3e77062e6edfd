// Rabbithill's trackside objects: trees and bushes on the hillside, spectators behind the tape,
// banners, tape lines and hay bales as statues, the starter, the lap board, marshals at the
// jumps and decals on the ground, with the pictures and models they use. Everything stands off
// the groove except the decals that belong on it.
#include "common/common.h"
#include "forge.h"
#include "forge_layout.h"
#include "forge_mesh.h"
#include "forge_resources.h"
#include "forge_shapes.h"
#include "forge_track_files.h"

#include "bike/data/bike_shape.h"
#include "resources/image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr const char* k_objects = "objects/"; // in the data folder, shared by every track

// ---------------------------------------------------------------------------------------------
// Pictures: cards drawn with straight alpha, row 0 at the top of the card.

struct rgba {
    uint8_t r, g, b, a;
};

struct canvas {
    image im;
    canvas(int w, int h) { image_allocate(&im, w, h, 4); }
    void put(int x, int y, rgba c) {
        if (x < 0 || y < 0 || x >= im.width || y >= im.height) return;
        uint8_t* p = &im.pixels[(static_cast<size_t>(y) * im.width + x) * 4];
        p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
    }
    void rect(float x0, float y0, float x1, float y1, rgba c) {
        for (int y = static_cast<int>(y0); y < static_cast<int>(std::ceil(y1)); y++)
            for (int x = static_cast<int>(x0); x < static_cast<int>(std::ceil(x1)); x++)
                put(x, y, c);
    }
    void ellipse(float cx, float cy, float rx, float ry, rgba c) {
        for (int y = static_cast<int>(cy - ry); y <= static_cast<int>(cy + ry); y++)
            for (int x = static_cast<int>(cx - rx); x <= static_cast<int>(cx + rx); x++) {
                const float u = (static_cast<float>(x) + 0.5f - cx) / rx;
                const float v = (static_cast<float>(y) + 0.5f - cy) / ry;
                if (u * u + v * v <= 1) put(x, y, c);
            }
    }
    // A triangle standing on its base (y_base) with its apex at (cx, y_apex).
    void spire(float cx, float y_apex, float y_base, float half_base, rgba c, uint32_t seed) {
        for (int y = static_cast<int>(y_apex); y < static_cast<int>(y_base); y++) {
            const float t = (static_cast<float>(y) - y_apex) / (y_base - y_apex);
            for (int x = 0; x < im.width; x++) {
                const float d = std::fabs(static_cast<float>(x) + 0.5f - cx);
                // Ragged needles at the edge.
                uint32_t n = (static_cast<uint32_t>(x) * 73856093u) ^
                             (static_cast<uint32_t>(y) * 19349663u) ^ seed;
                n = (n ^ (n >> 13)) * 1274126177u;
                const float ragged = static_cast<float>((n >> 24) % 4);
                if (d <= t * half_base - ragged) {
                    const int shade = static_cast<int>((n >> 16) % 30) - 15;
                    put(x, y,
                        {static_cast<uint8_t>(std::clamp(c.r + shade, 0, 255)),
                         static_cast<uint8_t>(std::clamp(c.g + shade, 0, 255)),
                         static_cast<uint8_t>(std::clamp(c.b + shade / 2, 0, 255)), c.a});
                }
            }
        }
    }
};

constexpr rgba k_skin = {224, 180, 140, 255};
constexpr rgba k_denim = {52, 66, 110, 255};
constexpr rgba k_dark = {30, 28, 26, 255};

// A conifer: a brown trunk under three layers of dark green needles.
image tree_picture() {
    canvas c(64, 128);
    c.rect(28, 100, 36, 128, {92, 64, 40, 255});
    c.spire(32, 4, 56, 18, {40, 86, 44, 255}, 1);
    c.spire(32, 26, 84, 24, {34, 78, 38, 255}, 2);
    c.spire(32, 50, 110, 30, {30, 70, 34, 255}, 3);
    return c.im;
}

// A round bush, lit from the top left.
image bush_picture() {
    canvas c(64, 64);
    c.ellipse(32, 40, 30, 24, {58, 92, 40, 255});
    c.ellipse(22, 32, 16, 14, {70, 108, 46, 255});
    c.ellipse(42, 30, 14, 12, {66, 102, 44, 255});
    c.ellipse(26, 26, 6, 5, {96, 134, 62, 255});
    return c.im;
}

// A standing person from the back or front, its arms by the body or raised; `shirt` colours
// the top. Cards are 32 x 64 pixels for a person 6 ft tall.
void person(canvas& c, rgba shirt, rgba legs, bool arm_up, float walk) {
    c.ellipse(16, 7, 4.5f, 5, k_skin);
    c.rect(11.5f, 2, 20.5f, 5, {60, 40, 24, 255}); // hair or cap
    c.rect(10, 12, 22, 34, shirt);
    const float stride = 3 * walk;
    c.rect(11 - stride, 34, 15.5f - stride, 61, legs);
    c.rect(16.5f + stride, 34, 21 + stride, 61, legs);
    c.rect(10 - stride, 60, 16 - stride, 64, k_dark);
    c.rect(16 + stride, 60, 22 + stride, 64, k_dark);
    c.rect(6.5f, 13, 10, 30, shirt); // the left arm
    if (arm_up)
        c.rect(22, 2, 25.5f, 15, shirt);
    else
        c.rect(22, 13, 25.5f, 30, shirt);
}

// A group of four spectators side by side on one card, so a crowd takes few cards and one
// picture: 128 x 64 pixels for people 6 ft tall.
image crowd_picture() {
    const rgba shirts[] = {
        {200, 40, 36, 255}, {236, 236, 230, 255}, {40, 110, 190, 255}, {230, 180, 40, 255}};
    canvas group(128, 64);
    for (int k = 0; k < 4; k++) {
        canvas one(32, 64);
        person(one, shirts[k], k == 1 ? rgba{40, 40, 44, 255} : k_denim, k == 3, 0);
        // Each one a little lower or higher, so the row looks less like a fence.
        const int drop = (k * 5) % 3;
        for (int y = 0; y + drop < 64; y++)
            for (int x = 0; x < 32; x++) {
                const uint8_t* p = &one.im.pixels[(static_cast<size_t>(y) * 32 + x) * 4];
                if (p[3]) group.put(32 * k + x, y + drop, {p[0], p[1], p[2], p[3]});
            }
    }
    return group.im;
}

// A sponsor banner between two poles: white cloth with dark lettering, coloured by the card's
// tint, so every banner shares one picture.
image banner_picture() {
    canvas c(128, 32);
    c.rect(0, 0, 128, 32, {250, 250, 250, 255});
    c.rect(0, 3, 128, 5, {120, 120, 120, 255});
    c.rect(0, 27, 128, 29, {120, 120, 120, 255});
    const rgba ink = {40, 40, 40, 255};
    for (int k = 0; k < 8; k++) {
        const float x = 14 + static_cast<float>(k) * 13;
        c.rect(x, 9, x + 9, 23, ink);
        if (k % 2) c.rect(x + 3, 13, x + 6, 19, {250, 250, 250, 255});
    }
    return c.im;
}

// The starter with the boards: 0 the board held down, 1 being raised, 2 up (the gate is about to
// drop), 3 walking off, 4 standing aside.
image starter_picture(int stage) {
    canvas c(32, 64);
    const rgba vest = {250, 120, 20, 255};
    person(c, vest, k_denim, stage == 1 || stage == 2, stage == 3 ? 1.0f : 0.0f);
    const rgba board = {250, 250, 250, 255};
    if (stage == 0) c.rect(23, 24, 31, 34, board);
    if (stage == 1) c.rect(23, 8, 31, 18, board);
    if (stage == 2) {
        c.rect(21, 0, 32, 10, board);
        c.rect(24, 3, 29, 7, {20, 20, 20, 255});
    }
    return c.im;
}

// The lap board: 0 a blank board, 1 half way, 2 the last lap, 3 the chequered flag.
image lap_board_picture(int stage) {
    canvas c(32, 64);
    c.rect(15, 20, 17, 64, {110, 80, 50, 255}); // post
    if (stage == 3) {
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 6; x++)
                c.rect(2 + 4.6f * x, 2 + 4.5f * y, 6.6f + 4.6f * x, 6.5f + 4.5f * y,
                       (x + y) % 2 ? rgba{20, 20, 20, 255} : rgba{250, 250, 250, 255});
        return c.im;
    }
    c.rect(1, 1, 31, 21, {240, 240, 236, 255});
    if (stage == 1) c.rect(5, 10, 27, 12, {20, 20, 20, 255});
    if (stage == 2) {
        c.rect(6, 5, 10, 17, {20, 20, 20, 255});
        c.rect(14, 5, 18, 17, {20, 20, 20, 255});
        c.rect(22, 5, 26, 17, {20, 20, 20, 255});
    }
    return c.im;
}

// A marshal in a white coat: the yellow flag down, or raised and waved as a warning.
image marshal_picture(bool warning) {
    canvas c(32, 64);
    person(c, {236, 236, 232, 255}, k_denim, warning, 0);
    const rgba flag = {250, 220, 20, 255};
    if (warning)
        c.rect(25, 0, 32, 8, flag);
    else
        c.rect(23, 28, 29, 40, flag);
    return c.im;
}

// Thrown-up tread marks: dark knobbly prints down the length, fading at the ends.
image tyre_marks_picture() {
    canvas c(16, 128);
    for (int y = 0; y < 128; y++) {
        const float fade = std::min(1.0f, std::min(y, 127 - y) / 24.0f);
        for (int x = 2; x < 14; x++) {
            const bool knob = ((y / 3) + (x > 7 ? 1 : 0)) % 2 == 0;
            const auto a = static_cast<uint8_t>(fade * (knob ? 150 : 90));
            c.put(x, y, {46, 32, 22, a});
        }
    }
    return c.im;
}

// The start box: packed light dirt with a white line across its front.
image start_box_picture() {
    canvas c(64, 64);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            uint32_t n =
                static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
            n = (n ^ (n >> 13)) * 1274126177u;
            const int grain = static_cast<int>((n >> 24) % 20) - 10;
            const int edge = std::min(std::min(x, 63 - x), std::min(y, 63 - y));
            const auto a = static_cast<uint8_t>(std::min(200, edge * 40));
            c.put(x, y,
                  {static_cast<uint8_t>(170 + grain), static_cast<uint8_t>(146 + grain),
                   static_cast<uint8_t>(112 + grain), a});
        }
    c.rect(2, 2, 62, 6, {245, 245, 240, 230});
    return c.im;
}

// Straw: pale yellow with darker strands.
image straw_picture() {
    canvas c(64, 64);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            uint32_t n = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
            n = (n ^ (n >> 15)) * 2246822519u;
            const int strand = static_cast<int>((n >> 24) % 50) - 25;
            const int twine = (x % 21 < 2) ? -70 : 0;
            c.put(x, y,
                  {static_cast<uint8_t>(std::clamp(214 + strand + twine, 0, 255)),
                   static_cast<uint8_t>(std::clamp(184 + strand + twine, 0, 255)),
                   static_cast<uint8_t>(std::clamp(96 + strand / 2 + twine, 0, 255)), 255});
        }
    return c.im;
}

// Tape and stakes: red and white stripes on the left half, wood on the right.
image tape_picture() {
    canvas c(64, 64);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            if (x < 32)
                c.put(x, y, ((x + y) / 4) % 2 ? rgba{220, 30, 30, 255} : rgba{245, 245, 245, 255});
            else
                c.put(x, y, {150, 110, 70, 255});
        }
    return c.im;
}

// ---------------------------------------------------------------------------------------------
// Models, in their own frame: x across, y up, z along the track.

// Maps a box's texture coordinates into a part of the picture.
model_part boxed(vec3 centre, vec3 size, float u0, float u1) {
    model_part b = shape_box(centre, size);
    for (int v = 0; v < b.vertex_count; v++) b.uvs[2 * v] = u0 + b.uvs[2 * v] * (u1 - u0);
    return b;
}

model_mesh single_part(const std::vector<model_part>& pieces, float shininess) {
    model_part all;
    all.shininess = shininess;
    for (float& c : all.colour) c = 1;
    for (const model_part& b : pieces) {
        const int base = all.vertex_count;
        all.positions.insert(all.positions.end(), b.positions.begin(), b.positions.end());
        all.normals.insert(all.normals.end(), b.normals.begin(), b.normals.end());
        all.uvs.insert(all.uvs.end(), b.uvs.begin(), b.uvs.end());
        for (int index : b.triangles) all.triangles.push_back(index + base);
        all.vertex_count += b.vertex_count;
        all.triangle_count += b.triangle_count;
    }
    model_mesh mesh;
    mesh.parts.push_back(all);
    return mesh;
}

constexpr vec3 k_bale_size = {1.6f, 1.5f, 4.0f}; // ft

model_mesh bale_model() {
    return single_part({boxed({0, k_bale_size.y / 2, 0}, k_bale_size, 0, 1)}, 4);
}

// Two rows of spheres through the bale, soft enough that a bike stops against it.
shape bale_shape() {
    return forge_sphere_grid({0}, {0.5f, 1.0f}, {-1.5f, -0.5f, 0.5f, 1.5f}, 0.75f, 0.8f, 6000, 600);
}

constexpr float k_tape_length = 10.0f; // ft between the stakes

model_mesh tape_model() {
    const float half = k_tape_length / 2;
    return single_part({boxed({0, 1.3f, -half}, {0.12f, 2.6f, 0.12f}, 0.55f, 0.95f),
                        boxed({0, 1.3f, half}, {0.12f, 2.6f, 0.12f}, 0.55f, 0.95f),
                        boxed({0, 2.2f, 0}, {0.02f, 0.25f, k_tape_length}, 0.05f, 0.45f)},
                       2);
}

// ---------------------------------------------------------------------------------------------
// Placing

// A small deterministic generator, so the data set is the same on every build.
struct scatter_random {
    uint32_t state;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    }
};

// A point beside the lap: at s, `offset` ft to the rider's left (negative: right).
void beside(const track_layout& layout, float s, float offset, float* x, float* z) {
    const layout_point p = layout_at(layout, s);
    *x = p.x + offset * p.dir_z;
    *z = p.z - offset * p.dir_x;
}

// How far a point lies outside the groove, wherever the lap passes nearest.
float clear_of_groove(const track_layout& layout, float x, float z) {
    const layout_place place = layout_locate(layout, x, z);
    return place.distance - layout_at(layout, place.s).half_width;
}

bool inside_field(float x, float z, float margin) {
    return x > margin && z > margin && x < k_rabbithill_extent - margin &&
           z < k_rabbithill_extent - margin;
}

struct objects_text {
    std::string billboards, statues, flaggers, decals;
};

void add_card(objects_text& t, float x, float z, float size, float factor,
              const std::string& word) {
    char line[256];
    snprintf(line, sizeof line, "[%f %f %f] %f %f %s\n", x, 0.0, z, size, factor, word.c_str());
    t.billboards += line;
}

void add_statue(objects_text& t, float x, float z, float heading, const char* model,
                const char* texture, const char* shape_name) {
    char line[256];
    snprintf(line, sizeof line, "[%f %f %f] %f %s %s %s\n", x, 0.0, z, heading, model, texture,
             shape_name);
    t.statues += line;
}

void add_decal(objects_text& t, float x, float z, float angle, float size, float aspect,
               const char* name) {
    char line[256];
    snprintf(line, sizeof line, "[%f %f] %f %f %f %s\n", x, z, angle, size, aspect, name);
    t.decals += line;
}

std::string named(const char* file) { return std::string("@") + k_objects + file; }

// Trees and bushes on the hillside, well off the groove.
void place_hillside(const track_layout& layout, objects_text& t) {
    scatter_random r{12345};
    int trees = 0, bushes = 0;
    for (int attempt = 0; attempt < 4000 && (trees < 160 || bushes < 110); attempt++) {
        const float x = r.next() * k_rabbithill_extent, z = r.next() * k_rabbithill_extent;
        const float size = r.next(), shade = r.next();
        if (!inside_field(x, z, 15)) continue;
        const float clear = clear_of_groove(layout, x, z);
        if (trees < 160 && clear > 45) {
            // Greens vary a little from tree to tree.
            char word[64];
            const int g = 200 + static_cast<int>(shade * 55);
            snprintf(word, sizeof word, "#%02x%02x%02x#", g - 20, g, g - 30);
            add_card(t, x, z, 22 + 18 * size, 0.5f, word + named("tree.png"));
            trees++;
        } else if (bushes < 110 && clear > 14) {
            add_card(t, x, z, 3 + 3 * size, 1.2f, named("bush.png"));
            bushes++;
        }
    }
}

// The features the riders fly over: the crowd watches them and a marshal stands by each.
bool is_jump(feature_kind kind) {
    return kind == feature_kind::tabletop || kind == feature_kind::double_jump ||
           kind == feature_kind::triple_jump || kind == feature_kind::step_up ||
           kind == feature_kind::finish_jump;
}

// Stretches of the lap that have tape along both sides and spectators behind it: the start
// straight and every jump.
std::vector<std::pair<float, float>> watched_stretches(const track_layout& layout) {
    std::vector<std::pair<float, float>> out;
    for (const layout_feature& f : layout.features)
        if (f.kind == feature_kind::start_straight || is_jump(f.kind))
            out.push_back({std::max(f.s_begin, 60.0f), f.s_end});
    return out;
}

// Tape lines 3 ft outside the groove and spectators 6 to 12 ft behind them.
void place_tape_and_crowd(const track_layout& layout, objects_text& t) {
    constexpr float k_tape_out = 3.0f; // ft beyond the groove's edge
    scatter_random r{777};
    for (const auto& [s0, s1] : watched_stretches(layout)) {
        for (float s = s0 + k_tape_length / 2; s + k_tape_length / 2 <= s1; s += k_tape_length) {
            const layout_point p = layout_at(layout, s);
            const float heading = forge_heading_along(p.dir_x, p.dir_z);
            for (float side : {1.0f, -1.0f}) {
                float x, z;
                beside(layout, s, side * (p.half_width + k_tape_out), &x, &z);
                if (clear_of_groove(layout, x, z) < k_tape_out - 0.5f) continue;
                add_statue(t, x, z, heading, named("tape.jm").c_str(), named("tape.png").c_str(),
                           "null");
            }
        }
        for (float s = s0; s <= s1; s += 7) {
            const layout_point p = layout_at(layout, s);
            for (float side : {1.0f, -1.0f}) {
                if (r.next() < 0.35f) continue;
                const float out = p.half_width + k_tape_out + 6 + 6 * r.next();
                float x, z;
                beside(layout, s + r.next() * 3, side * out, &x, &z);
                if (clear_of_groove(layout, x, z) < 8 || !inside_field(x, z, 5)) continue;
                // Each group a little lighter or darker, warmer or cooler.
                const char* tints[] = {"", "#f0f0f0#", "#fff0e0#", "#e0e8ff#", "#d8d8d8#"};
                const std::string word = tints[static_cast<int>(r.next() * 5) % 5];
                add_card(t, x, z, 5.6f + 0.6f * r.next(), 2, word + named("crowd.png"));
            }
        }
    }
}

// Banners along the start straight and before the finish, facing the riders across the tape.
void place_banners(const track_layout& layout, objects_text& t) {
    const layout_feature* straight = layout_find(layout, feature_kind::start_straight);
    const float s0 = straight ? std::max(straight->s_begin, 60.0f) : 60.0f;
    int k = 0;
    for (float s = s0; s < s0 + 160; s += 20, k++) {
        const layout_point p = layout_at(layout, s);
        const float side = k % 2 ? 1.0f : -1.0f;
        float x, z;
        beside(layout, s, side * (p.half_width + 5), &x, &z);
        if (clear_of_groove(layout, x, z) < 4) continue;
        const char* colours[] = {"#c41e24#", "#143c96#", "#fac814#"};
        add_card(t, x, z, 2.5f, 4, colours[k % 3] + named("banner.png"));
    }
}

// Hay bales along the outside of every turn, end to end 4 ft beyond the groove.
void place_bales(const track_layout& layout, objects_text& t) {
    for (const layout_feature& f : layout.features) {
        if (f.kind != feature_kind::berm_turn && f.kind != feature_kind::turn &&
            f.kind != feature_kind::off_camber_turn)
            continue;
        const layout_point a = layout_at(layout, f.s_begin), b = layout_at(layout, f.s_end);
        // The outside of a left turn is on the right.
        const float turn = a.dir_z * b.dir_x - a.dir_x * b.dir_z;
        const float side = turn > 0 ? 1.0f : -1.0f;
        const float mid = (f.s_begin + f.s_end) / 2;
        for (float s = mid - 16; s <= mid + 16; s += k_bale_size.z) {
            const layout_point p = layout_at(layout, s);
            float x, z;
            beside(layout, s, side * (p.half_width + 4 + k_bale_size.x / 2), &x, &z);
            if (clear_of_groove(layout, x, z) < 3.5f) continue;
            add_statue(t, x, z, forge_heading_along(p.dir_x, p.dir_z), named("haybale.jm").c_str(),
                       named("straw.png").c_str(), named("haybale.shp").c_str());
        }
    }
}

// The starter beside the front row, who walks away from the track once the boards are shown;
// the lap board at the finish line; a marshal beside every jump watching its gates.
void place_flaggers(const track_layout& layout, objects_text& t) {
    char line[512];
    // The front row of slots reaches 30.4 ft to either side of the centre line.
    float ax, az, bx, bz;
    beside(layout, 46, -40, &ax, &az);
    beside(layout, 40, -56, &bx, &bz);
    snprintf(line, sizeof line, "[%f 0 %f] [%f 0 %f] 5.8 0.5 2\n", ax, az, bx, bz);
    t.flaggers += line;
    for (int k = 0; k < 5; k++)
        t.flaggers += named(("starter" + std::to_string(k) + ".png").c_str()) + "\n";
    const layout_point finish = layout_at(layout, layout.finish_s);
    float lx, lz;
    beside(layout, layout.finish_s, finish.half_width + 6, &lx, &lz);
    snprintf(line, sizeof line, "[%f 0 %f] 6 0.5\n", lx, lz);
    t.flaggers += line;
    for (int k = 0; k < 4; k++)
        t.flaggers += named(("lapboard" + std::to_string(k) + ".png").c_str()) + "\n";
    const std::vector<float> gates = forge_rabbithill_gate_places();
    for (const layout_feature& f : layout.features) {
        if (!is_jump(f.kind)) continue;
        // The gates from a little before the take-off to the landing.
        int watched[4] = {-1, -1, -1, -1};
        int n = 0;
        for (int g = 0; g < static_cast<int>(gates.size()) && n < 4; g++)
            if (gates[g] >= f.s_begin - 40 && gates[g] <= f.s_end + 5) watched[n++] = g;
        const float s = (f.s_begin + f.s_end) / 2;
        const layout_point p = layout_at(layout, s);
        float x, z;
        beside(layout, s, p.half_width + 9, &x, &z);
        if (clear_of_groove(layout, x, z) < 6) beside(layout, s, -(p.half_width + 9), &x, &z);
        snprintf(line, sizeof line, "[%f 0 %f] 5.8 0.5 %d %d %d %d\n%s\n%s\n", x, z, watched[0],
                 watched[1], watched[2], watched[3], named("marshal.png").c_str(),
                 named("marshal_warn.png").c_str());
        t.flaggers += line;
    }
}

// The start box behind the gate and tread marks where the riders pull away and in the turns.
void place_decals(const track_layout& layout, objects_text& t) {
    const layout_point box = layout_at(layout, 34);
    const float along = std::atan2(box.dir_x, box.dir_z);
    add_decal(t, box.x, box.z, along, 22, 66.0f / 22, named("startbox.png").c_str());
    scatter_random r{99};
    for (int k = 0; k < 10; k++) {
        const float s = 55 + 12 * static_cast<float>(k) + 6 * r.next();
        const layout_point p = layout_at(layout, s);
        float x, z;
        beside(layout, s, (r.next() - 0.5f) * 30, &x, &z);
        add_decal(t, x, z, std::atan2(p.dir_x, p.dir_z) + (r.next() - 0.5f) * 0.1f, 24, 0.08f,
                  named("tyremarks.png").c_str());
    }
    for (const layout_feature& f : layout.features) {
        if (f.kind != feature_kind::berm_turn) continue;
        for (int k = 0; k < 3; k++) {
            const float s = f.s_begin + (f.s_end - f.s_begin) * (0.25f + 0.25f * k);
            const layout_point p = layout_at(layout, s);
            float x, z;
            beside(layout, s, (r.next() - 0.5f) * p.half_width, &x, &z);
            add_decal(t, x, z, std::atan2(p.dir_x, p.dir_z), 16, 0.1f,
                      named("tyremarks.png").c_str());
        }
    }
}

// The objects' pictures that have one picture each, by file name.
struct object_picture {
    const char* file;
    image (*make)();
};

constexpr object_picture k_pictures[] = {
    {"tree.png", tree_picture},
    {"bush.png", bush_picture},
    {"tyremarks.png", tyre_marks_picture},
    {"startbox.png", start_box_picture},
    {"straw.png", straw_picture},
    {"tape.png", tape_picture},
    {"marshal.png", [] { return marshal_picture(false); }},
    {"marshal_warn.png", [] { return marshal_picture(true); }},
    {"crowd.png", crowd_picture},
    {"banner.png", banner_picture},
};

bool write_pictures(const std::string& folder) {
    bool ok = true;
    for (const object_picture& p : k_pictures)
        ok = ok && forge_write_png(folder + p.file, p.make());
    for (int k = 0; k < 4 && ok; k++)
        ok =
            forge_write_png(folder + "lapboard" + std::to_string(k) + ".png", lap_board_picture(k));
    for (int k = 0; k < 5 && ok; k++)
        ok = forge_write_png(folder + "starter" + std::to_string(k) + ".png", starter_picture(k));
    return ok;
}
} // namespace

bool forge_rabbithill_objects(const std::string& out) {
    const std::string shared = out + k_objects;
    forge_make_folders(shared);
    if (!write_pictures(shared) || !forge_write_model(shared + "haybale.jm", bale_model()) ||
        !forge_write_model(shared + "tape.jm", tape_model()) ||
        !forge_write_file(shared + "haybale.shp", shape_format(bale_shape())))
        return false;
    const track_layout& layout = rabbithill_layout();
    objects_text t;
    place_hillside(layout, t);
    place_tape_and_crowd(layout, t);
    place_banners(layout, t);
    place_bales(layout, t);
    place_flaggers(layout, t);
    place_decals(layout, t);
    const std::string folder = out + k_rabbithill_folder + "/";
    return forge_write_file(folder + "billboards", t.billboards) &&
           forge_write_file(folder + "statues", t.statues) &&
           forge_write_file(folder + "flaggers", t.flaggers) &&
           forge_write_file(folder + "decals", t.decals);
}
