// A test fixture that loads a small flat track of its own ("field") with the object files a test
// gives, and unloads everything the track loaded afterwards.
#pragma once

#include "support/temp_data_test.h"

#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_objects.h"

#include <initializer_list>
#include <string>
#include <utility>

struct FlatTrackTest : TempDataTest {
    static constexpr int k_field_exponent = 6; // 129 samples a side, 1 ft apart

    void SetUp() override {
        TempDataTest::SetUp();
        objects_free();
        timing_gates_clear();
    }
    void TearDown() override {
        track_unload();
        track_list_free();
        objects_free();
        timing_gates_clear();
        ground_free();
        TempDataTest::TearDown();
    }

    // The flat field with one surface type, and the given files written over its own.
    void make_track(std::initializer_list<std::pair<const char*, std::string>> files) {
        const fs::path dir = data / "field";
        write_flat_ground(dir, k_field_exponent);
        for (const auto& [name, text] : files) write(dir / name, text);
        track_list_scan();
        ASSERT_TRUE(track_load("field")) << log_text();
    }
};
