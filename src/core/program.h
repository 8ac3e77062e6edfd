// The program-wide state: view mode, menus, pause, the frame clocks, and the frame loop.
#pragma once

#include "core/bindings.h"
#include "core/command_line.h"
#include "core/menu.h"
#include "platform/platform.h"

#include <cstdint>

struct data_file;

constexpr const char* k_version_text = "2019-01-01-1436 snapshot";
constexpr double k_max_frame_step = 0.125; // s, 16 tics
constexpr int k_warp_tics = 100;
// "--record-audio": the readback output's rate and one tic of its samples.
constexpr int k_record_audio_rate = 88320;          // samples per second
constexpr int k_record_audio_samples_per_tic = 690; // stereo samples

enum view_mode { rider_camera, editor_view, orbit_camera, trackside_camera, title_view };

struct frame_timing {
    double last_frame_time = 0; // s, real time at the end of the previous frame's wait
    double frame_time = 0;      // s, this frame's measured time
    double target_time = 0;     // s, simulated time the loop wants to reach
    double sim_time = 0;        // s, simulated time reached
    double run_clock = 0;       // s, grows by the frame step
    uint32_t fps_histogram[8] = {};
    double min_frame_step = 1e30; // s
    double max_frame_step = 0;    // s
};

// What the frame step needs to know about the connection to a server.
struct link_state {
    bool connected = false;
    int server_tic = 0;    // newest tic the server has sent
    int local_tic = 0;     // the local race clock
    int gate_drop_tic = 0; // tic the start gate drops
};

struct program_state {
    frame_timing time;
    run_options options;
    bool quit_requested = false;
    bool paused = false;
    bool in_warmup = false;
    view_mode view = title_view;
    bool riding = false;
    int viewed_slot = 0;
    float actions[k_action_channels] = {};
    bool screenshot_requested = false; // taken from the next frame drawn
    bool cursor_held = false;
    bool sound_device = false;
    int viewport_width = 640;        // px, the window's size at the last frame begun
    int viewport_height = 480;       // px
    bool descriptor_changed = false; // the local rider's bike, number, name or graphics changed
    int64_t world_tics = 0;          // world tics run since start-up
};

const program_state& program();
// Back to the start-up defaults.
void program_reset();
// A windowed game's window size (as the last frame found it) becomes the size the window opens
// at: before the settings are written and before the window leaves for a full screen.
void window_size_remember();
// The sticky dab is latched down for the local rider.
bool local_dab_latched();
// "--record-audio": the recording's file opened for writing (false when it can't be), and closed.
bool audio_recording_open(const char* path);
void audio_recording_close();

// Runs the whole program: start-up, the frame loop, shut-down. Returns the exit status.
// Starts joining the server the options name, with the options' password and test aids.
bool program_connect(double now);
int program_main(int argc, const char* const* argv, const platform_backend& backend);

// One frame of the loop; false when the loop should end.
bool frame_once();
// Waits as the frame step requires and returns the step; sets time.frame_time.
double frame_step_wait(frame_timing& time, const run_options& options, const link_state& link);
// The connected step scaling that lets the local clock follow the server's.
double frame_step_scale(double step, const link_state& link);
// Counts a frame gap into the histogram bins of 1, 2, 4 ... 64 tics and the rest.
void fps_histogram_count(uint32_t histogram[8], double gap);
// Runs tics until simulated time has caught up with the target.
void run_tics();
// One tic: this tic's events, actions, controls, the network and the world.
void run_one_tic();
void handle_event(const platform_event& event);
// One world tic (the race), as the tic loop and the step key run it.
void world_tic();
// Recomputes riding and forces the view mode, before a frame is drawn.
void fix_view_mode();
