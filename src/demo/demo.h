// Demo recording and playback: recording every race, playing a demo back or racing against it,
// the time trial's ghost, seeking, the demo list, and what drawing and sound ask of demo riders.
#pragma once

#include <cstdint>
#include <string>

constexpr const char* k_demo_default_file = "@demos/default.qvdemo";
constexpr const char* k_demo_last_lap_file = "lastlap.qvdemo";    // in "@<track>/"
constexpr const char* k_demo_fastest_lap_file = "fastlap.qvdemo"; // in "@<track>/"
constexpr int k_demo_backups_max = 100;
constexpr int k_demo_save_name_max = 1023; // characters, with the extension

// Registers recording and playback with race control. demo_shutdown closes every demo file
// (a recording is kept under its save name) and unregisters them.
void demo_init();
void demo_shutdown();

// The Playback Race list: every indexed file "demos/<name>.qvdemo".
struct demo_list_entry {
    std::string name; // without folder and extension
    std::string file; // "@demos/<name>.qvdemo"
};
void demo_list_build();
// A recording made since the list was built joins it ("@demos/<name>.qvdemo").
void demo_list_note(const std::string& file);
int demo_list_count();
const demo_list_entry& demo_list_at(int i);
void demo_list_free();

// Names the demo the next race that plays one opens (a file named on the command line): true
// when it is a demo, whose track folder is given back.
bool demo_open_playback(const char* name, std::string* track = nullptr);
void demo_close_playback();
// A demo is being played (its riders posed from it), and its format version.
bool demo_playing();
int demo_playing_version();

// The Playback Race page's start: every grid place takes a demo rider ("Playback Only"), or one
// place takes the local rider ("Race Against") and the race is recorded when asked.
enum demo_playback_mode { demo_playback_only = 0, demo_race_against = 1 };
struct demo_race_choice {
    demo_playback_mode mode = demo_playback_only;
    int local_place = 0; // the first grid place chosen as "Human"
    bool record = false; // the "Record Demo" setting
    int demo_backups = 0;
    int skill = 0;
};
bool demo_play_race(const char* name, const demo_race_choice& choice);

// Moves a pure playback (only demo riders on the track, nothing recorded) by whole seconds:
// forward by running the tics (always in version 6, or with accurate_skip), otherwise by
// jumping the reader and the clock and taking back later crossings.
void demo_seek(int seconds, bool accurate_skip);

bool demo_recording();
// Closes the recording now, keeping all it holds; the race goes on unrecorded (a server's race
// that the server left).
void demo_stop_recording();
// "namedemo": the name the recording is kept under in "demos/" once it closes; replies with a
// message.
void demo_name_recording(const char* name);
// What the race server sends during a recorded race, written as blocks stamped with the clock.
void demo_record_message(const char* text, int length);
void demo_record_erode(int value);
void demo_record_terrain_edit(const uint8_t* bytes, int size);

// How opaque a demo rider is drawn offline: invisible within half the fade distance of the
// first rider not from the demo, whole beyond it. 1 for every other rider.
float demo_ghost_opacity(int slot, float fade_distance);
// A demo rider's engine volume: 0 once the records of an old-format demo ran out for it.
float demo_rider_volume(int slot);
