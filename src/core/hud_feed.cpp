// The HUD's view of the program each frame: the followed rider's board, dial, lean and place on
// the map, the start title, the status and message lines, the results, the ticker, the display
// switches, the frame rate and the connection's ping.
#include "core/hud_feed.h"
#include "core/config.h"
#include "common/text_format.h"
#include "core/console.h"
#include "core/menu.h"
#include "core/program.h"

#include "bike/bike.h"
#include "bike/data/bike_setup.h"
#include "common/common.h"
#include "common/message.h"
#include "net/net.h"
#include "race/race.h"
#include "race/race_results.h"
#include "race/race_timing.h"
#include "race/series.h"
#include "render/render.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "ui/hud_layout.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {
struct hud_feed_state {
    double last_draw = -1; // s, platform clock at the previous frame drawn
    double fps = 0;        // frames per second, smoothed
};
hud_feed_state g_feed;

// The frame rate over the last second or so of frames.
int frame_rate() {
    const double now = platform().clock();
    if (g_feed.last_draw >= 0 && now > g_feed.last_draw) {
        const double rate = 1 / (now - g_feed.last_draw);
        g_feed.fps = g_feed.fps > 0 ? g_feed.fps + (rate - g_feed.fps) * 0.1 : rate;
    }
    g_feed.last_draw = now;
    return static_cast<int>(std::lround(g_feed.fps));
}

// The slot's bike when it is live, else -1.
int live_bike(int slot) {
    if (slot < 0 || slot >= k_max_riders) return -1;
    const int bike = race_slot(slot).bike;
    return bike >= 0 && bike_live(bike) ? bike : -1;
}

int order_place(int slot) {
    for (int i = 0; i < running_order_count(); i++)
        if (running_order_at(i).slot == slot) return i + 1;
    return 0;
}

hud_board board_of(int slot, bool time_trial) {
    hud_board b;
    b.number = race_slot(slot).number;
    b.laps_completed = laps_completed(slot);
    b.place = order_place(slot);
    b.gap = hud_gap_seconds(slot);
    if (time_trial) {
        b.last_lap = static_cast<float>(time_trial_last_lap_tics() * k_tic_length);
        b.best_lap = static_cast<float>(time_trial_best_lap_tics() * k_tic_length);
        // The lap under way runs from the start line's crossing, which each lap renews.
        const int start = first_lap_length() - 1;
        const int from =
            timing_of(slot).position > start ? crossing_tic(timing_of(slot), start) : -1;
        if (from >= 0) b.lap_clock = static_cast<float>((race_clock() - from) * k_tic_length);
    } else {
        if (b.laps_completed >= 2) b.last_lap = lap_time(slot, -1);
        best_lap(slot, &b.best_lap);
    }
    return b;
}

// The map with the others in the order they are drawn, the leader last, and the followed rider.
hud_map map_of(int viewed_slot, int viewed_bike) {
    hud_map m;
    m.texture = track_map_texture();
    m.extent = ground().field.extent;
    for (int i = running_order_count() - 1; i >= 0; i--) {
        const int slot = running_order_at(i).slot;
        const int bike = live_bike(slot);
        if (bike < 0 || slot == viewed_slot) continue;
        const vec3d p = bike_frame_position(bike);
        const hud_marker_kind kind = rider_finished(slot) ? marker_finished
                                     : i == 0             ? marker_leader
                                                          : marker_rider;
        m.riders.push_back({static_cast<float>(p.x), static_cast<float>(p.z), kind});
    }
    const vec3d p = bike_frame_position(viewed_bike), ahead = bike_forward(viewed_bike);
    m.x = static_cast<float>(p.x);
    m.z = static_cast<float>(p.z);
    m.heading_x = static_cast<float>(ahead.x);
    m.heading_z = static_cast<float>(ahead.z);
    return m;
}

hud_title title_now() {
    hud_title t;
    t.race_seconds = static_cast<float>(race_clock() * k_tic_length);
    t.track = track_display_name();
    const race_start_params& p = race_params();
    t.length = hud_race_length_text(p.time_limit_tics, p.laps);
    const int series = series_running(), event = series_running_event();
    if (series >= 0 && event >= 0 && event < static_cast<int>(series_at(series).events.size()))
        t.series = series_at(series).events[static_cast<size_t>(event)].title;
    return t;
}

