// The HUD drawn over the scene: timing board, lapping warning, tachometer with gear, lean
// indicator, track map, start title, status and message lines, results table, running-order
// ticker with its lap box, the suspension graph and the telemetry overlay.
#include "ui/hud_layout.h"
#include "ui/hud_telemetry.h"
#include "ui/text.h"
#include "ui/ui.h"
#include "ui/ui_local.h"

#include "common/text_format.h"
#include "common/common.h"
#include "render/render.h"
#include "resources/gl/gl_bind.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {
struct hud_state {
    uint32_t tach = 0, shifter = 0, pitboard = 0; // HUD pictures
};
hud_state g_hud;

constexpr float k_white[4] = {1, 1, 1, 1};
constexpr float k_grey[4] = {0.75f, 0.75f, 0.75f, 1};
constexpr float k_dim[4] = {0.25f, 0.25f, 0.25f, 1};
constexpr float k_red[4] = {1, 0.15f, 0.1f, 1};
constexpr float k_green[4] = {0.2f, 0.85f, 0.3f, 1};
constexpr float k_yellow[4] = {1, 0.85f, 0.2f, 1};
constexpr float k_board_text[4] = {1, 0.95f, 0.8f, 1};
// The lean band's two pairs of inner and outer colours: beyond the limit, and within it.
constexpr float k_lean_colours[2][2][4] = {{{1, 0.2f, 0.1f, 0.9f}, {1, 0.75f, 0.2f, 0.9f}},
                                           {{0.1f, 0.45f, 1, 0.85f}, {0.55f, 0.9f, 1, 0.85f}}};

void begin_overlay(const hud_layout& l, int width, int height) {
    ui_overlay_begin(width, height, -l.w, l.w, -1, 1);
}

void quad(float x0, float y0, float x1, float y1, const float colour[4]) {
    ui_quad(x0, y0, x1, y1, -1, colour);
}

void frame_box(const hud_rect& r, const float colour[4]) {
    glColor4fv(colour);
    glBegin(GL_LINE_LOOP);
    glVertex3f(r.x0, r.y0, -1);
    glVertex3f(r.x1, r.y0, -1);
    glVertex3f(r.x1, r.y1, -1);
    glVertex3f(r.x0, r.y1, -1);
    glEnd();
}

