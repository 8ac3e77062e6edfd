// A test fixture with its own home folder, data folder, log and messages, and small file helpers.
#pragma once

#include "common/message.h"
#include "common/not_built.h"
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

struct TempDataTest : ::testing::Test {
    fs::path root, home, data;

    // Folders named after the test, so parallel test processes never share them.
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("tb_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
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
        not_built_reset();
        files_free();
        messages_clear();
    }
    void TearDown() override {
        files_free();
        set_debug_level(0);
        log_reset();
        unsetenv("TAVO_LOGFILE");
        unsetenv("QV_HOME");
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(root);
    }

    // A "terrain.hf" of flat ground at height 0: 2^(e+1) + 1 samples a side, `cell` ft apart.
    static std::string flat_terrain_hf(int e, float cell) {
        const size_t n = (size_t{1} << (e + 1)) + 1;
        std::string hf = std::to_string(e) + " " + std::to_string(cell) + " 0 10 :";
        hf.append(n * n * 2, '\0');
        return hf;
    }
    static void write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // The ground files of a flat track folder: 2^(e+1) + 1 samples a side 1 ft apart, grey
    // shading and one surface type.
    static void write_flat_ground(const fs::path& dir, int e) {
        const int n = (1 << (e + 1)) + 1;
        write(dir / "terrain.hf", flat_terrain_hf(e, 1));
        std::string ppm = "P6\n" + std::to_string(n) + " " + std::to_string(n) + "\n255\n";
        ppm.append(static_cast<size_t>(n) * n * 3, char(128));
        write(dir / "shading.ppm", ppm);
        write(dir / "texturelist", "1.0 5.0 15.0 nothing.png\n");
        write(dir / "tilemap", std::string(static_cast<size_t>(1 << e) * (1 << e), '\0'));
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
};
