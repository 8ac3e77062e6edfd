// The track list and the loaded track.
#pragma once

// Finds every track folder; returns how many there are.
int track_list_build();
void track_list_free();
// The name of the loaded track, or nullptr when none is loaded.
const char* track_current();
// Marks a track as loaded (nullptr: none), as the loader does when it has read one.
void track_set_current(const char* name);
void track_free();
// Gates of the first lap and of every later lap (0 when the track has none).
int track_first_lap_gates();
int track_lap_gates();