// A picture (or part of it, texture rows t0 to t1) over a rectangle.
void picture(uint32_t texture, const hud_rect& r, float s0, float t0, float s1, float t1) {
    if (!texture) return;
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl_bind_texture(texture);
    glColor4fv(k_white);
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t1), glVertex3f(r.x0, r.y0, -1);
    glTexCoord2f(s1, t1), glVertex3f(r.x1, r.y0, -1);
    glTexCoord2f(s1, t0), glVertex3f(r.x1, r.y1, -1);
    glTexCoord2f(s0, t0), glVertex3f(r.x0, r.y1, -1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void text(const std::string& t, float x, float y, float height, const float colour[4]) {
    if (!t.empty()) text_draw(font_text, t.c_str(), x, y, -1, height, colour, text_shadowed);
}
void text_centred(const std::string& t, float x0, float x1, float y, float height,
                  const float colour[4]) {
    if (!t.empty())
        text_draw_centred(font_text, t.c_str(), x0, x1, y, -1, height, colour, text_shadowed);
}

void draw_board(const hud_layout& l, const hud_frame& f) {
    const hud_rect& b = l.board;
    picture(g_hud.pitboard, b, 0, 0.1875f, 1, 0.875f);
    if (!g_hud.pitboard) quad(b.x0, b.y0, b.x1, b.y1, k_dim);
    const hud_board& board = f.board;
    const float row = (b.y1 - b.y0) / 6.4f, x = b.x0 + (b.x1 - b.x0) * 0.1f;
    float y = b.y1 - row * 1.35f;
    text(board.number, x, y, row * 1.2f, k_yellow);
    y -= row * 1.05f;
    text(hud_position_text(board.laps_completed, board.place, f.time_trial), x, y, row * 0.9f,
         k_board_text);
    y -= row;
    text(f.time_trial ? hud_lap_clock_text(board.lap_clock) : hud_gap_text(board.gap), x, y,
         row * 0.9f, k_board_text);
    y -= row;
    text(hud_last_lap_text(board.last_lap), x, y, row * 0.8f, k_board_text);
    y -= row;
    text(hud_best_lap_text(board.best_lap), x, y, row * 0.8f, k_board_text);
}

void draw_lapping(const hud_layout& l, const hud_frame& f) {
    const std::string& line = f.lapping;
    if (line.empty()) return;
    const hud_rect& r = l.lapping;
    const float band[4] = {0.1f, 0.2f, 0.75f, 0.8f};
    quad(r.x0, r.y0, r.x1, r.y1, band);
    text_centred(line, r.x0, r.x1, r.y0 + (r.y1 - r.y0) * 0.2f, (r.y1 - r.y0) * 0.65f, k_white);
}

void draw_tach(const hud_layout& l, const hud_frame& f) {
    const hud_rect& r = l.tach;
    picture(g_hud.tach, r, 0, 0, 1, 1);
    int column = 0, row = 0;
    hud_gear_cell(f.gear, &column, &row);
    picture(g_hud.shifter, l.gear, column / 3.0f, row / 3.0f, (column + 1) / 3.0f,
            (row + 1) / 3.0f);
    const float cx = (r.x0 + r.x1) / 2, cy = (r.y0 + r.y1) / 2, radius = (r.x1 - r.x0) * 0.4f;
    const float a = hud_needle_degrees(f.rpm) * k_pi_f / 180;
    const float dx = std::sin(a), dy = std::cos(a), width = radius * 0.045f;
    glColor4fv(k_red);
    glBegin(GL_TRIANGLES);
    glVertex3f(cx - dy * width, cy + dx * width, -1);
    glVertex3f(cx + dx * radius, cy + dy * radius, -1);
    glVertex3f(cx + dy * width, cy - dx * width, -1);
    glEnd();
}

void draw_lean(const hud_layout& l, const hud_frame& f) {
    const hud_rect& r = l.lean;
    const float lean = f.lean;
    const float cx = (r.x0 + r.x1) / 2, cy = r.y0, inner = (r.x1 - r.x0) * 0.3f,
                outer = (r.x1 - r.x0) * 0.48f;
    const float(*pair)[4] = k_lean_colours[hud_lean_pair(lean)];
    const int steps = hud_lean_steps(lean);
    // A faint half ring shows where the band can reach, so the indicator reads when upright.
    const float backdrop[4] = {0, 0, 0, 0.35f};
    glColor4fv(backdrop);
    glBegin(GL_QUAD_STRIP);
    for (int k = 0; k <= 32; k++) {
        const float a = k_pi_f * (static_cast<float>(k) / 32 - 0.5f);
        glVertex3f(cx + std::sin(a) * inner, cy + std::cos(a) * inner, -1);
        glVertex3f(cx + std::sin(a) * outer, cy + std::cos(a) * outer, -1);
    }
    glEnd();
    // Leaning right (negative roll) turns the band clockwise from the vertical.
    glBegin(GL_QUAD_STRIP);
    for (int k = 0; k <= steps; k++) {
        const float a = -lean * static_cast<float>(k) / static_cast<float>(steps);
        glColor4fv(pair[0]);
        glVertex3f(cx + std::sin(a) * inner, cy + std::cos(a) * inner, -1);
        glColor4fv(pair[1]);
        glVertex3f(cx + std::sin(a) * outer, cy + std::cos(a) * outer, -1);
    }
    glEnd();
    glColor4fv(k_white);
    glBegin(GL_LINES);
    glVertex3f(cx, cy + inner * 0.8f, -1);
    glVertex3f(cx, cy + outer, -1);
    glEnd();
}

// A rider's place on the map, kept on the map when the rider is beyond the picture's edge.
void map_place(const hud_rect& r, float extent, float px, float pz, float* x, float* y) {
    hud_map_point(r, extent, px, pz, x, y);
    *x = std::clamp(*x, r.x0, r.x1);
    *y = std::clamp(*y, r.y0, r.y1);
}

void draw_map(const hud_layout& l, const hud_frame& f) {
    const hud_map& m = f.map;
    const uint32_t map = m.texture;
    const float extent = m.extent;
    if (!map || extent <= 0) return;
    const hud_rect& r = l.map;
    picture(map, r, 0, 0, 1, 1);
    const float side = r.x1 - r.x0;
    const float half = std::max(hud_map_marker_half(f.map_scale) * side, 0.012f);
    for (const hud_map_marker& rider : m.riders) {
        float x = 0, y = 0;
        map_place(r, extent, rider.x, rider.z, &x, &y);
        const float finished[4] = {0.25f, 0.25f, 0.25f, 1};
        const float* colour = rider.kind == marker_finished ? finished
                              : rider.kind == marker_leader ? k_green
                                                            : k_white;
        quad(x - half, y - half, x + half, y + half, colour);
    }
    float x = 0, y = 0;
    map_place(r, extent, m.x, m.z, &x, &y);
    // On the map north (-z) is up, so the heading's z turns into screen y with its sign flipped.
    float dx = m.heading_x, dy = -m.heading_z;
    const float n = std::hypot(dx, dy);
    if (n > 0) dx /= n, dy /= n;
    const float s = half * 2.4f;
    const float black[4] = {0, 0, 0, 1};
    for (int pass = 0; pass < 2; pass++) {
        const float k = pass == 0 ? s : s * 0.55f;
        glColor4fv(pass == 0 ? black : k_red);
        glBegin(GL_TRIANGLES);
        glVertex3f(x + dx * k, y + dy * k, -1);
        glVertex3f(x - dx * k * 0.7f - dy * k * 0.7f, y - dy * k * 0.7f + dx * k * 0.7f, -1);
        glVertex3f(x - dx * k * 0.7f + dy * k * 0.7f, y - dy * k * 0.7f - dx * k * 0.7f, -1);
        glEnd();
    }
}

void draw_title(const hud_layout& l, const hud_frame& f) {
    const hud_title& title = f.title;
    const float opacity = hud_title_opacity(title.race_seconds);
    if (opacity <= 0 || !f.track_loaded || (title.track.empty() && title.series.empty())) return;
    const float colour[4] = {1, 1, 1, opacity}, gold[4] = {1, 0.82f, 0.3f, opacity};
    const hud_rect& r = l.title;
    const float h = (r.y1 - r.y0) * 0.36f;
    if (!title.series.empty()) {
        text_centred(title.series, r.x0, r.x1, r.y1 - h, h, gold);
        return;
    }
    text_centred(title.track, r.x0, r.x1, r.y1 - h, h, gold);
    text_centred(title.length, r.x0, r.x1, r.y1 - 2.1f * h, h * 0.75f, colour);
}

void draw_status(const hud_layout& l, const hud_frame& f, bool followed) {
    std::vector<std::string> lines;
    if (f.draw_fps) lines.push_back(text_format("FPS - %d", f.fps));
    if (f.draw_time && f.track_loaded) lines.push_back(f.race_time);
    if (f.draw_ping && f.online)
        lines.push_back(text_format("Ping - %dms (%dms offset)", f.ping_ms, f.offset_ms));
    if (f.draw_speed && followed) lines.push_back(text_format("Speed - %.2f", f.speed_mph));
    lines.insert(lines.end(), f.render_stats_lines.begin(), f.render_stats_lines.end());
    if (f.dabbing && followed) lines.push_back("Dabbing!");
    lines.insert(lines.end(), f.messages.begin(), f.messages.end());
    float y = l.status.y1 - l.text;
    for (const std::string& line : lines) {
        text(line, l.status.x0, y, l.text, k_white);
        y -= l.text * 1.15f;
    }
}

void draw_results(const hud_layout& l, const hud_frame& f) {
    const bool final_results = f.results.final_results;
    const std::vector<hud_result_row>& rows = f.results.rows;
    if (rows.empty()) return;
    const hud_rect& r = l.results;
    // Rows shrink so that a full grid of forty fits with the title, the headers and the lines
    // under the table.
    const float extra = 2.0f + (final_results ? 1.0f + f.results.penalties.size() : 0.0f);
    const float lines = static_cast<float>(rows.size()) + 2.5f + extra;
    const float row = std::min(0.06f, (r.y1 - r.y0 - 0.02f) / lines), th = row * 0.8f;
    const float shade[4] = {0, 0, 0, 0.7f}, band[4] = {1, 1, 1, 0.08f};
    const float height = row * lines;
    const float top = std::min(r.y1, std::max(0.75f, r.y0 + height + 0.02f));
    quad(r.x0, top - height - 0.02f, r.x1, top, shade);
    float y = top - row * 1.1f;
    text_centred(final_results ? "Final Results" : "Unofficial Results", r.x0, r.x1, y, th * 1.2f,
                 k_yellow);
    const float columns[7] = {0.03f, 0.12f, 0.24f, 0.34f, 0.50f, 0.70f, 0.88f};
    const char* headers[7] = {"Pos.", "No.", "Lap", "Gap", "Time", "Best Time", "BLap"};
    const float span = r.x1 - r.x0;
    y -= row * 1.3f;
    for (int c = 0; c < 7; c++) text(headers[c], r.x0 + columns[c] * span, y, th, k_grey);
    for (size_t i = 0; i < rows.size(); i++) {
        y -= row;
        if (i % 2 == 1) quad(r.x0, y - row * 0.2f, r.x1, y + row * 0.8f, band);
        const float* colour = rows[i].slot == f.viewed_slot ? k_white : k_grey;
        const std::string cells[7] = {rows[i].position, rows[i].number,
                                      rows[i].lap,      rows[i].finished ? rows[i].gap : "",
                                      rows[i].time,     rows[i].best_time,
                                      rows[i].best_lap};
        for (int c = 0; c < 7; c++) text(cells[c], r.x0 + columns[c] * span, y, th, colour);
    }
    if (final_results) {
        y -= row;
        text("Total Race Time: " + hud_minutes_millis(f.results.total_seconds), r.x0 + 0.03f * span,
             y, th, k_white);
        for (const std::string& line : f.results.penalties) {
            y -= row;
            text(line, r.x0 + 0.03f * span, y, th, k_red);
        }
    }
    y -= row * 1.2f;
    if (!f.results.outcome.empty()) text(f.results.outcome, r.x0 + 0.03f * span, y, th, k_yellow);
    y -= row;
    text(f.results.next, r.x0 + 0.03f * span, y, th, k_white);
}

void draw_ticker(const hud_layout& l, const hud_frame& f) {
    const std::vector<std::string>& entries = f.ticker.entries;
    if (entries.empty()) return;
    const hud_rect& t = l.ticker;
    const float band[4] = {0, 0, 0, 0.6f};
    quad(t.x0, t.y0, t.x1, t.y1, band);
    const float g = (t.y1 - t.y0) * 0.7f, y = t.y0 + (t.y1 - t.y0) * 0.18f;
    // The entries repeat with one empty place between cycles.
    const int places = static_cast<int>(entries.size()) + 1;
    const float cycle = k_ticker_entry * static_cast<float>(places);
    const float offset = std::fmod(hud_ticker_offset(f.real_time), cycle);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    {
        float px = 0, py = 0;
        hud_to_pixels(l, f.width, f.height, t.x0, t.y1, &px, &py);
        x0 = static_cast<int>(px), y1 = f.height - static_cast<int>(py);
        hud_to_pixels(l, f.width, f.height, t.x1, t.y0, &px, &py);
        x1 = static_cast<int>(px), y0 = f.height - static_cast<int>(py);
    }
    glEnable(GL_SCISSOR_TEST);
    glScissor(x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0));
    const float width = t.x1 - t.x0;
    for (int k = 0;; k++) {
        const float x = t.x0 + (k_ticker_entry * static_cast<float>(k) - offset) * g;
        if (x > t.x1) break;
        const int place = k % places;
        if (place == places - 1 || x + k_ticker_entry * g < t.x0 - width) continue;
        text(entries[static_cast<size_t>(place)], x, y, g, place == 0 ? k_yellow : k_white);
    }
    glDisable(GL_SCISSOR_TEST);
    // The lap box: the leader's lap, white on the last lap, checkered once the race is run.
    const hud_rect& b = l.lap_box;
    const int laps = f.ticker.race_laps, done = f.ticker.leader_laps;
    if (done >= laps) {
        const int n = 8;
        const float cw = (b.x1 - b.x0) / n, ch = (b.y1 - b.y0) / 2;
        for (int i = 0; i < n; i++)
            for (int j = 0; j < 2; j++)
                quad(b.x0 + cw * i, b.y0 + ch * j, b.x0 + cw * (i + 1), b.y0 + ch * (j + 1),
                     (i + j) % 2 ? k_white : k_dim);
        return;
    }
    const bool last = done + 1 == laps;
    quad(b.x0, b.y0, b.x1, b.y1, last ? k_white : k_green);
    const float black[4] = {0, 0, 0, 1};
    text_centred(text_format("Lap %d", done + 1), b.x0, b.x1, y, g, last ? black : k_white);
}

