// What the demo folder's own files share: the recorder and the playback as the race reaches them.
#pragma once

#include "demo/demo.h"
#include "race/race.h"

#include <string>

// "@<track>/<file>": a time-trial demo of the loaded track.
std::string demo_lap_file(const char* file);

// Recording: a normal race ("@demos/default.qvdemo" after the backups move along), or the
// time trial's lap.
void recording_start_race();
void recording_start_lap();
// Closes the recording; a normal one then moves to its save name.
void recording_stop();
// Samples every local and robot rider each 4 tics and writes a block each 16 (at once with force).
void record_tic(bool force);
// The lap just recorded becomes the track's fastest lap.
void recording_keep_as_fastest();

// Playback of the race's demo or the time trial's ghost.
void playback_open_race(race_start_params& params, int* gate_drop_tic);
void playback_open_ghost();
void playback_close();
int playback_create_rider(int slot);
// Reads what the demo has for the tics just after the race's start.
void playback_first_read();
void playback_tic();
int playback_pose_version(int slot);
// The file playing, "" when none.
const std::string& playback_file();
