// Tests on the generated data set: a home folder of the test's own in front of it.
#pragma once

#include "files/data_file.h"
#include "files/files.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// Reads the generator's output folder as the data folder; the folder list and the file index
// start afresh. The test target defines TB_GAME_DIR.
inline void use_generated_data_set() {
    setenv("QV_HOME", TB_GAME_DIR, 1);
    files_free();
}

// An empty home folder named by the tag and the process, in front of the generated data set.
inline std::filesystem::path data_set_home_open(const std::string& tag) {
    std::filesystem::path home =
        std::filesystem::temp_directory_path() / (tag + std::to_string(getpid()));
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    use_generated_data_set();
    return home;
}

// Forgets the folders and removes the home folder.
inline void data_set_home_close(const std::filesystem::path& home) {
    files_free();
    unsetenv("QV_HOME");
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(home);
}