// One trace over the last seconds in a strip, newest at the right.
void trace(const telemetry_traces& t, int which, const hud_rect& strip, float lo, float hi,
           const float colour[4]) {
    if (t.count < 2 || hi <= lo) return;
    glColor4fv(colour);
    glBegin(GL_LINE_STRIP);
    for (int age = t.count - 1; age >= 0; age--) {
        const float v = std::clamp((telemetry_sample(t, which, age) - lo) / (hi - lo), 0.0f, 1.0f);
        const float x =
            strip.x1 - (strip.x1 - strip.x0) * static_cast<float>(age) / k_trace_samples;
        glVertex3f(x, strip.y0 + v * (strip.y1 - strip.y0), -1);
    }
    glEnd();
}

void draw_telemetry(const hud_layout& l) {
    const telemetry_traces& t = hud_telemetry_traces();
    const hud_rect& r = l.telemetry;
    const float shade[4] = {0, 0, 0, 0.55f}, grid[4] = {1, 1, 1, 0.15f};
    quad(r.x0, r.y0, r.x1, r.y1, shade);
    frame_box(r, k_grey);
    const float label = 0.038f, pad = 0.01f;
    const float strip_h = (r.y1 - r.y0) / 4;
    const float cyan[4] = {0.3f, 0.9f, 1, 1}, orange[4] = {1, 0.55f, 0.1f, 1};
    float top_speed = 40;
    for (int age = 0; age < t.count; age++)
        top_speed = std::max(top_speed, telemetry_sample(t, trace_speed, age));
    top_speed = std::ceil(top_speed / 20) * 20;
    const int percent_throttle =
        static_cast<int>(std::lround(telemetry_sample(t, trace_throttle, 0) * 100));
    const int percent_front =
        static_cast<int>(std::lround(telemetry_sample(t, trace_front_brake, 0) * 100));
    const int percent_rear =
        static_cast<int>(std::lround(telemetry_sample(t, trace_rear_brake, 0) * 100));
    struct strip_text {
        std::string text;
        const float* colour;
    };
    const std::vector<strip_text> labels[4] = {
        {{text_format("Speed %.1f mph", telemetry_sample(t, trace_speed, 0)), k_white}},
        {{text_format("Throttle %d%%", percent_throttle), k_green},
         {t.brakes_known ? text_format("Front %d%%", percent_front) : "Brakes not recorded", k_red},
         {t.brakes_known ? text_format("Rear %d%%", percent_rear) : "", orange}},
        {{text_format("Gear %d", static_cast<int>(telemetry_sample(t, trace_gear, 0)) + 1),
          k_yellow}},
        {{text_format("Fork %d%%",
                      static_cast<int>(std::lround(telemetry_sample(t, trace_fork, 0) * 100))),
          cyan},
         {text_format("Shock %d%%",
                      static_cast<int>(std::lround(telemetry_sample(t, trace_shock, 0) * 100))),
          k_yellow}},
    };
    // A line a second across the strips.
    glColor4fv(grid);
    glBegin(GL_LINES);
    for (int s = 1; s < k_trace_seconds; s++) {
        const float x = r.x1 - (r.x1 - r.x0) * static_cast<float>(s) / k_trace_seconds;
        glVertex3f(x, r.y0, -1);
        glVertex3f(x, r.y1, -1);
    }
    for (int s = 1; s < 4; s++) {
        glVertex3f(r.x0, r.y0 + strip_h * static_cast<float>(s), -1);
        glVertex3f(r.x1, r.y0 + strip_h * static_cast<float>(s), -1);
    }
    glEnd();
    for (int s = 0; s < 4; s++) {
        const hud_rect strip{r.x0, r.y1 - strip_h * static_cast<float>(s + 1) + pad, r.x1,
                             r.y1 - strip_h * static_cast<float>(s) - label - pad};
        switch (s) {
        case 0:
            trace(t, trace_speed, strip, 0, top_speed, k_white);
            break;
        case 1:
            trace(t, trace_throttle, strip, 0, 1, k_green);
            trace(t, trace_front_brake, strip, 0, 1, k_red);
            trace(t, trace_rear_brake, strip, 0, 1, orange);
            break;
        case 2:
            trace(t, trace_gear, strip, 0, 5, k_yellow);
            break;
        default:
            trace(t, trace_fork, strip, 0, 1, cyan);
            trace(t, trace_shock, strip, 0, 1, k_yellow);
            break;
        }
        float x = r.x0 + pad;
        for (const strip_text& s_text : labels[s]) {
            text(s_text.text, x, r.y1 - strip_h * static_cast<float>(s) - label - pad * 0.5f, label,
                 s_text.colour);
            x += text_width(font_get(font_text), s_text.text.c_str()) * label + 0.04f;
        }
    }
    text_draw_right(font_text, text_format("last %d s", k_trace_seconds).c_str(), r.x1 - pad,
                    r.y0 + pad, -1, label * 0.8f, k_grey, text_shadowed);
}

