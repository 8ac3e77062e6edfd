// The HUD's view of the program each frame: the followed slot, the display switches, the frame
// rate, the connection's ping and the message scroll.
#include "core/hud_feed.h"
#include "core/config.h"
#include "core/console.h"
#include "core/program.h"

#include "bike/bike.h"
#include "bike/data/bike_setup.h"
#include "net/net.h"
#include "race/race.h"
#include "race/series.h"

#include <cmath>

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
} // namespace

hud_frame hud_frame_now() {
    const program_state& p = program();
    const settings& s = config();
    hud_frame f;
    f.width = p.viewport_width;
    f.height = p.viewport_height;
    f.viewed_slot = p.viewed_slot;
    f.broadcast = p.view == trackside_camera;
    f.draw_fps = s.draw_fps != 0;
    f.draw_time = s.draw_time != 0;
    f.draw_ping = s.draw_ping != 0;
    f.draw_speed = s.draw_speed != 0;
    f.render_stats = p.options.draw_render_stats != 0;
    f.lean_indicator = setup().choice[key_lean_indicator] == 1;
    f.dab_latched = setup_sticky_dab() && p.dab_latched;
    f.map_scale = static_cast<float>(s.map_scale);
    f.fps = frame_rate();
    f.online = net_connected();
    f.ping_ms = net_ping_ms();
    f.offset_ms = net_offset_ms();
    f.message_scroll = console_message_scroll();
    f.real_time = p.time.run_clock;
    f.time_trial = race_params().time_trial;
    const int series = series_running(), event = series_running_event();
    if (series >= 0 && event >= 0 && event < static_cast<int>(series_at(series).events.size()))
        f.series_title = series_at(series).events[static_cast<size_t>(event)].title;
    return f;
}
