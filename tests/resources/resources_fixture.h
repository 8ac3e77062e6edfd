// A temporary home folder and data folder per test, with clean texture and model caches.
#pragma once

#include "resources/resources.h"

#include "common/message.h"

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <string>

struct ResourcesTest : TempDataTest {
    void SetUp() override {
        TempDataTest::SetUp();
        textures_free();
        models_free();
        texture_set_detail(0, 1);
        model_set_lod(0, 1);
    }
    void TearDown() override {
        textures_free();
        models_free();
        TempDataTest::TearDown();
    }
    // Whether any of the newest messages is exactly this text.
    static bool shown(const std::string& text, int newest = 10) {
        for (int i = 0; i < newest; i++)
            if (message_recent(i) == text) return true;
        return false;
    }
};

// A picture with no smooth areas, so preparing it drops no detail.
inline image noisy_picture(int width, int height, int channels, uint32_t seed = 1) {
    image im;
    image_allocate(&im, width, height, channels);
    uint32_t x = seed;
    for (uint8_t& p : im.pixels) {
        x = x * 1664525u + 1013904223u;
        p = static_cast<uint8_t>(x >> 24);
    }
    return im;
}

inline std::string png_of(const image& im, const std::string& text = "") {
    std::string bytes;
    image_encode_png(im.pixels.data(), im.width, im.height, im.channels, text, &bytes);
    return bytes;
}