// One suspension box: a position ring in white and a speed ring coloured by its regime.
void suspension_box(const hud_rect& r, int position, int speed, int regime, float speed_scale,
                    const char* labels[3]) {
    const suspension_rings& rings = hud_suspension_rings();
    const float shade[4] = {0, 0, 0, 0.45f};
    quad(r.x0, r.y0, r.x1, r.y1, shade);
    frame_box(r, k_grey);
    const float cy = (r.y0 + r.y1) / 2, half = (r.y1 - r.y0) / 2;
    glColor4fv(k_dim);
    glBegin(GL_LINES);
    glVertex3f(r.x0, cy, -1);
    glVertex3f(r.x1, cy, -1);
    glEnd();
    const int n = rings.index;
    auto x_of = [&](int k) {
        return r.x0 + (r.x1 - r.x0) * static_cast<float>(k) / k_suspension_ring;
    };
    glColor4fv(k_white);
    glBegin(GL_LINE_STRIP);
    for (int k = 0; k < n; k++)
        glVertex3f(x_of(k), cy + std::clamp(rings.values[position][k], -1.0f, 1.0f) * half, -1);
    glEnd();
    glBegin(GL_LINE_STRIP);
    for (int k = 0; k < n; k++) {
        const float m = rings.values[regime][k];
        glColor4f(m, 1 - m, 0, 1);
        const float v = std::clamp(rings.values[speed][k] * speed_scale, -1.0f, 1.0f);
        glVertex3f(x_of(k), cy + v * half, -1);
    }
    glEnd();
    const float h = 0.035f;
    text(labels[0], r.x0, r.y1 - h * 1.1f, h, k_white);
    text(labels[1], r.x0, r.y1 - h * 2.2f, h, k_green);
    text(labels[2], r.x0, r.y1 - h * 3.3f, h, k_red);
}
} // namespace

