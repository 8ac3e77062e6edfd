// Where the HUD puts its elements and how it writes what it shows: pure functions of the window
// and of plain values, shared by the drawing, the frame loop's feed and their tests.
#pragma once

#include <string>

// A rectangle of the overlay: x from -w to w, y from -1 (bottom) to 1 (top), w the window's
// aspect (width / height).
struct hud_rect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Every element's rectangle for a window of this aspect and map scale.
struct hud_layout {
    float w = 4.0f / 3; // half-width
    hud_rect board;     // timing board, top left
    hud_rect lapping;   // the lapping warning band, top centre
    hud_rect tach;      // tachometer dial, bottom right
    hud_rect gear;      // the gear digit inside the dial
    hud_rect lean;      // lean indicator, bottom centre
    hud_rect map;       // track map, top right
    hud_rect title;     // start title, centre
    hud_rect status;    // status lines and messages, left, under the board
    hud_rect graph;     // suspension graph, bottom left
    hud_rect telemetry; // telemetry overlay, above the graph
    hud_rect ticker;    // running-order ticker, bottom
    hud_rect lap_box;   // beside the ticker
    hud_rect results;   // results table, centre
    float text = 0.06f; // glyph height of the status lines
};
hud_layout hud_layout_for(int width, int height, float map_scale);
// An overlay point in window pixels (y from the top).
void hud_to_pixels(const hud_layout& l, int width, int height, float x, float y, float* px,
                   float* py);

// The tachometer needle's clockwise turn from straight up (degrees).
float hud_needle_degrees(float rpm);
// The gear digit's cell in the 3 x 3 atlas.
void hud_gear_cell(int gear, int* column, int* row);

// "L%d P%d" in a race, "P%d" in a time trial.
std::string hud_position_text(int laps_completed, int position, bool time_trial);
std::string hud_gap_text(float seconds);
// The time trial's running lap clock, in place of the gap nobody is there to have.
std::string hud_lap_clock_text(float seconds);
// "Last - %d:%02d.%d " and "Best - %d:%02d.%d"; empty when not shown.
std::string hud_last_lap_text(float seconds);
std::string hud_best_lap_text(float seconds);
// "%d:%02d.%d" from seconds (tenths cut, not rounded).
std::string hud_minutes_tenths(float seconds);
// "%d:%02d.%03d".
std::string hud_minutes_millis(float seconds);
// "Time - %d:%02d.%d ": the race clock since the gate drop, never negative.
std::string hud_race_time_text(int clock, int gate_drop_tic);
// "%d laps", "%d minutes", "%d minutes + %d laps" for a race length.
std::string hud_race_length_text(int finish_time_tics, int finish_laps);
// The start title's opacity t seconds after the reset.
float hud_title_opacity(float seconds);

// The lean band's colour pair: 0 beyond 36 degrees, 1 within; and its steps for a sweep.
int hud_lean_pair(float lean);
int hud_lean_steps(float sweep);

// A rider's place on the map: terrain (x, z) in [0, extent] to the map rectangle; north (-z) up.
void hud_map_point(const hud_rect& map, float extent, float x, float z, float* mx, float* my);
// Half the size of a rider's square on the map, in map-picture units.
float hud_map_marker_half(float map_scale);

// The ticker's scroll in overlay units at a real time.
float hud_ticker_offset(double real_time);
constexpr float k_ticker_speed = 10.75f; // units per second
constexpr float k_ticker_entry = 21.5f;  // units per entry
