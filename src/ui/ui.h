// HUD, menu pages, text and fonts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

void hud_pictures_load();
// The title picture behind the menus (0 when it could not be loaded).
uint32_t hud_picture_title();
uint32_t hud_picture_logo();

// The followed rider's timing board.
struct hud_board {
    std::string number; // the rider's number
    int laps_completed = 0;
    int place = 0;        // in the running order, 1 the leader; 0 when not in it
    float gap = 0;        // s to the neighbour at the last crossing both made; positive ahead
    float last_lap = 0;   // s, 0 while there is none to show
    float best_lap = 0;   // s, 0 while there is none
    float lap_clock = -1; // s into the time trial's lap under way, -1 before its start line
};

// What colours a rider's square on the map.
enum hud_marker_kind { marker_rider, marker_leader, marker_finished };

struct hud_map_marker {
    float x = 0, z = 0; // ft, on the terrain
    hud_marker_kind kind = marker_rider;
};

// The track map with every rider on it.
struct hud_map {
    uint32_t texture = 0;               // 0 for a track without a map
    float extent = 0;                   // ft, the terrain's side
    std::vector<hud_map_marker> riders; // the others, in the order drawn (the last placed first)
    float x = 0, z = 0;                 // ft, the followed rider
    float heading_x = 0, heading_z = 0; // the followed rider's forward on the terrain
};

// The start title over the first seconds of a race.
struct hud_title {
    float race_seconds = 0; // s since the race reset; the title fades out over them
    std::string track;      // the track's display name
    std::string length;     // "5 laps", "20 minutes", ...
    std::string series;     // an event of a points series: its title replaces the other two
};

// One row of the results table.
struct hud_result_row {
    int slot = -1;
    bool finished = true;
    std::string position, number, lap, gap, time, best_time, best_lap;
};

// The results table, shown once the leader has finished.
struct hud_results {
    std::vector<hud_result_row> rows;
    bool final_results = false;         // "Final Results", else "Unofficial Results"
    float total_seconds = 0;            // s, the winner's race time, with final results
    std::vector<std::string> penalties; // a line per rider penalized, with final results
    std::string outcome;                // the local rider's own place, or that it rides on
    std::string next;                   // what the player does next
};

// The running-order ticker and its lap box.
struct hud_ticker {
    std::vector<std::string> entries; // one per rider in the running order
    int leader_laps = 0;              // laps the leader has completed
    int race_laps = 0;
};

// Everything the HUD shows in one frame; the frame loop fills it and the HUD reads nothing else
// (besides its own pictures, switches and telemetry).
struct hud_frame {
    int width = 640, height = 480; // px
    int viewed_slot = 0;           // the followed rider
    bool broadcast = false;        // trackside view: the running-order ticker and lap box
    bool draw_fps = false, draw_time = false, draw_ping = false, draw_speed = false;
    bool lean_indicator = false;
    float map_scale = 1;
    bool time_trial = false;
    bool track_loaded = false;  // the title, the results and the ticker need a track
    bool has_gates = false;     // the board, the lapping warning and the results need gates
    bool followed_live = false; // the followed rider is on a live bike: board, dial, lean, map

    hud_board board;
    std::string lapping; // the lapping warning, "" for none
    int gear = 0;        // the tachometer's gear index
    float rpm = 0;       // rev/min
    float lean = 0;      // rad, negative leaning right
    hud_map map;
    hud_title title;

    // The status lines, top down: each shown when its switch is on.
    int fps = 0;
    std::string race_time; // "Time - ..." with a track loaded
    bool online = false;
    int ping_ms = 0, offset_ms = 0;
    float speed_mph = 0;                         // the followed rider's
    std::vector<std::string> render_stats_lines; // empty unless "--draw-render-stats"
    bool dabbing = false;                        // sticky dab latched with the rider up
    std::vector<std::string> messages;           // the message lines shown, oldest first

    hud_results results;
    hud_ticker ticker;
    double real_time = 0; // s, the running clock, for the ticker's scroll
};
void hud_draw(const hud_frame& frame);
// The suspension graph over the rider's and the orbit views.
void hud_graphs_draw();

// Display switches of the HUD that are not settings.
bool hud_graph_on();     // "togglegraph"
bool hud_telemetry_on(); // the telemetry overlay of the followed rider
void hud_set_graph(bool on);
void hud_set_telemetry(bool on);

// One end of the suspension as the graph takes it.
struct hud_suspension_sample {
    float position = 0;        // travel fraction 0..1
    float speed = 0;           // ft/s
    float low_speed_share = 0; // share of the damping the low-speed circuit carries
};

// The followed rider in one world tic, as the telemetry takes it.
struct hud_telemetry_sample {
    int slot = -1;            // the rider it was taken from
    float speed = 0;          // mph, unsigned
    float throttle = 0;       // 0..1; the recorded throttle for a rider whose controls are not ours
    float front_brake = 0;    // 0..1
    float rear_brake = 0;     // 0..1
    bool brakes_known = true; // false for a recorded or remote rider, whose levers are not sent
    int gear = 0;             // gear index
    hud_suspension_sample fork, shock;
};
// Takes one tic into the suspension rings while the graph is on and into the overlay's traces
// while the overlay is on.
void hud_telemetry_capture(const hud_telemetry_sample& sample);
void hud_telemetry_clear();
// Back to the start-up state: switches off, rings cleared.
void hud_reset();

// The driver's vendor, renderer and version, and whether it offers a GL extension.
std::string ui_driver_info();
bool ui_gl_extension(const char* name);
// Text centred across the screen, `below` units under the centre.
void draw_centered_text(const char* text, float height, float below);