void hud_set_pictures(uint32_t tach, uint32_t shifter, uint32_t pitboard) {
    g_hud.tach = tach;
    g_hud.shifter = shifter;
    g_hud.pitboard = pitboard;
}

void hud_reset() {
    const uint32_t tach = g_hud.tach, shifter = g_hud.shifter, pitboard = g_hud.pitboard;
    g_hud = hud_state{};
    hud_set_pictures(tach, shifter, pitboard);
    hud_telemetry_reset();
}

void hud_draw(const hud_frame& f) {
    if (!gl_ready() || f.width <= 0 || f.height <= 0) return;
    const hud_layout l = hud_layout_for(f.width, f.height, f.map_scale);
    begin_overlay(l, f.width, f.height);
    const bool followed = f.track_loaded && f.followed_live;
    if (followed) {
        if (f.has_gates) {
            draw_board(l, f);
            draw_lapping(l, f);
        }
        if (!f.broadcast) {
            draw_tach(l, f);
            if (f.lean_indicator) draw_lean(l, f);
        }
        draw_map(l, f);
        if (hud_telemetry_on() && f.results.rows.empty()) draw_telemetry(l);
    }
    if (f.track_loaded) {
        draw_title(l, f);
        if (f.has_gates) draw_results(l, f);
        if (f.broadcast) draw_ticker(l, f);
    }
    draw_status(l, f, followed);
    ui_overlay_end();
}

void hud_graphs_draw() {
    if (!gl_ready() || !hud_graph_on()) return;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] <= 0 || viewport[3] <= 0) return;
    const hud_layout l = hud_layout_for(viewport[2], viewport[3], 1);
    begin_overlay(l, viewport[2], viewport[3]);
    const hud_rect& g = l.graph;
    const float mid = (g.y0 + g.y1) / 2, gap = 0.01f;
    const char* fork[3] = {" Fork Position", " Fork Speed (High)", " Fork Speed (Low)"};
    const char* shock[3] = {" Swingarm Position", " Shock Speed (High)", " Shock Speed (Low)"};
    suspension_box({g.x0, mid + gap, g.x1, g.y1}, ring_fork_position, ring_fork_speed,
                   ring_fork_regime, -0.25f, fork);
    suspension_box({g.x0, g.y0, g.x1, mid - gap}, ring_swingarm_position, ring_shock_speed,
                   ring_shock_regime, -1, shock);
    ui_overlay_end();
}
