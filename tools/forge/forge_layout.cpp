// The lap of "rabbithill": a closed centripetal Catmull-Rom spline over a rolling hillside,
// with the jumps, whoops, turns and sand along it.
#include "common/common.h"
#include "forge_layout.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float k_step = 0.5f;          // ft between layout points
constexpr float k_groove_half = 13.0f;  // ft, a 26 ft groove
constexpr float k_start_half = 36.0f;   // ft, the start straight at the gate
constexpr float k_grade_window = 60.0f; // ft each side of a point when grading

// Control points of the lap in riding order; the start gate is at the first. The hillside
// rises towards the north (-z), so the lanes climb and fall across its rolls.
struct control_point {
    float x, z;
};
constexpr float k_shift_x = -50.0f, k_shift_z = -160.0f;
constexpr control_point k_control[] = {
    {1000, 1040}, {800, 1042}, {600, 1040}, {420, 1035}, // start straight, west
    {335, 990},   {325, 920},  {385, 875},               // first turn, a berm
    {540, 872},   {700, 880},  {840, 878},               // tabletop, double
    {925, 835},   {932, 765},  {860, 720},               // second turn
    {700, 715},   {540, 720},  {410, 718},               // whoops, triple
    {335, 675},   {330, 605},  {395, 562},               // off-camber turn
    {540, 560},   {700, 555},  {850, 560},               // rhythm lane, step-up
    {950, 590},   {1010, 660},                           // sand corner
    {1040, 790},  {1060, 920},                           // finish jump
    {1055, 1005},                                        // back to the gate
};
constexpr int k_control_count = sizeof k_control / sizeof k_control[0];

struct xz {
    float x, z;
};

xz control(int k) {
    const control_point& p = k_control[((k % k_control_count) + k_control_count) % k_control_count];
    return {p.x + k_shift_x, p.z + k_shift_z};
}

// Centripetal Catmull-Rom between p1 and p2 (no cusps or loops inside a segment).
xz catmull_rom(xz p0, xz p1, xz p2, xz p3, float t) {
    auto knot = [](float ti, xz a, xz b) {
        return ti + std::sqrt(std::hypot(b.x - a.x, b.z - a.z));
    };
    float t0 = 0, t1 = knot(t0, p0, p1), t2 = knot(t1, p1, p2), t3 = knot(t2, p2, p3);
    float u = t1 + (t2 - t1) * t;
    auto lerp = [](xz a, xz b, float ta, float tb, float v) {
        float wa = (tb - v) / (tb - ta), wb = (v - ta) / (tb - ta);
        return xz{wa * a.x + wb * b.x, wa * a.z + wb * b.z};
    };
    xz a1 = lerp(p0, p1, t0, t1, u), a2 = lerp(p1, p2, t1, t2, u), a3 = lerp(p2, p3, t2, t3, u);
    xz b1 = lerp(a1, a2, t0, t2, u), b2 = lerp(a2, a3, t1, t3, u);
    return lerp(b1, b2, t1, t2, u);
}

