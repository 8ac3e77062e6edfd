// The 80 bike records: a row per model over a template per class, built at compile time.
#include "bike/data/bike_info.h"
#include "bike/data/bike_shape_files.h"

#include <array>

namespace {
// Everything a class of bikes shares: the suspension and driveline it is sold with, the rider it
// is raced by, and the shape of its torque curve.
struct class_template {
    const char* bike_class;
    float fork_mass;            // slug
    float swingarm_mass;        // slug
    float fork_spring[2];       // lbf/ft, both legs
    float fork_hs_rebound;      // lbf·s/ft
    float shock_spring[2];      // lbf/ft
    float shock_hs_rebound;     // lbf·s/ft
    float engine_inertia;       // slug·ft²
    float driveline_stiffness;  // lbf·ft/rad
    float driveline_damping;    // lbf·ft·s/rad
    float rider_mass;           // slug
    float idle_torque_fraction; // share of peak torque below the ramp
    float ramp_start_rpm;       // rpm where torque starts to build
    float hit;                  // 0 = broad four-stroke rise, 1 = late two-stroke hit
    float over_rev_drop;        // share of peak torque lost between peak and max_rpm
    float limiter_drag;         // lbf·ft of pumping loss per 1000 rpm beyond the limiter
    float closed_scale;         // engine braking relative to the 125 two-stroke
};

// 125: the two-stroke 125 is the reference the others are scaled from; its spring ranges put a
// 150 lb rider's sag in the middle of the slider (0.44 kg/mm per fork leg, 4.7 kg/mm shock), the
// torque builds late and hard and the engine barely brakes.
// 250f: a quarter-litre four-stroke: a little heavier running gear and springs, torque that
// builds from low revs and stays flat to the limiter, and half again the two-stroke's engine
// braking.
// 250: the open two-stroke: twice the 125's torque at lower revs, falling away steeply past the
// peak, a heavier crank, raced by a heavier rider, so 5 % stiffer springs.
// 450f: the open four-stroke: the heaviest crank, a broad torque curve from 1000 rpm that holds
// nearly half its peak at idle and fades over-rev (peak power near 9500 rpm, about 60 hp),
// stiffest springs for the heavier rider, and twice the engine braking.
// 50: a minibike engine of under 8 hp with a light crank and a soft driveline, light forks and
// swingarm, softer springs, and almost no engine braking.
// clang-format off
constexpr class_template k_classes[] = {
    {"125", 0.739688f, 0.541875f, {322.545f, 860.12f}, 30, {1814.32f, 4502.19f}, 600, 0.0048828f, 7500, 0.75f,
     4.6875f, 0.31f, 2000, 0.7f, 0.3f, 1, 1},
    {"250f", 0.76f, 0.56f, {335, 880}, 32, {1880, 4650}, 640, 0.0048828f, 7500, 0.75f, 4.6875f, 0.35f, 1500, 0.2f,
     0.25f, 1.5f, 1.5f},
    {"250", 0.75f, 0.55f, {350, 905}, 32, {1950, 4800}, 650, 0.0068359f, 7500, 0.75f, 5.46875f, 0.3f, 2000, 0.6f, 0.6f,
     1.5f, 1.2f},
    {"450f", 0.78f, 0.58f, {372, 950}, 35, {2060, 5020}, 700, 0.0088501f, 7500, 0.75f, 5.46875f, 0.45f, 1000, 0.1f,
     0.45f, 2, 2},
    {"50", 0.52f, 0.38f, {215, 600}, 20, {1150, 3000}, 400, 0.0011936f, 1200, 1.0f, 4.6875f, 0.3f, 2000, 0.5f, 0.3f,
     0.3f, 0.35f},
};
// clang-format on
enum { c125, c250f, c250, c450f, c50 };

// Gearboxes, 1st to 6th; -1 where the box has no such gear. Each is chosen with its primary and
// sprockets so that first gear tops out around 30 mph and the top gear around 70 to 90 mph (a 50
// around 45 mph) at max_rpm.
constexpr float k_gears_125_5[6] = {2.35714f, 1.86667f, 1.57895f, 1.29412f, 1.13333f, -1};
constexpr float k_gears_125_6[6] = {2.384615f, 1.857143f, 1.529412f, 1.294118f, 1.125f, 1.0f};
constexpr float k_gears_250f[6] = {2.357143f, 1.866667f, 1.529412f, 1.263158f, 1.041667f, -1};
constexpr float k_gears_250[6] = {1.857143f, 1.5f, 1.235294f, 1.045455f, 0.909091f, -1};
constexpr float k_gears_450f[6] = {2.642857f, 2.066667f, 1.705882f, 1.45f, 1.25f, -1};
constexpr float k_gears_50[6] = {2.9f, 2.214286f, 1.833333f, 1.578947f, 1.4f, 1.272727f};

// The reference 125's measured curves; the others are shaped from the class template.
// clang-format off
constexpr float k_cr125_open[k_torque_samples] = {
    5, 5, 5, 5, 5, 5.7f, 6.4f, 7.2f, 7.9f, 8.6f, 9.4538f, 10.2177f, 10.3292f, 10.6658f, 11.4046f, 12.465f, 13.2616f,
    14.1498f, 14.7643f, 15.8116f, 15.9664f, 15.9064f, 15.7563f, 15.117f, 12.7364f, 2.10085f, 0, 0, -1, -1, -2, -2, -3, -3,
    -4, -4, -5, -5, -6, -6, -7, -7, -8, -8, -9, -9, -10, -10, -11, -11};
constexpr float k_cr125_closed[k_torque_samples] = {
    2, 2, 1, 0, -1, -1.2f, -1.4f, -1.6f, -1.8f, -2, -2.25f, -2.5f, -2.75f, -3, -3.33f, -3.67f, -4, -5, -6, -7, -8, -9,
    -10, -10, -11, -11, -12, -12, -13, -13, -14, -14, -15, -15, -16, -16, -17, -17, -18, -18, -19, -19, -20, -20, -21,
    -21, -22, -22, -23, -23};

// One model: what differs from its class template.
struct bike_row {
    const char* name;
    int class_index;
    float frame_mass;      // slug
    float primary_ratio;
    float front_sprocket;  // teeth
    float rear_sprocket;   // teeth
    const float* gears;
    float peak_torque;     // lbf·ft at full throttle
    float peak_rpm;        // rpm, a multiple of 500 so the table holds the peak itself
    float downshift_rpm;
    float upshift_rpm;
    float max_rpm;
    float engine_inertia;  // slug·ft², 0 = the class's
    const float* open_curve = nullptr;   // measured curves instead of the class shape
    const float* closed_curve = nullptr;
};
// clang-format on

// 350s carry a 250-sized crank spun a little slower.
constexpr float k_inertia_350 = 0.0068359f;

// clang-format off
constexpr bike_row k_rows[k_bike_count] = {
    {"cr125", c125, 3.65375f, 3.15f, 13, 52, k_gears_125_5, 15.9664f, 10000, 9400, 12000, 12750, 0, k_cr125_open,
     k_cr125_closed},
    {"crf250(2007)", c250f, 4.42f, 3.35f, 13, 48, k_gears_250f, 17.15f, 10000, 7800, 12000, 12750, 0},
    {"crf250(2008)", c250f, 4.40f, 3.35f, 13, 48, k_gears_250f, 17.3f, 10000, 7800, 12000, 12750, 0},
    {"crf250(2009)", c250f, 4.38f, 3.35f, 13, 48, k_gears_250f, 17.46f, 10000, 7800, 12000, 12750, 0},
    {"crf250(2013)", c250f, 4.32f, 3.47368f, 13, 48, k_gears_250f, 17.76f, 10000, 7800, 12200, 13000, 0},
    {"crf250(2016)", c250f, 4.28f, 3.47368f, 13, 49, k_gears_250f, 18.06f, 10000, 8000, 12300, 13100, 0},
    {"crf250(2017)", c250f, 4.26f, 3.47368f, 13, 49, k_gears_250f, 18.29f, 10000, 8000, 12300, 13100, 0},
    {"crf250(2018)", c250f, 4.24f, 3.47368f, 13, 49, k_gears_250f, 18.44f, 10000, 8000, 12500, 13250, 0},
    {"cr250(2007)", c250, 4.36562f, 3.0f, 13, 49, k_gears_250, 32.84f, 7500, 6000, 9000, 10500, 0},
    {"crf450(2011)", c450f, 4.85f, 2.32143f, 13, 48, k_gears_450f, 33.2f, 7500, 6000, 10000, 11500, 0},
    {"crf450(2013)", c450f, 4.80f, 2.32143f, 13, 48, k_gears_450f, 33.8f, 7500, 6000, 10000, 11500, 0},
    {"crf450(2016)", c450f, 4.78f, 2.32143f, 13, 49, k_gears_450f, 34.6f, 7500, 6000, 10300, 11800, 0},
    {"crf450(2017)", c450f, 4.75f, 2.32143f, 13, 49, k_gears_450f, 35.0f, 7500, 6000, 10500, 12000, 0},
    {"crf450(2018)", c450f, 4.735f, 2.32143f, 13, 49, k_gears_450f, 35.4f, 7500, 6000, 10500, 12000, 0},
    {"kx125", c125, 3.68f, 3.2f, 13, 50, k_gears_125_5, 15.6f, 10000, 9400, 12000, 12750, 0},
    {"kx250f(2007)", c250f, 4.44f, 3.3f, 13, 50, k_gears_250f, 17.08f, 10000, 7800, 12000, 12750, 0},
    {"kx250f(2008)", c250f, 4.42f, 3.3f, 13, 50, k_gears_250f, 17.23f, 10000, 7800, 12000, 12750, 0},
    {"kx250f(2009)", c250f, 4.40f, 3.3f, 13, 50, k_gears_250f, 17.53f, 10000, 7800, 12000, 12750, 0},
    {"kx250f(2013)", c250f, 4.34f, 3.3f, 13, 50, k_gears_250f, 17.84f, 10000, 7800, 12200, 13000, 0},
    {"kx250f(2016)", c250f, 4.30f, 3.3f, 13, 50, k_gears_250f, 18.14f, 10000, 8000, 12300, 13100, 0},
    {"kx250f(2017)", c250f, 4.28f, 3.3f, 13, 50, k_gears_250f, 18.37f, 10000, 8000, 12300, 13100, 0},
    {"kx250f(2018)", c250f, 4.26f, 3.3f, 13, 50, k_gears_250f, 18.6f, 10000, 8000, 12500, 13250, 0},
    {"kx250(2006)", c250, 4.40f, 2.87f, 13, 50, k_gears_250, 32.0f, 7500, 6000, 9000, 10500, 0},
    {"kx450f(2011)", c450f, 4.88f, 2.4f, 13, 50, k_gears_450f, 33.6f, 7500, 6000, 10000, 11500, 0},
    {"kx450f(2013)", c450f, 4.84f, 2.4f, 13, 50, k_gears_450f, 34.0f, 7500, 6000, 10000, 11500, 0},
    {"kx450f(2016)", c450f, 4.80f, 2.4f, 13, 50, k_gears_450f, 34.8f, 7500, 6000, 10300, 11800, 0},
    {"kx450f(2017)", c450f, 4.78f, 2.4f, 13, 50, k_gears_450f, 35.1f, 7500, 6000, 10500, 12000, 0},
    {"kx450f(2018)", c450f, 4.76f, 2.4f, 13, 50, k_gears_450f, 35.6f, 7500, 6000, 10500, 12000, 0},
    {"rm125", c125, 3.66f, 3.3f, 13, 51, k_gears_125_5, 15.8f, 10000, 9300, 11900, 12600, 0},
    {"rmz250(2007)", c250f, 4.45f, 3.35f, 13, 48, k_gears_250f, 17.0f, 10000, 7800, 12000, 12750, 0},
    {"rmz250(2008)", c250f, 4.43f, 3.35f, 13, 48, k_gears_250f, 17.15f, 10000, 7800, 12000, 12750, 0},
    {"rmz250(2009)", c250f, 4.41f, 3.35f, 13, 48, k_gears_250f, 17.38f, 10000, 7800, 12000, 12750, 0},
    {"rmz250(2013)", c250f, 4.35f, 3.35f, 13, 48, k_gears_250f, 17.61f, 10000, 7800, 12200, 13000, 0},
    {"rmz250(2016)", c250f, 4.31f, 3.35f, 13, 49, k_gears_250f, 17.84f, 10000, 8000, 12300, 13100, 0},
    {"rmz250(2017)", c250f, 4.29f, 3.35f, 13, 49, k_gears_250f, 17.99f, 10000, 8000, 12300, 13100, 0},
    {"rmz250(2018)", c250f, 4.27f, 3.35f, 13, 49, k_gears_250f, 18.22f, 10000, 8000, 12500, 13250, 0},
    {"rm250(2008)", c250, 4.38f, 2.85f, 13, 49, k_gears_250, 32.3f, 7500, 6000, 9000, 10500, 0},
    {"rmz450(2011)", c450f, 4.90f, 2.35f, 13, 48, k_gears_450f, 33.0f, 7500, 6000, 10000, 11500, 0},
    {"rmz450(2013)", c450f, 4.86f, 2.35f, 13, 48, k_gears_450f, 33.5f, 7500, 6000, 10000, 11500, 0},
    {"rmz450(2016)", c450f, 4.83f, 2.35f, 13, 49, k_gears_450f, 34.2f, 7500, 6000, 10300, 11800, 0},
    {"rmz450(2017)", c450f, 4.80f, 2.35f, 13, 49, k_gears_450f, 34.5f, 7500, 6000, 10500, 12000, 0},
    {"rmz450(2018)", c450f, 4.78f, 2.35f, 13, 49, k_gears_450f, 35.0f, 7500, 6000, 10500, 12000, 0},
    {"yz125", c125, 3.62f, 3.3f, 14, 50, k_gears_125_6, 15.8f, 10000, 9500, 12200, 13000, 0},
    {"yz250f(2007)", c250f, 4.43f, 3.35294f, 13, 49, k_gears_250f, 17.0f, 10000, 7800, 12000, 12750, 0},
    {"yz250f_se(2006)", c250f, 4.41f, 3.35294f, 13, 49, k_gears_250f, 17.15f, 10000, 7800, 12000, 12750, 0},
    {"yz250f(2008)", c250f, 4.41f, 3.35294f, 13, 49, k_gears_250f, 17.15f, 10000, 7800, 12000, 12750, 0},
    {"yz250f(2009)", c250f, 4.39f, 3.35294f, 13, 49, k_gears_250f, 17.38f, 10000, 7800, 12000, 12750, 0},
    {"yz250f(2013)", c250f, 4.35f, 3.35294f, 13, 49, k_gears_250f, 17.61f, 10000, 7800, 12200, 13000, 0},
    {"yz250f(2016)", c250f, 4.31f, 3.35294f, 13, 49, k_gears_250f, 17.91f, 10000, 8000, 12300, 13100, 0},
    {"yz250f(2017)", c250f, 4.36f, 3.35294f, 13, 49, k_gears_250f, 18.44f, 10000, 8000, 12500, 13250, 0},
    {"yz250f(2018)", c250f, 4.34f, 3.35294f, 13, 49, k_gears_250f, 18.67f, 10000, 8000, 12500, 13250, 0},
    {"yz250(2012)", c250, 4.30f, 2.85f, 14, 50, k_gears_250, 33.2f, 7500, 6100, 9100, 10600, 0},
    {"yz450f(2011)", c450f, 4.86f, 2.35f, 13, 48, k_gears_450f, 33.4f, 7500, 6000, 10000, 11500, 0},
    {"yz450f(2013)", c450f, 4.83f, 2.35f, 13, 48, k_gears_450f, 34.0f, 7500, 6000, 10000, 11500, 0},
    {"yz450f(2016)", c450f, 4.80f, 2.35f, 13, 49, k_gears_450f, 34.7f, 7500, 6000, 10300, 11800, 0},
    {"yz450f(2017)", c450f, 4.78f, 2.35f, 13, 49, k_gears_450f, 35.2f, 7500, 6000, 10500, 12000, 0},
    {"yz450f(2018)", c450f, 4.76f, 2.35f, 13, 49, k_gears_450f, 35.8f, 7500, 6000, 10500, 12000, 0},
    {"125sx", c125, 3.58f, 3.125f, 13, 50, k_gears_125_6, 16.0f, 10000, 9600, 12300, 13000, 0},
    {"250sxf(2009)", c250f, 4.30f, 3.47826f, 13, 48, k_gears_250f, 17.68f, 10500, 8500, 13000, 14000, 0},
    {"250sxf(2013)", c250f, 4.26f, 3.47826f, 13, 48, k_gears_250f, 18.14f, 10500, 8500, 13000, 14000, 0},
    {"250sxf(2016)", c250f, 4.22f, 3.47826f, 13, 48, k_gears_250f, 18.52f, 10500, 8500, 13000, 14000, 0},
    {"250sxf(2017)", c250f, 4.18f, 3.47826f, 13, 48, k_gears_250f, 18.75f, 10500, 8500, 13000, 14000, 0},
    {"250sxf(2018)", c250f, 4.18f, 3.47826f, 13, 48, k_gears_250f, 18.9f, 10500, 8500, 13000, 14000, 0},
    {"250sx(2012)", c250, 4.25f, 2.87f, 14, 50, k_gears_250, 33.8f, 8000, 6200, 9200, 10800, 0},
    {"350sxf(2011)", c450f, 4.52f, 3.04f, 13, 48, k_gears_250f, 26.5f, 9000, 7500, 12000, 13400, k_inertia_350},
    {"350sxf(2013)", c250f, 4.40f, 3.04f, 13, 48, k_gears_250f, 24.0f, 9000, 7500, 12000, 13400, k_inertia_350},
    {"350sxf(2017)", c250f, 4.34f, 3.04f, 13, 48, k_gears_250f, 24.3f, 9000, 7500, 12000, 13400, k_inertia_350},
    {"450sxf(2011)", c450f, 4.72f, 2.3f, 13, 48, k_gears_450f, 33.8f, 8000, 6300, 10800, 12500, 0},
    {"450sxf(2013)", c450f, 4.70f, 2.3f, 13, 48, k_gears_450f, 34.4f, 8000, 6300, 10800, 12500, 0},
    {"450sxf(2016)", c450f, 4.66f, 2.3f, 13, 48, k_gears_450f, 35.0f, 8000, 6300, 10800, 12500, 0},
    {"450sxf(2017)", c450f, 4.62f, 2.3f, 13, 48, k_gears_450f, 35.5f, 8000, 6300, 10800, 12500, 0},
    {"450sxf(2018)", c450f, 4.62f, 2.3f, 13, 48, k_gears_450f, 36.0f, 8000, 6300, 10800, 12500, 0},
    {"fc250(2017)", c250f, 4.22f, 3.47826f, 13, 48, k_gears_250f, 18.67f, 10500, 8500, 13000, 14000, 0},
    {"fc250(2018)", c250f, 4.22f, 3.47826f, 13, 48, k_gears_250f, 18.82f, 10500, 8500, 13000, 14000, 0},
    {"fc450(2017)", c450f, 4.66f, 2.3f, 13, 48, k_gears_450f, 35.6f, 8000, 6300, 10800, 12500, 0},
    {"fc450(2018)", c450f, 4.66f, 2.3f, 13, 48, k_gears_450f, 36.1f, 8000, 6300, 10800, 12500, 0},
    {"rs50cr", c50, 3.34125f, 3.71429f, 12, 55, k_gears_50, 4.31f, 9500, 9400, 12000, 12750, 0},
    {"rs50kx", c50, 3.35f, 3.71429f, 12, 54, k_gears_50, 4.25f, 9500, 9400, 12000, 12750, 0},
    {"rs50rm", c50, 3.36f, 3.71429f, 12, 55, k_gears_50, 4.2f, 9500, 9400, 12000, 12750, 0},
    {"rs50yz", c50, 3.33f, 3.71429f, 12, 56, k_gears_50, 4.35f, 9500, 9400, 12000, 12750, 0},
};
// clang-format on

constexpr void set_text(char* out, int size, const char* a, const char* b = "",
                        const char* c = "") {
    int n = 0;
    for (const char* part : {a, b, c})
        for (const char* p = part; *p && n < size - 1; p++) out[n++] = *p;
    out[n] = 0;
}

// A catalogue name as a file name part: "crf250(2018)" -> "crf250_2018". No '-' may appear,
// because the texture variants of a model are split off at the first '-'.
constexpr void file_base(const char* name, char* out, int size) {
    int n = 0;
    for (const char* p = name; *p && n < size - 1; p++) {
        if (*p == ')') continue;
        out[n++] = *p == '(' ? '_' : *p;
    }
    out[n] = 0;
}

constexpr float floor_of(float v) {
    float t = static_cast<float>(static_cast<long>(v));
    return t > v ? t - 1 : t;
}

// Full-throttle torque at `rpm` from the class shape: flat idle torque, a rise to the peak (concave
// for a broad four-stroke, convex for a two-stroke's hit), a gentle over-rev fall to max_rpm, the
// limiter cutting it to 0 at the next sample above max_rpm, and pumping loss beyond.
constexpr float open_torque(const bike_row& row, const class_template& t, float rpm) {
    float peak = row.peak_torque;
    float idle = peak * t.idle_torque_fraction;
    float zero_rpm = (floor_of(row.max_rpm / 500) + 1) * 500;
    if (rpm <= row.peak_rpm) {
        float u = (rpm - t.ramp_start_rpm) / (row.peak_rpm - t.ramp_start_rpm);
        u = u < 0 ? 0 : u > 1 ? 1 : u;
        float broad = 1 - (1 - u) * (1 - u);
        return idle + (peak - idle) * ((1 - t.hit) * broad + t.hit * u * u);
    }
    if (rpm <= row.max_rpm) {
        float v = (rpm - row.peak_rpm) / (row.max_rpm - row.peak_rpm);
        return peak * (1 - t.over_rev_drop * v * v);
    }
    if (rpm < zero_rpm)
        return peak * (1 - t.over_rev_drop) * (zero_rpm - rpm) / (zero_rpm - row.max_rpm);
    return -t.limiter_drag * floor_of((rpm - zero_rpm) / 1000);
}

constexpr bike_info make_bike_info(const bike_row& row) {
    const class_template& t = k_classes[row.class_index];
    bike_info b;
    set_text(b.name, k_bike_name_size, row.name);
    set_text(b.bike_class, k_bike_name_size, t.bike_class);
    char base[k_bike_name_size] = {};
    file_base(row.name, base, k_bike_name_size);

    // Wheels, frame and steering geometry are one chassis for every model.
    b.front_wheel_position = {0, 1.09f, 1.11f};
    b.front_rim_radius = 0.8333f;
    b.front_tyre_radius = 0.3333f;
    b.front_rim_mass = 0.40625f;
    b.front_hub_radius = 0.5f;
    b.front_hub_mass = 0.15625f;
    b.rear_wheel_position = {0, 1.04f, 6.0f};
    b.rear_rim_radius = 0.75f;
    b.rear_tyre_radius = 0.3333f;
    b.rear_rim_mass = 0.46875f;
    b.rear_hub_radius = 0.5f;
    b.rear_hub_mass = 0.3125f;
    b.frame_position = {0, 1.98f, 3.6f};
    b.frame_mass = row.frame_mass;
    b.frame_box = {0.8333f, 1.6667f, 1.6667f};
    b.steering_head_position = {0, 2.9f, 2.16f};
    b.swingarm_position = {0, 1.34f, 4.99f};
    b.swingarm_pivot = {0, 1.6f, 4.08f};
    b.fork_lower_position = {0, 1.77f, 1.59f};
    b.fork_leg_spacing = 0.8333f;
    b.fork_length = 3.0f;
    b.fork_mass = t.fork_mass;
    b.fork_spring_rate_range[0] = t.fork_spring[0];
    b.fork_spring_rate_range[1] = t.fork_spring[1];
    b.fork_preload_range[0] = 0;
    b.fork_preload_range[1] = 0.0833f;
    b.fork_air_gap_range[0] = 0.4167f;
    b.fork_air_gap_range[1] = 0.25f;
    b.fork_damping[0] = 60;
    b.fork_damping[1] = 60;
    b.fork_damping[2] = t.fork_hs_rebound;
    b.fork_damping[3] = 30;
    b.fork_travel = 1.0f;
    b.swingarm_mass = t.swingarm_mass;
    b.shock_spring_rate_range[0] = t.shock_spring[0];
    b.shock_spring_rate_range[1] = t.shock_spring[1];
    b.shock_preload_range[0] = 0;
    b.shock_preload_range[1] = 0.3333f;
    b.shock_damping[0] = 800;
    b.shock_damping[1] = 200;
    b.shock_damping[2] = t.shock_hs_rebound;
    b.shock_damping[3] = 150;
    b.linkage_knot_value = 0.283652f;
    b.linkage_end_value = 0.413386f;
    b.swingarm_travel = 0.530304f;
    b.linkage_knot = 0.75f;
    b.linkage_slopes[0] = 0.315039f;
    b.linkage_slopes[1] = 0.460479f;
    b.linkage_slopes[2] = 0.607049f;

    b.primary_ratio = row.primary_ratio;
    b.front_sprocket = row.front_sprocket;
    b.rear_sprocket = row.rear_sprocket;
    for (int g = 0; g < k_gear_count; g++) b.gear_ratios[g] = row.gears[g];
    b.engine_inertia = row.engine_inertia > 0 ? row.engine_inertia : t.engine_inertia;
    b.driveline_stiffness = t.driveline_stiffness;
    b.driveline_damping = t.driveline_damping;
    for (int i = 0; i < k_torque_samples; i++) {
        float rpm = static_cast<float>(i * 500);
        b.open_throttle_torque[i] = row.open_curve ? row.open_curve[i] : open_torque(row, t, rpm);
        b.closed_throttle_torque[i] =
            row.closed_curve ? row.closed_curve[i] : k_cr125_closed[i] * t.closed_scale;
    }
    b.auto_downshift_rpm = row.downshift_rpm;
    b.auto_upshift_rpm = row.upshift_rpm;
    b.max_rpm = row.max_rpm;

    b.rider_offset_axis = {0, 0.0833f, 0.0833f};
    b.rider_position = {0, 4.5f, 4.12f};
    b.rider_offset_range[0] = -0.6667f;
    b.rider_offset_range[1] = 0.5f;
    b.rider_mass = t.rider_mass;

    set_text(b.frame_model, k_bike_file_size, "@", base, "_frame.jm");
    set_text(b.bike_texture, k_bike_file_size, "@", base, ".png");
    set_text(b.fork_upper_model, k_bike_file_size, "@", base, "_fork_upper.jm");
    set_text(b.fork_lower_model, k_bike_file_size, "@", base, "_fork_lower.jm");
    set_text(b.swingarm_model, k_bike_file_size, "@", base, "_swingarm.jm");
    set_text(b.front_wheel_model, k_bike_file_size, "@front_wheel.jm");
    set_text(b.rear_wheel_model, k_bike_file_size, "@rear_wheel.jm");
    set_text(b.wheel_texture, k_bike_file_size, "@wheels.png");
    set_text(b.rider_head_model, k_bike_file_size, "@rider_head.jm");
    set_text(b.rider_head_texture, k_bike_file_size, "@rider_head.png");
    set_text(b.rider_body_model, k_bike_file_size, "@rider_body.jm");
    set_text(b.rider_body_first_person_model, k_bike_file_size, "@rider_body_fp.jm");
    set_text(b.rider_body_texture, k_bike_file_size, "@rider_body.png");
    set_text(b.side_plates_model, k_bike_file_size, "@", base, "_side_plates.jm");
    set_text(b.front_plate_model, k_bike_file_size, "@", base, "_front_plate.jm");
    set_text(b.rider_plate_model, k_bike_file_size, "@rider_plate.jm");
    // Every bike is built from the same fixed collision shapes.
    char* shapes[] = {b.frame_shape,       b.fork_upper_shape, b.fork_lower_shape, b.swingarm_shape,
                      b.front_wheel_shape, b.rear_wheel_shape, b.rider_shape};
    static_assert(sizeof shapes / sizeof shapes[0] == k_bike_shape_file_count);
    for (int i = 0; i < k_bike_shape_file_count; i++)
        set_text(shapes[i], k_bike_file_size, k_bike_shape_files[i]);

    // clang-format off
    constexpr float skeleton[k_skeleton_floats] = {
        0, 0.80838f, -0.94337f,                                 // head
        -0.556f, 0.58038f, -0.65451f, 0.556f, 0.58038f, -0.65451f, // shoulders
        -0.269f, -0.57089f, 0.67061f, 0.269f, -0.57089f, 0.67061f, // hips
        -1.097f, 1.145f, 0.753f, 1.097f, 1.145f, 0.753f,           // hand grips
        -0.6f, -0.557f, 0.584f, 0.6f, -0.557f, 0.584f,             // foot pegs
        0.9f, 1.15f, 1.328f, 1.701f,                               // arm and leg lengths
        -1.456f, 0.875f, 0.01f, 1.456f, 0.875f, 0.01f,             // elbows
        -0.556f, 0.875f, 0.01f, 0.556f, 0.875f, 0.01f,             // shoulders
        -0.269f, -2.208f, 0.01f, 0.269f, -2.208f, 0.01f,           // knees
        -0.269f, -0.88f, 0.01f, 0.269f, -0.88f, 0.01f,             // hips
        0, -0.88f, 0.01f,                                          // pelvis
    }; // clang-format on

    for (int i = 0; i < k_skeleton_floats; i++) b.rider_skeleton[i] = skeleton[i];
    return b;
}

constexpr std::array<bike_info, k_bike_count> build_catalogue() {
    std::array<bike_info, k_bike_count> out{};
    for (int i = 0; i < k_bike_count; i++) out[i] = make_bike_info(k_rows[i]);
    return out;
}

constexpr std::array<bike_info, k_bike_count> k_catalogue = build_catalogue();
} // namespace

const bike_info* bike_catalogue() { return k_catalogue.data(); }
const bike_info& bike_info_at(int index) { return k_catalogue[index]; }

std::string bike_file_base(const bike_info& info) {
    char base[k_bike_name_size] = {};
    file_base(info.name, base, k_bike_name_size);
    return base;
}
