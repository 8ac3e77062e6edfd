// A race world on the generated data set: its own home folder, the tracks of the game folder.
#pragma once

#include "support/data_set_home.h"
#include "support/temp_data_test.h"

#include "bike/bike.h"
#include "common/common.h"
#include "common/ripemd160.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "track/track.h"
#include "track/track_gates.h"

#include <cmath>
#include <string>

inline double distance(bike_vec3d a, bike_vec3d b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

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
        setup_values_reset(setup());
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
    static bike_vec3d frame_of(int slot) { return bike_frame_position(race_slot(slot).bike); }
    // Where the bike's construction origin (between the wheels on the ground) now is.
    static bike_vec3d placed_at(int slot) {
        int bike = race_slot(slot).bike;
        bike_vec3 fp = bike_info_of(bike).frame_position;
        return bike_body_point(bike, body_frame, {-fp.x, -fp.y, -fp.z});
    }
};
