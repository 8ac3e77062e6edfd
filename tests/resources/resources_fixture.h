// A temporary home folder and data folder per test, with clean texture and model caches.
#pragma once

#include "resources/resources.h"

#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

struct ResourcesTest : ::testing::Test {
    fs::path root, home, data;

    void SetUp() override {
        root = fs::temp_directory_path() /
               ("tb_resources_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        home = root / "xdg" / "Trailbok";
        data = root / "data";
        fs::create_directories(home);
        fs::create_directories(data);
        setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
        setenv("QV_HOME", data.c_str(), 1);
        setenv("TAVO_LOGFILE", (root / "log.txt").c_str(), 1);
        log_reset();
        files_free_all();
        messages_clear();
        textures_delete_all();
        models_delete_all();
        texture_set_detail(0, 1);
        model_set_lod(0, 1);
    }
    void TearDown() override {
        textures_delete_all();
        models_delete_all();
        files_free_all();
        log_reset();
        set_debug_level(0);
        unsetenv("TAVO_LOGFILE");
        unsetenv("QV_HOME");
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(root);
    }

    static void write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string log_text() {
        log_close();
        return read(root / "log.txt");
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
