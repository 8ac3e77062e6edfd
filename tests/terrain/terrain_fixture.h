// A temporary home folder and data folder for terrain tests that read and write track files.
#pragma once

#include "common/message.h"
#include "terrain/terrain.h"

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <string>

struct TerrainFilesTest : TempDataTest {
    void SetUp() override {
        TempDataTest::SetUp();
        messages_clear();
        ground_free();
    }
    void TearDown() override {
        ground_free();
        set_debug_level(0);
        TempDataTest::TearDown();
    }
};