float smoothstep(float edge0, float edge1, float v) {
    float t = std::clamp((v - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// A feature's height profile as runs of linearly changing slope: each run has a length and
// the slope it ends at, so the ground is smooth (no kinks) and every face angle is chosen.
struct slope_run {
    float length; // ft
    float slope;  // rise per ft at the run's end
};

// One jump mound: toe transition, face, rounded lip, flat top, rounded crest, back face, foot.
struct mound {
    float height;                // ft
    float up_angle;              // degrees, the face ridden up
    float top;                   // ft of flat top
    float down_angle;            // degrees, the face ridden (or flown) down
    float toe, lip, crest, foot; // ft of each rounding
};

void add_mound(std::vector<slope_run>& runs, const mound& m) {
    float up = std::tan(m.up_angle * k_pi_f / 180), down = std::tan(m.down_angle * k_pi_f / 180);
    float face_up = m.height / up - (m.toe + m.lip) / 2;
    float face_down = m.height / down - (m.crest + m.foot) / 2;
    runs.push_back({m.toe, up});
    runs.push_back({std::max(face_up, 0.0f), up});
    runs.push_back({m.lip, 0});
    runs.push_back({m.top, 0});
    runs.push_back({m.crest, -down});
    runs.push_back({std::max(face_down, 0.0f), -down});
    runs.push_back({m.foot, 0});
}

void add_gap(std::vector<slope_run>& runs, float length) { runs.push_back({length, 0}); }

float runs_length(const std::vector<slope_run>& runs) {
    float total = 0;
    for (const slope_run& r : runs) total += r.length;
    return total;
}

float runs_height(const std::vector<slope_run>& runs, float t) {
    float h = 0, slope = 0;
    for (const slope_run& r : runs) {
        if (r.length <= 0) {
            slope = r.slope;
            continue;
        }
        float x = std::min(t, r.length);
        h += slope * x + (r.slope - slope) * x * x / (2 * r.length);
        if (t <= r.length) return h;
        t -= r.length;
        slope = r.slope;
    }
    return h;
}

// How a feature shapes the ground, beside where it is.
struct feature_shape {
    std::vector<slope_run> runs; // along the lap
    int whoops = 0;              // number of whoops bumps
    float whoop_length = 0;      // ft per bump
    float whoop_height = 0;      // ft
    float dip = 0;               // ft the section is dug down
    float berm = 0;              // ft the outside of a turn is raised at the groove's edge
    float camber = 0;            // rise per ft towards the inside of an off-camber turn
    float turn_sign = 0;         // +1 turning left, -1 right
};

struct layout_builder {
    track_layout layout;
    std::vector<feature_shape> shapes; // one per feature
};

layout_builder& builder() {
    static layout_builder b;
    return b;
}

void add_feature(layout_builder& b, feature_kind kind, const char* name, float s_begin, float s_end,
                 feature_shape shape) {
    if (!shape.runs.empty()) s_end = s_begin + runs_length(shape.runs);
    b.layout.features.push_back({kind, name, s_begin, s_end});
    b.shapes.push_back(std::move(shape));
}

void build_spline(track_layout& layout) {
    // Fine samples of the spline with their running length.
    constexpr int k_fine = 400;
    std::vector<xz> fine;
    std::vector<float> at;
    float length = 0;
    for (int k = 0; k < k_control_count; k++) {
        for (int q = 0; q < k_fine; q++) {
            xz p = catmull_rom(control(k - 1), control(k), control(k + 1), control(k + 2),
                               static_cast<float>(q) / k_fine);
            if (!fine.empty()) length += std::hypot(p.x - fine.back().x, p.z - fine.back().z);
            fine.push_back(p);
            at.push_back(length);
        }
    }
    length += std::hypot(fine.front().x - fine.back().x, fine.front().z - fine.back().z);
    fine.push_back(fine.front());
    at.push_back(length);

    int count = static_cast<int>(std::lround(length / k_step));
    layout.length = length;
    layout.step = length / static_cast<float>(count);
    layout.points.resize(count);
    size_t f = 0;
    for (int k = 0; k < count; k++) {
        float s = static_cast<float>(k) * layout.step;
        while (f + 2 < at.size() && at[f + 1] < s) f++;
        float w = (s - at[f]) / std::max(at[f + 1] - at[f], 1e-6f);
        layout_point& p = layout.points[k];
        p.s = s;
        p.x = fine[f].x + w * (fine[f + 1].x - fine[f].x);
        p.z = fine[f].z + w * (fine[f + 1].z - fine[f].z);
    }
    for (int k = 0; k < count; k++) {
        const layout_point& a = layout.points[(k + count - 1) % count];
        const layout_point& b = layout.points[(k + 1) % count];
        float dx = b.x - a.x, dz = b.z - a.z, r = 1.0f / std::hypot(dx, dz);
        layout.points[k].dir_x = dx * r;
        layout.points[k].dir_z = dz * r;
    }
}

void build_grade(track_layout& layout) {
    int count = static_cast<int>(layout.points.size());
    std::vector<float> h(count), sum(count);
    for (int k = 0; k < count; k++) h[k] = layout_hillside(layout.points[k].x, layout.points[k].z);
    int half = static_cast<int>(k_grade_window / layout.step);
    // Two passes of a circular box filter: the groove follows the hill's long rolls but not
    // its short ones.
    for (int pass = 0; pass < 2; pass++) {
        double running = 0;
        for (int k = -half; k <= half; k++) running += h[(k + count) % count];
        for (int k = 0; k < count; k++) {
            sum[k] = static_cast<float>(running / (2 * half + 1));
            running += h[(k + half + 1) % count] - h[(k - half + count) % count];
        }
        h.swap(sum);
    }
    layout.grade = h;
}

// Which way a stretch of the lap turns: the sign of its summed heading change (left is +1
// with x to the right and the rider's left towards +offset).
float turn_sign(const track_layout& layout, float s_begin, float s_end) {
    double turning = 0;
    for (float s = s_begin; s < s_end; s += layout.step) {
        layout_point a = layout_at(layout, s), b = layout_at(layout, s + layout.step);
        turning += a.dir_x * b.dir_z - a.dir_z * b.dir_x;
    }
    // The rider's left is (dir_z, -dir_x); heading changes towards it give negative cross.
    return turning < 0 ? 1.0f : -1.0f;
}

void build_features(layout_builder& b) {
    track_layout& layout = b.layout;
    auto shape_runs = [](std::initializer_list<mound> mounds, std::initializer_list<float> gaps) {
        feature_shape shape;
        auto gap = gaps.begin();
        bool first = true;
        for (const mound& m : mounds) {
            if (!first && gap != gaps.end()) add_gap(shape.runs, *gap++);
            add_mound(shape.runs, m);
            first = false;
        }
        return shape;
    };
    auto turn = [&](float berm, float camber, float s0, float s1) {
        feature_shape shape;
        shape.berm = berm;
        shape.camber = camber;
        shape.turn_sign = turn_sign(layout, s0, s1);
        return shape;
    };

    add_feature(b, feature_kind::start_straight, "start straight", 0, 480, {});
    add_feature(b, feature_kind::berm_turn, "first turn", 560, 880, turn(5.0f, 0, 560, 880));
    add_feature(b, feature_kind::tabletop, "tabletop", 930, 0,
                shape_runs({{5.0f, 27, 28, 14, 5, 2.5f, 4, 8}}, {}));
    add_feature(
        b, feature_kind::double_jump, "double", 1080, 0,
        shape_runs({{5.5f, 30, 1.5f, 38, 5, 2, 2, 3}, {5.5f, 34, 3, 16, 3, 2, 3, 10}}, {18}));
    add_feature(b, feature_kind::turn, "second turn", 1260, 1580, turn(2.5f, 0, 1260, 1580));
    {
        feature_shape whoops;
        whoops.whoops = 9;
        whoops.whoop_length = 12;
        whoops.whoop_height = 2.0f;
        add_feature(b, feature_kind::whoops, "whoops", 1600, 1600 + 9 * 12.0f, whoops);
    }
    add_feature(b, feature_kind::triple_jump, "triple", 1770, 0,
                shape_runs({{6.0f, 30, 1.5f, 36, 5, 2, 2, 3},
                            {4.5f, 32, 3, 32, 3, 2, 2, 3},
                            {6.0f, 34, 3, 15, 3, 2, 3, 10}},
                           {8, 8}));
    add_feature(b, feature_kind::off_camber_turn, "off-camber turn", 1960, 2270,
                turn(0, std::tan(7 * k_pi_f / 180), 1960, 2270));
    {
        mound small{3.0f, 25, 1, 22, 3, 1.5f, 1.5f, 3};
        add_feature(b, feature_kind::rhythm_lane, "rhythm lane", 2310, 0,
                    shape_runs({small, small, small, small, small}, {4, 4, 4, 4}));
    }
    add_feature(
        b, feature_kind::step_up, "step-up", 2480, 0,
        shape_runs({{3.5f, 30, 1, 40, 4, 1.5f, 1.5f, 2}, {7.0f, 36, 30, 10, 2, 3, 6, 10}}, {8}));
    {
        feature_shape sand = turn(1.5f, 0, 2700, 2920);
        sand.dip = 0.6f;
        add_feature(b, feature_kind::sand_section, "sand section", 2700, 2920, sand);
    }
    add_feature(b, feature_kind::finish_jump, "finish jump", 2975, 0,
                shape_runs({{6.5f, 28, 40, 14, 6, 3, 5, 10}}, {}));
    layout.finish_s = 3110;
    add_feature(b, feature_kind::turn, "last turn", 3190, layout.length,
                turn(2.0f, 0, 3190, layout.length));
}

float feature_profile(const feature_shape& shape, const layout_feature& f, float s) {
    float t = s - f.s_begin;
    if (!shape.runs.empty()) return runs_height(shape.runs, t);
    if (shape.whoops > 0) {
        float phase = t / shape.whoop_length;
        return shape.whoop_height * (0.5f - 0.5f * std::cos(2 * k_pi_f * phase));
    }
    if (shape.dip > 0) {
        float edge = std::min(smoothstep(0, 20, t), smoothstep(0, 20, f.s_end - s));
        return -shape.dip * edge;
    }
    return 0;
}

// Where s falls on the closed lap sampled every step: s brought into [0, length), the sample
// before it, and how far it is towards the next one (0-1).
struct lap_place {
    float s;
    int k;
    float w;
};

lap_place place_on_lap(const track_layout& layout, float s, int count) {
    s = std::fmod(s, layout.length);
    if (s < 0) s += layout.length;
    float f = s / layout.step;
    int k = std::min(static_cast<int>(f), count - 1);
    return {s, k, f - static_cast<float>(k)};
}
} // namespace

float layout_hillside(float x, float z) {
    return 0.035f * (1280.0f - z) +
           5.0f * std::sin(x / 160.0f + 0.7f) * std::cos(z / 190.0f - 0.3f) +
           2.5f * std::sin((x - 0.6f * z) / 85.0f);
}

const track_layout& rabbithill_layout() {
    layout_builder& b = builder();
    if (b.layout.points.empty()) {
        build_spline(b.layout);
        build_grade(b.layout);
        build_features(b);
        float s = 0;
        for (layout_point& p : b.layout.points) {
            s = p.s;
            // The start straight is wide at the gate and narrows into the first turn; the
            // lap's last stretch widens again into the gate area.
            float narrowing = smoothstep(150, 450, s);
            float widening = smoothstep(b.layout.length - 80, b.layout.length, s);
            float wide = std::max(1 - narrowing, widening);
            p.half_width = k_groove_half + (k_start_half - k_groove_half) * wide;
        }
    }
    return b.layout;
}

layout_point layout_at(const track_layout& layout, float s_any) {
    int count = static_cast<int>(layout.points.size());
    const auto [s, k, w] = place_on_lap(layout, s_any, count);
    const layout_point& a = layout.points[k];
    const layout_point& b = layout.points[(k + 1) % count];
    layout_point p;
    p.s = s;
    p.x = a.x + w * (b.x - a.x);
    p.z = a.z + w * (b.z - a.z);
    float dx = a.dir_x + w * (b.dir_x - a.dir_x), dz = a.dir_z + w * (b.dir_z - a.dir_z);
    float r = 1.0f / std::hypot(dx, dz);
    p.dir_x = dx * r;
    p.dir_z = dz * r;
    p.half_width = a.half_width + w * (b.half_width - a.half_width);
    return p;
}

float layout_grade(const track_layout& layout, float s) {
    int count = static_cast<int>(layout.grade.size());
    lap_place at = place_on_lap(layout, s, count);
    return layout.grade[at.k] + at.w * (layout.grade[(at.k + 1) % count] - layout.grade[at.k]);
}

const layout_feature* layout_feature_at(const track_layout& layout, float s) {
    for (const layout_feature& f : layout.features)
        if (s >= f.s_begin && s < f.s_end) return &f;
    return nullptr;
}

const layout_feature* layout_find(const track_layout& layout, feature_kind kind) {
    for (const layout_feature& f : layout.features)
        if (f.kind == kind) return &f;
    return nullptr;
}

float layout_profile(const track_layout& layout, float s) {
    const layout_builder& b = builder();
    for (size_t k = 0; k < layout.features.size(); k++) {
        const layout_feature& f = layout.features[k];
        if (s >= f.s_begin && s < f.s_end) return feature_profile(b.shapes[k], f, s);
    }
    return 0;
}

float layout_cross(const track_layout& layout, float s, float offset) {
    const layout_builder& b = builder();
    for (size_t k = 0; k < layout.features.size(); k++) {
        const layout_feature& f = layout.features[k];
        const feature_shape& shape = b.shapes[k];
        if (s < f.s_begin || s >= f.s_end || (shape.berm == 0 && shape.camber == 0)) continue;
        // Banking eases in and out over the first and last 40 ft of the turn.
        float ease = std::min(smoothstep(f.s_begin, f.s_begin + 40, s),
                              smoothstep(f.s_end, f.s_end - 40, s));
        float half = layout_at(layout, s).half_width;
        float outward = std::clamp(-offset * shape.turn_sign, -half, half); // + towards the outside
        float u = (outward + half) / (2 * half);
        return ease * (shape.berm * u * u - shape.camber * outward);
    }
    return 0;
}

float layout_surface_height(const track_layout& layout, float s, float offset) {
    return layout_grade(layout, s) + layout_profile(layout, s) + layout_cross(layout, s, offset);
}

layout_place layout_locate(const track_layout& layout, float x, float z) {
    layout_place best{0, 0, 1e30f};
    size_t count = layout.points.size();
    for (size_t k = 0; k < count; k++) {
        const layout_point& a = layout.points[k];
        const layout_point& b = layout.points[(k + 1) % count];
        float sx = b.x - a.x, sz = b.z - a.z;
        float t = std::clamp(((x - a.x) * sx + (z - a.z) * sz) / (sx * sx + sz * sz), 0.0f, 1.0f);
        float px = a.x + t * sx, pz = a.z + t * sz;
        float d = std::hypot(x - px, z - pz);
        if (d < best.distance) {
            float s = a.s + t * layout.step;
            // The rider's left is (dir_z, -dir_x) with x to the right and north at -z.
            float offset = (x - px) * a.dir_z - (z - pz) * a.dir_x;
            best = {s >= layout.length ? s - layout.length : s, offset, d};
        }
    }
    return best;
}
