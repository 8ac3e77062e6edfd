// A temporary home folder and data folder for terrain tests that read and write track files.
#pragma once

#include "terrain/terrain.h"

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <string>

struct TerrainFilesTest : TempDataTest {
    void SetUp() override {
        TempDataTest::SetUp();
        ground_free();
    }
    void TearDown() override {
        ground_free();
        TempDataTest::TearDown();
    }
};
