// HUD, menu pages, text and fonts.
#pragma once

#include <cstdint>
#include <string>

void hud_pictures_load();
// The title picture behind the menus (0 when it could not be loaded).
uint32_t hud_picture_title();

// What the HUD shows in one frame, as the frame loop knows it; the race, the bikes and the
// message list are read directly.
struct hud_frame {
    int width = 640, height = 480; // px
    int viewed_slot = 0;           // the followed rider
    bool broadcast = false;        // trackside view: the running-order ticker and lap box
    bool draw_fps = false, draw_time = false, draw_ping = false, draw_speed = false;
    bool render_stats = false; // "--draw-render-stats"
    bool lean_indicator = false;
    bool dab_latched = false; // sticky dab is on and latched
    float map_scale = 1;
    int fps = 0;
    bool online = false;
    int ping_ms = 0, offset_ms = 0;
    int message_scroll = 0; // lines
    double real_time = 0;   // s, the running clock, for the ticker
    bool time_trial = false;
    std::string series_title; // an event of a points series: its title replaces the start title
};
void hud_draw(const hud_frame& frame);
// The suspension graph over the rider's and the orbit views.
void hud_graphs_draw();

// Display switches of the HUD that are not settings.
bool hud_graph_on();     // "togglegraph"
bool hud_telemetry_on(); // the telemetry overlay of the followed rider
void hud_set_graph(bool on);
void hud_set_telemetry(bool on);
// The render statistics lines, as "renderstats" shows them and the HUD draws them.
std::string hud_render_stats_text(int line);
constexpr int k_render_stats_lines = 8;
// Forgets the render statistics' maxima.
void hud_render_stats_reset();
// Takes the last frame's render statistics into the running maxima.
void hud_render_stats_update();

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
// Back to the start-up state: switches off, rings and maxima cleared.
void hud_reset();

// The driver's vendor, renderer and version, and whether it offers a GL extension.
std::string ui_driver_info();
bool ui_gl_extension(const char* name);
// Text centred across the screen, `below` units under the centre.
void draw_centered_text(const char* text, float height, float below);
