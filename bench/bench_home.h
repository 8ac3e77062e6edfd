// A benchmark's own home folder in front of the generated data set, and the track list read.
#pragma once

#include "bike/bike.h"
#include "files/data_file.h"
#include "track/track.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// Results and the log go to a home folder of the run's own, named by the tag and the process;
// the setup starts from its defaults. The target defines TB_GAME_DIR.
inline std::filesystem::path bench_home_open(const std::string& tag) {
    namespace fs = std::filesystem;
    fs::path home = fs::temp_directory_path() / (tag + std::to_string(getpid()));
    fs::create_directories(home);
    setenv("QV_HOME", TB_GAME_DIR, 1);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    files_free();
    track_list_scan();
    setup_reset();
    return home;
}
