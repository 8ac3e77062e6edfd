// The user's settings, the setting records the config file and the menus share, the working
// graphics values derived from them, and the config and bike setup files.
#pragma once

#include <string>
#include <vector>

constexpr int k_lineup_gates = 40;              // "slot00" ... "slot39"
constexpr int k_server_history = 16;            // "server_name_hist00" ... "server_name_hist15"
constexpr int k_server_name_max = 127;          // characters
constexpr int k_server_history_entry_max = 126; // characters; a longer entry is dropped
constexpr int k_config_line_max = 1023;         // bytes of one "key=value" line
// Where a player joins when nothing else was named: a race server on this machine.
constexpr const char* k_default_server = "localhost";

// Every value the config file holds besides the setup lines and the bindings. Choices hold the
// index of their selected item. The 13 graphics settings start from the "Compatibility" preset.
struct settings {
    int xres = 640; // px, the window's width in windowed mode
    int yres = 480; // px
    int draw_fps = 0;
    int draw_time = 0;
    int draw_ping = 1;
    int draw_speed = 0;
    int spy = 0;
    std::string track = "rabbithill";
    int record = 0;     // "Record Demo": No, Yes
    int skill = 0;      // "Robot Skill": Novice, Amateur, Expert
    double minutes = 0; // race time limit
    double laps = 5;
    int slots[k_lineup_gates] = {};  // "Gate n": Empty, Human, Robot, Robot (2 stroke), (4 stroke)
    double ghost_fade_distance = 10; // ft
    int time_trial_abort = 1;        // No, Yes
    int video_mode = 0;              // item of the video mode list, "Default Fullscreen"
    std::string server_name = k_default_server;
    std::string server_history[k_server_history]; // newest first
    double ground_detail = 70;
    double ground_texture_detail = 9;
    int ground_texture_dim = 1; // 32x32 ... 1024x1024
    int ground_mipmaps = 1;
    int texture_compress = 0; // No, Yes, Always
    int render_texture =
        0; // Software, Hardware/Copy, Hardware/Direct, Shaders/Copy, Shaders/Direct
    int use_shader = 1;
    double roost_density = 1000;
    double reshade_delay = 8; // the ground refreshes a block every 2^n frames
    int lens_flare = 1;
    int reflections = 1;
    int hide_rider = 0;
    int rigid_camera = 0;
    double model_detail = 50;
    double model_texture_detail = 9;
    double fov = 110;                  // degrees
    double first_person_height = 0;    // ft
    double first_person_angle = 0;     // degrees
    double third_person_height = 5;    // ft
    double third_person_distance = 10; // ft
    double volume = 10;                // 0..10
    double comp_volume = 8;            // 0..10
    int playback_mode = 0;             // "Playback Only", "Race Against"
    int billboard_optimize_lookahead = 8;
    int message_lines = 5;
    int demo_backups = 0; // earlier recordings kept
    double map_scale = 1;
    int use_fbo = 1;         // read from old files only, into render_texture
    int history_cursor = -1; // browsing position in server_history, -1 the typed text; not saved
};

const settings& config();
// Back to the defaults: the built-in values, the "Compatibility" graphics preset, the default
// bindings.
void config_reset();

// The four kinds of setting record.
enum setting_kind {
    setting_kind_integer,
    setting_kind_choice,
    setting_kind_slider,
    setting_kind_text
};

// One config key: its menu label, kind, range or items, and where its value lives. A numbered
// key ("slot%02d") stands for `count` keys numbered from 00, labelled from 1 ("Gate %d").
struct setting_record {
    const char* key;
    const char* label;
    setting_kind kind;
    int count;
    double step;    // sliders
    double minimum; // sliders and integers: every value set is clamped to the range
    double maximum;
    const char* const* items; // choices with fixed items
    int item_count;
    int (*built_item_count)(); // choices whose items are built at run time
    const char* (*built_item)(int item);
    int max_length;     // texts: characters kept
    bool refuse_longer; // texts: a longer value is refused instead of cut
    bool written;       // false for a key accepted from old files and never written
    int* (*integer)(settings&, int number);      // integers and choices
    double* (*real)(settings&, int number);      // sliders
    std::string* (*text)(settings&, int number); // texts
    void (*after_read)(settings&);               // what reading the key also changes
};

