// What the frame loop hands the HUD: the frame record, the telemetry of each world tic, and the
// texts worked out from the race, the bikes and the renderer for them.
#pragma once

#include "ui/ui.h"

#include <string>
#include <vector>

hud_frame hud_frame_now();

// The followed rider's telemetry this tic; false without a live bike in the slot.
bool hud_telemetry_sample_of(int slot, hud_telemetry_sample* out);

// A rider's gap at the last crossing it shares with its neighbour (the rider ahead, the second
// for the leader); positive ahead. 0 without a neighbour or a tic.
float hud_gap_seconds(int slot);
// The lapping warning for the followed rider at this clock ("" for none).
std::string hud_lapping_text(int slot, int clock);
// The rows shown once the leader has finished; `final` when the results are final.
std::vector<hud_result_row> hud_result_rows(bool* final_results);
// With final results: a line per rider penalized for cutting the track.
std::vector<std::string> hud_penalty_lines();
// Ticker entries: "%d" position, "%3s" number, name, and from the second the gap "%7.3f".
std::vector<std::string> hud_ticker_entries();

// The render statistics lines, as "renderstats" shows them and the HUD draws them.
std::string hud_render_stats_text(int line);
constexpr int k_render_stats_lines = 8;
// Forgets the render statistics' maxima.
void hud_render_stats_reset();
// Takes the last frame's render statistics into the running maxima.
void hud_render_stats_update();
