// Track list and loading; tracks arrive with the track loader.
#include "track/track.h"

#include <string>

namespace {
struct track_state {
    bool loaded = false;
    std::string name;
};
track_state g_track;
}

int track_list_build() { return 0; }
void track_list_free() {}
const char* track_current() { return g_track.loaded ? g_track.name.c_str() : nullptr; }

void track_set_current(const char* name) {
    g_track.loaded = name != nullptr;
    g_track.name = name ? name : "";
}

void track_free() { track_set_current(nullptr); }
int track_first_lap_gates() { return 0; }
int track_lap_gates() { return 0; }