hud_results results_now() {
    hud_results r;
    r.rows = hud_result_rows(&r.final_results);
    if (r.rows.empty()) return r;
    // The end of the race said plainly: where the player finished, and what comes next.
    const int local = race_local_slot();
    for (size_t i = 0; i < r.rows.size() && local >= 0; i++) {
        if (r.rows[i].slot != local) continue;
        r.outcome = r.rows[i].finished
                        ? text_format("You finished P%d of %d", static_cast<int>(i) + 1,
                                      static_cast<int>(r.rows.size()))
                        : "You have not finished: ride on to the finish line";
    }
    r.next = r.final_results ? "Race over - press Esc for the menus to race again"
                             : "Waiting for the other riders to finish";
    if (!r.final_results) return r;
    const std::vector<result_entry>& done = race_final_results();
    r.total_seconds = static_cast<float>((done[0].tic - race_gate_drop_tic()) * k_tic_length);
    r.penalties = hud_penalty_lines();
    return r;
}

hud_ticker ticker_now() {
    hud_ticker t;
    t.entries = hud_ticker_entries();
    if (running_order_count() > 0) t.leader_laps = laps_completed(running_order_at(0).slot);
    t.race_laps = race_laps();
    return t;
}

// The message lines shown, oldest first.
std::vector<std::string> messages_now() {
    std::vector<std::string> lines;
    const int scroll = console_message_scroll();
    for (int k = messages_visible() - 1; k >= 0; k--) lines.push_back(message_recent(scroll + k));
    return lines;
}
} // namespace

hud_frame hud_frame_now() {
    const program_state& p = program();
    const settings& s = config();
    hud_frame f;
    f.width = p.viewport_width;
    f.height = p.viewport_height;
    // The editor's panel takes the left of the window and shows its own message line: no race
    // HUD is drawn over its view.
    if (p.view == editor_view) return f;
    f.viewed_slot = p.viewed_slot;
    f.broadcast = p.view == trackside_camera;
    f.draw_fps = s.draw_fps != 0;
    f.draw_time = s.draw_time != 0;
    f.draw_ping = s.draw_ping != 0;
    f.draw_speed = s.draw_speed != 0;
    f.lean_indicator = setup().choice[key_lean_indicator] == 1;
    f.map_scale = static_cast<float>(s.map_scale);
    f.time_trial = race_params().time_trial;
    f.track_loaded = track_current() != nullptr;
    f.has_gates = gate_count() > 0;
    const int bike = f.track_loaded ? live_bike(f.viewed_slot) : -1;
    f.followed_live = bike >= 0;

    if (f.followed_live) {
        if (f.has_gates) {
            f.board = board_of(f.viewed_slot, f.time_trial);
            f.lapping = hud_lapping_text(f.viewed_slot, race_clock());
        }
        f.gear = bike_gear(bike);
        f.rpm = engine_rpm(bike);
        f.lean = bike_lean_angle(bike);
        f.map = map_of(f.viewed_slot, bike);
        f.speed_mph = bike_speed_mph(bike);
        f.dabbing = setup_sticky_dab() && local_dab_latched() && bike_rider_down(bike) == 0;
    }
    if (f.track_loaded) {
        // The start title and the results table stand mid-screen: under a menu page their
        // text would show through the items.
        const bool page_open = menu_page() != menu_none && menu_page() != menu_chat;
        if (!page_open) f.title = title_now();
        f.race_time = hud_race_time_text(race_clock(), race_gate_drop_tic());
        if (f.has_gates && !page_open) f.results = results_now();
        if (f.broadcast) f.ticker = ticker_now();
    }

    f.fps = frame_rate();
    f.online = net_connected();
    f.ping_ms = net_ping_ms();
    f.offset_ms = net_offset_ms();
    // The maxima take in every frame the HUD is drawn, whether or not the lines are shown.
    if (gl_ready() && f.width > 0 && f.height > 0) hud_render_stats_update();
    if (p.options.draw_render_stats != 0)
        for (int i = 0; i < k_render_stats_lines; i++)
            f.render_stats_lines.push_back(hud_render_stats_text(i));
    f.messages = messages_now();
    f.real_time = p.time.run_clock;
    return f;
}
