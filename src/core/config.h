// The user's settings that the program core reads; the config file reads and writes them.
#pragma once

#include <string>
#include <vector>

struct settings {
    int xres = 640;        // px, windowed width
    int yres = 480;        // px
    int video_mode = 0;    // item of the video mode list (default "Default Fullscreen")
    bool windowed = false; // video_mode "Windowed"
    int mode_width = 0;    // px, the chosen fullscreen mode; 0 = the desktop's
    int mode_height = 0;   // px
    int spy = 0;
    std::string track = "rabbithill";
    int record = 0;    // "Record Demo": 0 No, 1 Yes
    int skill = 0;     // 0 Novice, 1 Amateur, 2 Expert
    float minutes = 0; // race time limit
    float laps = 5;
    float ghost_fade_distance = 10; // ft
    bool time_trial_abort = true;
    float fov = 110;                  // degrees
    float third_person_height = 5;    // ft
    float third_person_distance = 10; // ft
    bool rigid_camera = false;
    float volume = 10;       // 0..10
    float comp_volume = 8;   // 0..10
    int playback_mode = 0;   // 0 "Playback Only", 1 "Race Against"
    float reshade_delay = 8; // the ground refreshes a block every 2^n frames
    int message_lines = 5;
    int demo_backups = 0; // earlier recordings kept
};

settings& config();
// Back to the defaults.
void config_reset();
// The config file "@config": read at start-up, written at shut-down (replacing the old file only
// once the new one is whole). Keys the program does not hold yet are neither read nor written.
void read_config();
void write_config();

// One item of the "Video Mode" choice.
struct video_mode_item {
    std::string label; // "Default Fullscreen", "Windowed", "1024x768"
    int width;         // px, 0 for the first two
    int height;        // px
};
// Builds the items from the platform's display modes: "Default Fullscreen", "Windowed", then
// every mode of the first mode's colour depth.
void video_modes_build();
const std::vector<video_mode_item>& video_modes();
// Selects an item: the window is then windowed, or fullscreen in the item's size.
void video_mode_select(int item);
