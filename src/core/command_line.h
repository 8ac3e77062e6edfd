// The command line: run options and the option table that parses them.
#pragma once

#include "core/config.h"

#include <string>
#include <vector>

// Options that hold for one run (all cleared unless stated). Options that change a setting of
// the config file or a working graphics value write it there instead.
struct run_options {
    bool sound_off = false;
    bool warp = false;
    float lock_fps = 0; // frames per second, 0 = off
    bool record_video = false;
    std::string record_audio; // file name, empty = off
    bool glfinish = false;
    float chase_center[3] = {0.0f, 2.52f, 0.52f}; // ft, in the bike's frame
    bool editor = false;
    bool show_pause_text = true;
    bool show_hud = true;
    int colour_depth = 16; // bits
    int depth_bits = 16;   // bits
    int debug = 0;         // 0, 1 "--debug", 2 "--super-debug"
    bool practice = false;
    bool ride = false;       // the local rider takes the first start place of the first race
    int learn = -1;          // -1 as configured, 0 "--nolearn", 1 "--learn"
    bool mmx_allowed = true; // as detected, until "--nommx"
    bool flat_shading = false;
    bool no_vertex_arrays = false;
    bool accurate_skip = false;
    bool print_orientation = false;
    int draw_render_stats = 0; // non-zero shows the HUD's render statistics
    int erosion_rate = -1;     // -1 unchanged, else floor(value * 1024)
    float fake_lag = 0;        // s
    int fake_loss = 0;         // percent
    int rotate_lineup = 0;
    std::string track; // requested track
    std::string server_address;
    std::string password;
    bool autopilot = false; // a scripted rider rides the local bike (a test aid)
    std::string say;        // said on the chat line once racing online (a test aid)
    std::string file;       // the file argument (a demo to play back)
    bool open_home = false; // "--open-home" was reached
};

// What the options write: the run options, the settings the config file holds (written back
// at shut-down with the option's value) and the working graphics values.
struct command_line_target {
    run_options& options;
    settings& config;
    graphics_working& graphics;
};

// A parse either succeeds or gives the message that goes to the error stream.
struct parse_result {
    bool ok = true;
    std::string error;
};

parse_result parse_command_line(int argc, const char* const* argv, command_line_target& target);
// The options the table holds, one a line, and the platform options, for "--help".
std::string command_line_help();
// Every option's name, in the order they are tried.
std::vector<std::string> command_line_option_names();
