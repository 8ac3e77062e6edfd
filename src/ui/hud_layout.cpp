// The HUD's layout and its texts: rectangles for a window's aspect, the needle, the board's
// strings, the map's mapping and the ticker's scroll.
#include "ui/hud_layout.h"
#include "ui/ui_local.h"

#include "common/text_format.h"
#include "common/common.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {
constexpr float k_margin = 0.02f;         // overlay units between an element and the edge
constexpr float k_board_height = 0.6227f; // the timing board's height
// The pit board picture's slate spans texture rows 0.1875 to 0.875 of a square picture.
constexpr float k_board_aspect = 1.0f / (0.875f - 0.1875f);
constexpr float k_map_size = 0.4668f; // side of the map at scale 1
constexpr float k_tach_size = 0.5f;
constexpr float k_lean_limit = 0.6283185f; // rad, 36 degrees

hud_rect rect(float x0, float y0, float x1, float y1) { return {x0, y0, x1, y1}; }
} // namespace

hud_layout hud_layout_for(int width, int height, float map_scale) {
    hud_layout l;
    l.w = height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 4.0f / 3;
    const float w = l.w, m = k_margin;
    l.board = rect(-w + m, 1 - m - k_board_height, -w + m + k_board_height * k_board_aspect, 1 - m);
    const float map = k_map_size * map_scale;
    l.map = rect(w - m - map, 1 - m - map, w - m, 1 - m);
    l.lapping =
        rect(l.board.x1 + m, 0.9f, std::max(l.board.x1 + 0.4f, w - m - k_map_size - m), 1 - m);
    l.tach = rect(w - m - k_tach_size, -1 + m, w - m, -1 + m + k_tach_size);
    const float gear = 0.11f, gx = (l.tach.x0 + l.tach.x1) / 2;
    l.gear = rect(gx - gear / 2, l.tach.y0 + 0.05f, gx + gear / 2, l.tach.y0 + 0.05f + gear);
    l.lean = rect(-0.25f, -1 + m, 0.25f, -1 + m + 0.25f);
    l.title = rect(-w + m, 0.2f, w - m, 0.55f);
    l.text = 0.055f;
    l.graph = rect(-w + m, -1 + m, -w + m + 0.9f, -0.45f);
    l.telemetry = rect(w - m - 1.0f, l.tach.y1 + 0.04f, w - m, l.tach.y1 + 0.64f);
    // Status and message lines run from under the board to the graph, as wide as the telemetry
    // overlay leaves room for: messages are long.
    l.status = rect(-w + m, l.graph.y1 + m, l.telemetry.x0 - m, l.board.y0 - m);
    l.lap_box = rect(-w + m, -1 + m, -w + m + 0.3f, -1 + m + 0.09f);
    l.ticker = rect(l.lap_box.x1 + m, l.lap_box.y0, w - m, l.lap_box.y1);
    l.results = rect(-0.95f, -0.95f, 0.95f, 0.95f);
    return l;
}

void hud_to_pixels(const hud_layout& l, int width, int height, float x, float y, float* px,
                   float* py) {
    *px = (x + l.w) / (2 * l.w) * static_cast<float>(width);
    *py = (1 - y) / 2 * static_cast<float>(height);
}

float hud_needle_degrees(float rpm) { return (rpm * 3 / 64000 - 0.375f) * 360; }

void hud_gear_cell(int gear, int* column, int* row) {
    const int g = std::max(gear, 0);
    *column = g % 3;
    *row = (g / 3) % 3;
}

std::string hud_position_text(int laps_completed, int position, bool time_trial) {
    return time_trial ? text_format("P%d", position)
                      : text_format("L%d P%d", laps_completed + 1, position);
}

std::string hud_gap_text(float seconds) { return text_format("%+.1f ", seconds); }

std::string hud_lap_clock_text(float seconds) {
    return seconds >= 0 ? "Lap " + hud_minutes_tenths(seconds) + " " : "Lap -:--.- ";
}

std::string hud_minutes_tenths(float seconds) {
    const int tenths = static_cast<int>(std::max(seconds, 0.0f) * 10);
    return text_format("%d:%02d.%d", tenths / 600, tenths / 10 % 60, tenths % 10);
}

std::string hud_minutes_millis(float seconds) {
    const int ms = static_cast<int>(std::lround(std::max(seconds, 0.0f) * 1000));
    return text_format("%d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
}

std::string hud_last_lap_text(float seconds) {
    return seconds > 0 ? "Last - " + hud_minutes_tenths(seconds) + " " : "";
}

std::string hud_best_lap_text(float seconds) {
    return seconds > 0 ? "Best - " + hud_minutes_tenths(seconds) : "";
}

std::string hud_race_time_text(int clock, int gate_drop_tic) {
    const int tics = std::max(clock - gate_drop_tic, 0);
    return "Time - " + hud_minutes_tenths(static_cast<float>(tics * k_tic_length)) + " ";
}

std::string hud_race_length_text(int finish_time_tics, int finish_laps) {
    const int minutes = static_cast<int>(std::lround(finish_time_tics * k_tic_length / 60));
    if (finish_time_tics != 0 && finish_laps != 0)
        return text_format("%d minutes + %d laps", minutes, finish_laps);
    if (finish_time_tics != 0) return text_format("%d minutes", minutes);
    return text_format("%d laps", finish_laps);
}

float hud_title_opacity(float seconds) { return std::clamp(3 - seconds, 0.0f, 1.0f); }

int hud_lean_pair(float lean) { return std::fabs(lean) > k_lean_limit ? 0 : 1; }

int hud_lean_steps(float sweep) { return static_cast<int>(std::fabs(sweep) * 31 / k_pi_f + 2); }

void hud_map_point(const hud_rect& map, float extent, float x, float z, float* mx, float* my) {
    const float u = extent > 0 ? x / extent : 0, v = extent > 0 ? z / extent : 0;
    *mx = map.x0 + u * (map.x1 - map.x0);
    *my = map.y1 - v * (map.y1 - map.y0);
}

float hud_map_marker_half(float map_scale) {
    return map_scale > 0 ? 1 / (128 * map_scale) : 1.0f / 128;
}

float hud_ticker_offset(double real_time) { return static_cast<float>(real_time * k_ticker_speed); }