// The records in the order the config file holds them.
int setting_count();
const setting_record& setting_at(int i);
// The record of a config key ("fov", "slot07"), with the number of a numbered key; nullptr
// when no key has that name.
const setting_record* setting_find(const char* key, int* number);
// "slot07" for number 7 of "slot%02d"; "Gate 8" for its label.
std::string setting_key(const setting_record& r, int number);
std::string setting_label(const setting_record& r, int number);
int setting_item_count(const setting_record& r);
const char* setting_item(const setting_record& r, int item);

// An integer, a choice's index or a slider's value.
double setting_number(const settings& s, const setting_record& r, int number);
// Sets an integer, choice or slider, clamped to its range (a choice to its items); a value
// that is not a finite number leaves it as it was.
void setting_set_number(settings& s, const setting_record& r, int number, double value);
const std::string& setting_text(const settings& s, const setting_record& r, int number);
// Sets a text, cut at its maximum length; false when it is refused.
bool setting_set_text(settings& s, const setting_record& r, int number, const char* text);
// Reads a value as the config file gives it; false when it cannot be used (not a number, no
// item of that label, a text too long for a record that refuses it) and nothing changed.
bool setting_read(settings& s, const setting_record& r, int number, const char* value);
// The value as the config file holds it ("%d", "%f", the item's label, the text).
std::string setting_value_text(const settings& s, const setting_record& r, int number);

// Numbers as the config file reads them, "%d" and "%f": leading white space, then a number
// (an integer beyond the int range saturates; a real must be finite). False when there is none.
bool config_scan_int(const char* text, int* out);
bool config_scan_real(const char* text, float* out);

// The server history: a new address goes first and the rest move down one place (the last
// is dropped), unless it is empty or already first; the browsing position goes back to the
// typed text.
void server_history_push(settings& s, const std::string& address);

// The graphics presets of the Graphics/Sound Setup page, in its order: "Compatibility",
// "High FPS", "Normal", "High Detail".
constexpr int k_graphics_preset_count = 4;
const char* graphics_preset_name(int preset);
// Copies a preset into the 13 graphics settings.
void graphics_preset_apply(settings& s, int preset);
// The preset the 13 graphics settings equal, or -1 ("Custom").
int graphics_preset_matching(const settings& s);

// The working graphics values: derived from the settings after the config file is read, then
// overridden by the command line for this run; the features read these, not the settings.
struct graphics_working {
    float terrain_lod_factor = 0;  // ground error per distance
    int ground_texture_skip = 0;   // ground texture levels not composed
    int ground_texture_size = 64;  // texels of a ground texture tile
    float model_lod_scale = 0;     // model level-of-detail distance scale
    float model_lod_bias = 0;      // ft
    int model_texture_skip = 0;    // mip levels skipped when loading model textures
    int texture_compress_mode = 0; // 0 never, 1 per file, 2 always
    int roost_frequency = 1000;    // hundredths of a particle batch per tic
    int reflections_on = 1;
    float detail_full_distance = -1; // ft; "--max-detail-distance", below 0 the terrain's own
    float detail_fade_distance = -1; // ft
};
graphics_working graphics_derive(const settings& s);
const graphics_working& graphics();

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
// Selects an item; an index outside the list changes nothing.
void video_mode_select(int item);
// The selected item: windowed, or fullscreen in its size (0 by 0 the desktop's mode).
bool video_mode_windowed();
const video_mode_item& video_mode_selected();
// The item the window is in now (the window was made or switched to it); until then the
// selected one. Only a window in the "Windowed" item keeps its size as "xres" and "yres".
void video_mode_set_current(int item);
bool video_mode_current_windowed();

// The config file "@config": read from the first folder that has it at start-up, written to
// the home folder at shut-down, replacing the old file only once the new one is whole. A line
// that cannot be used is logged with its line number and skipped.
void read_config();
// False when the file could not be written whole (the old one is then kept).
bool write_config();
// Writes the config only when it would differ from what this run wrote last (the menus
// closing after a change): a crash or a kill later keeps the change.
bool write_config_if_changed();
// A bike setup file ("readsetup", "writesetup"): only the 57 setup lines. False when it
// cannot be read or written; writing replaces the file only once the new one is whole.
bool read_setup_file(const char* name);
bool write_setup_file(const char* name);
