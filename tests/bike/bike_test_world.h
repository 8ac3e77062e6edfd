// A rigid-body world with one bike for the simulation tests, and helpers they share.
#pragma once

#include "bike/sim/bike_local.h"
#include "bike/bike_data.h"
#include "bike/sim/bike_local.h"

#include <gtest/gtest.h>

#include <cmath>

// Each test gets a fresh world holding one cr125, hung from the world by its frame when asked.
class bike_world_test : public ::testing::Test {
  protected:
    void SetUp() override {
        world_create();
        bike = bike_create("cr125", 7, "12", "", "", "", "");
    }
    void TearDown() override {
        world_destroy();
        shape_cache_free();
    }
    // Fixes the frame to the world where it is, so the bike can be run without ground.
    void hang() {
        hanger = dJointCreateFixed(world_id(), nullptr);
        dJointAttach(hanger, bike_at(bike).bodies[body_frame], nullptr);
        dJointSetFixed(hanger);
    }
    bike_state& state() { return bike_at(bike); }
    dBodyID body(int i) { return bike_at(bike).bodies[i]; }
    const bike_info& info() { return bike_info_at(bike_at(bike).catalogue_index); }

    int bike = -1;
    dJointID hanger = nullptr;
    bike_tic now; // the race clock and rules the bike is prepared under
};
