// A race world on the generated data set: its own home folder, the tracks of the game folder.
#pragma once

#include "support/temp_data_test.h"

#include "bike/bike.h"
#include "bike/bike_info.h"
#include "bike/bike_local.h"
#include "bike/bike_setup.h"
#include "bike/bike_shape.h"
#include "bike/bike_sim.h"
#include "bike/bike_snapshot.h"
#include "common/common.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "track/track.h"
#include "track/track_gates.h"

class race_world : public TempDataTest {
  protected:
    void SetUp() override {
        TempDataTest::SetUp();
        setenv("QV_HOME", TB_GAME_DIR, 1);
        files_free_all();
        // The cache remembers a shape file it could not read; a test without the data set may
        // have left such an empty shape behind.
        shape_cache_free();
        track_list_scan();
        setup_values_reset(setup());
        world_create();
        race_clear_slots();
        for (int slot = 0; slot < k_max_riders; slot++) rider_input_set(slot, rider_input{});
        race_set_calendar([] { return 1700000000L; });
    }
    void TearDown() override {
        race_clear_slots();
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
        int* lineup = race_lineup();
        for (int i = 0; i < k_lineup_size; i++) lineup[i] = 0;
        int i = 0;
        for (int code : codes) lineup[i++] = code;
        race_start_params p;
        p.track = track;
        p.laps = laps;
        p.time_limit_tics = minutes_tics;
        return race_start(p);
    }
    static bike_vec3d frame_of(int slot) { return bike_frame_position(race_slot(slot).bike); }
    // Where the bike's construction origin (between the wheels on the ground) now is.
    static bike_vec3d placed_at(int slot) {
        const bike_state& b = bike_at(race_slot(slot).bike);
        bike_vec3 fp = bike_info_at(b.catalogue_index).frame_position;
        dVector3 out;
        dBodyGetRelPointPos(b.bodies[body_frame], -fp.x, -fp.y, -fp.z, out);
        return {out[0], out[1], out[2]};
    }
};
