// One bike on the generated practice field, driven tic by tic from a small input script.
#pragma once

#include "bike/bike_data.h"
#include "bike/contact/bike_contact.h"
#include "bike/rider/bike_rider.h"
#include "bike/sim/bike_local.h"

#include "forge_practice.h"
#include "terrain/terrain.h"

#include "support/track_suite.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>

// Test names for suites run over catalogue bikes: "crf450(2018)" becomes "crf450_2018_".
struct catalogue_test_name {
    std::string operator()(const ::testing::TestParamInfo<const char*>& p) const {
        std::string name = p.param;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    }
};

// How a scenario's bike is set up: the player's setup as start-up leaves it (the stability
// preset at 100), with arcade physics on or off.
enum ride_mode { ride_arcade, ride_simulation };

inline void use_player_setup(int bike, ride_mode mode) {
    setup_values v;
    setup_values_reset(v);
    v.choice[key_arcade] = mode == ride_arcade ? 1 : 0;
    bike_params p = bike_at(bike).params;
    setup_apply_values(v, bike_info_at(bike_at(bike).catalogue_index), p);
    bike_set_params(bike, p);
}

// A catalogue bike ridden in one mode: "cr125" in simulation mode is "cr125_simulation".
using bike_in_mode = std::tuple<const char*, ride_mode>;
struct bike_in_mode_name {
    std::string operator()(const ::testing::TestParamInfo<bike_in_mode>& p) const {
        std::string name = catalogue_test_name()({std::get<0>(p.param), p.index});
        if (name.back() != '_') name += '_';
        return name + (std::get<1>(p.param) == ride_arcade ? "arcade" : "simulation");
    }
};
// The default bike, a two-stroke 125 and a 450 four-stroke, each in both modes.
inline auto bikes_in_both_modes() {
    return ::testing::Combine(::testing::Values("yz250f(2017)", "cr125", "crf450(2018)"),
                              ::testing::Values(ride_arcade, ride_simulation));
}

// A step of an input script: these controls from tic `from` on.
struct script_step {
    int from; // tics
    rider_input input;
};

class ride_world : public ::testing::Test {
  protected:
    static inline std::filesystem::path home;
    static inline bool loaded = false;

    static void SetUpTestSuite() { loaded = track_suite_open(home, "tb_ride_", k_practice_folder); }
    static void TearDownTestSuite() {
        shape_cache_free();
        track_suite_close(home);
    }
    void SetUp() override { ASSERT_TRUE(loaded); }
    void TearDown() override { world_destroy(); }

    // A fresh world with one bike standing at (x, z), turned by `yaw` about the vertical
    // (0 faces -z, -pi/2 faces +x).
    void start(const char* name, double x, double z, double yaw) {
        world_destroy();
        world_create();
        bike = bike_create(name, 0, "1", "", "", "", "");
        if (yaw != 0) bike_place(bike, {0, 1, 0}, yaw);
        bike_translate(bike, {x, contact_ground_height(float(x), float(z)), z});
        clock = bike_tic{};
        bike_prepare(bike, clock);
    }
    // One race tic: controls, contacts, the step, then the bike's work for the next one.
    void tic(const rider_input& in) {
        rider_input_apply(bike, in);
        bike_collide_world(bike, clock);
        world_step();
        clock.tic++;
        bike_prepare(bike, clock);
    }
    // Runs the script until tic `until` (counted from now), calling `watch` after each tic.
    template <typename F> void run(const script_step* steps, int count, int until, F watch) {
        for (int t = 0; t < until; t++) {
            const rider_input* in = &steps[0].input;
            for (int i = 0; i < count; i++)
                if (t >= steps[i].from) in = &steps[i].input;
            tic(*in);
            watch(t);
        }
    }
    bike_state& state() { return bike_at(bike); }
    dBodyID body(int i) { return bike_at(bike).bodies[i]; }
    vec3d position(int i) { return vec_of(dBodyGetPosition(body(i))); }
    vec3d velocity(int i) { return vec_of(dBodyGetLinearVel(body(i))); }
    double speed() { return length(velocity(body_frame)); }

    int bike = -1;
    bike_tic clock; // the race clock and rules the tests ride under
};
