// A generated track loaded once for a whole test suite, behind a home folder of the suite's own.
#pragma once

#include "support/data_set_home.h"

#include "track/track.h"

#include <cstdio>
#include <filesystem>
#include <string>

// The track list scanned and the track in folder loaded; false when it did not load.
inline bool track_suite_open(std::filesystem::path& home, const char* tag, const char* folder) {
    home = data_set_home_open(tag);
    track_list_scan();
    return track_load(folder);
}

inline void track_suite_close(const std::filesystem::path& home) {
    track_unload();
    track_list_free();
    data_set_home_close(home);
}

// The sun of a track's "lighting" file: the vector towards it (not unit length), its colour and
// the sky's; false when the file is missing or does not begin with them.
inline bool track_lighting_read(const char* folder, float sun[3], float colour[3],
                                float ambient[3]) {
    std::string text;
    if (!file_to_string(("@" + std::string(folder) + "/lighting").c_str(), &text)) return false;
    return sscanf(text.c_str(),
                  "sun_vector [ %f %f %f ] sun_color [ %f %f %f ] ambient [ %f %f %f ]", &sun[0],
                  &sun[1], &sun[2], &colour[0], &colour[1], &colour[2], &ambient[0], &ambient[1],
                  &ambient[2]) == 9;
}
