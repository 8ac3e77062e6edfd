// A race world on the generated data set: its own home folder, the tracks of the game folder.
#pragma once

#include "support/data_set_home.h"
#include "support/temp_data_test.h"

#include "bike/bike.h"
#include "common/ripemd160.h"
#include "forge_practice.h"
#include "common/common.h"
#include "common/ripemd160.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "track/track.h"
#include "track/track_gates.h"

#include <cmath>
#include <string>

inline double distance(vec3d a, vec3d b) { return length(a - b); }

// Every occupied slot's bike state, in slot order.
inline std::string race_digest() {
    ripemd160_state h;
    ripemd160_init(h);
    for (int slot = 0; slot < k_max_riders; slot++)
        if (race_slot(slot).bike >= 0) bike_digest_update(h, race_slot(slot).bike);
    uint8_t d[20];
    ripemd160_final(h, d);
    return ripemd160_hex(d);
}

class race_world : public TempDataTest {
  protected:
    void SetUp() override {
        TempDataTest::SetUp();
        use_generated_data_set();
        // The cache remembers a shape file it could not read; a test without the data set may
        // have left such an empty shape behind.
        bike_tables_free();
        track_list_scan();
        setup_reset();
        world_create();
        race_shutdown();
        race_set_calendar([] { return 1700000000L; });
    }
    void TearDown() override {
        race_shutdown();
        world_destroy();
        track_unload();
        track_set_current(nullptr);
        track_list_free();
        shape_cache_free();
        TempDataTest::TearDown();
    }
    // A race on the track with the lineup given in slot order (the rest empty).
    bool start(const char* track, std::initializer_list<int> codes, int laps = 2,
               int minutes_tics = 0) {
        race_start_params p;
        p.track = track;
        p.laps = laps;
        p.time_limit_tics = minutes_tics;
        return race_start_lineup(p, codes.begin(), static_cast<int>(codes.size()));
    }
    static vec3d frame_of(int slot) { return bike_frame_position(race_slot(slot).bike); }
    // Where the bike's construction origin (between the wheels on the ground) now is.
    static vec3d placed_at(int slot) {
        int bike = race_slot(slot).bike;
        vec3 fp = bike_info_of(bike).frame_position;
        return bike_body_point(bike, body_frame, {-fp.x, -fp.y, -fp.z});
    }
};

// Rides the practice circle clockwise: from the grid towards the circle's north point, then round
// it, aiming 40 ft ahead along the circle at about 25 mph.
inline rider_input circle_rider(int bike, int tics_since_drop, bool before_first_gate) {
    rider_input in;
    if (tics_since_drop < 0) {
        in.clutch = 0;
        return in;
    }
    vec3d p = bike_frame_position(bike);
    double dx = p.x - k_practice_circle_x, dz = p.z - k_practice_circle_z;
    double around = std::atan2(dx, -dz); // 0 at the north point, growing clockwise
    double tx, tz;
    if (before_first_gate && around < -0.35) {
        tx = k_practice_circle_x + 10;
        tz = k_practice_circle_z - k_practice_circle_radius;
    } else {
        double a = around + 40 / k_practice_circle_radius;
        tx = k_practice_circle_x + k_practice_circle_radius * std::sin(a);
        tz = k_practice_circle_z - k_practice_circle_radius * std::cos(a);
    }
    vec3d forward = bike_forward(bike);
    double wx = tx - p.x, wz = tz - p.z;
    double cross_y = forward.z * wx - forward.x * wz, along = forward.x * wx + forward.z * wz;
    double error = -std::atan2(cross_y, along); // positive: the target lies to the right
    in.steer = static_cast<float>(std::clamp(1.5 * error, -1.0, 1.0));
    in.clutch = std::min(1.0f, tics_since_drop / 128.0f);
    float mph = bike_speed_mph(bike);
    in.throttle = tics_since_drop < 32 ? 0.3f : mph < 25 ? 0.8f : 0.2f;
    float shift_rpm = bike_info_of(bike).auto_upshift_rpm;
    if (in.clutch >= 1 && engine_rpm(bike) > shift_rpm && bike_gear(bike) < 2 &&
        tics_since_drop % 16 == 0)
        in.shift = 1;
    return in;
}

class race_run : public race_world {
  protected:
    // Rides slot 0 round the circle until the results are final or `limit` tics have passed.
    void ride_circle(int limit) {
        int bike = race_slot(0).bike;
        for (int t = 0; t < limit && !race_results_done(); t++) {
            rider_input_set(0, circle_rider(bike, race_clock() - race_gate_drop_tic(),
                                            timing_of(0).position == 0));
            race_world_tic();
            ASSERT_FALSE(knocked_off(bike)) << "at tic " << race_clock();
        }
    }
    std::string results_file() { return read(home / "results.txt"); }
    std::string state_digest() {
        ripemd160_state s;
        ripemd160_init(s);
        for (int slot = 0; slot < k_max_riders; slot++) {
            if (race_slot(slot).bike < 0) continue;
            compact_state c = compact_state_encode(race_slot(slot).bike);
            ripemd160_update(s, c.bytes, sizeof c.bytes);
        }
        uint8_t d[20];
        ripemd160_final(s, d);
        return ripemd160_hex(d);
    }
};
