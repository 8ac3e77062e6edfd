// The frame loop: drawing, sound, the measured frame step, and the fixed-step tics.
#include "core/core_local.h"
#include "core/gate_rider.h"
#include "core/config.h"
#include "core/console.h"
#include "core/frame_record.h"
#include "core/hud_feed.h"
#include "core/program.h"
#include "core/screenshot.h"
#include "core/view.h"

#include "bike/bike.h"
#include "common/common.h"
#include "common/message.h"
#include "demo/demo.h"
#include "editor/editor.h"
#include "files/data_file.h"
#include "net/net.h"
#include "platform/controls.h"
#include "platform/event_queue.h"
#include "platform/log.h"
#include "platform/sound_device.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "render/render.h"
#include "sound/sound.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_script.h"
#include "track/track_view.h"
#include "ui/ui.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
program_state g_program;

// The local rider's controls between tics: the Sit/Dab control's value at the last tic that read
// it (its presses latch the sticky dab, or toggle the trackside view's following), and the latch.
struct rider_controls {
    float previous_dab = 0;
    bool dab_latched = false;
};
rider_controls g_controls;

// "--record-audio": the file the mixed sound goes to while recording.
struct audio_recording {
    data_file* file = nullptr;
};
audio_recording g_audio;

// Whether the Sit/Dab control went down since the last tic that read it.
bool dab_pressed(float dab) {
    const bool pressed = g_controls.previous_dab < 0.5f && dab >= 0.5f;
    g_controls.previous_dab = dab;
    return pressed;
}

bool track_loaded() { return track_current() != nullptr; }
bool has_server() { return !g_program.options.server_address.empty(); }

link_state current_link() {
    return link_state{net_connected(), net_server_tic(), race_clock(), race_gate_drop_tic()};
}

// One binary PPM picture of the viewport on the standard output, top row first.
void record_video_frame(int width, int height) {
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    if (!render_read_pixels(width, height, rgb.data())) return;
    printf("P6\n%d %d\n255\n", width, height);
    for (int row = height - 1; row >= 0; row--)
        fwrite(rgb.data() + static_cast<size_t>(row) * width * 3, 1, static_cast<size_t>(width) * 3,
               stdout);
    fflush(stdout);
}

// Draws the frame; false when the window is gone.
bool draw_frame() {
    program_state& p = g_program;
    int width = 0, height = 0;
    if (!platform().begin_frame(&width, &height)) return true;
    track_script_frame_handler(race_clock());
    p.viewport_width = width;
    p.viewport_height = height;
    set_projection(width, height, config().fov);
    const frame_record frame = frame_record_build();
    if (frame.world) world_prepare(frame.scene);
    const bool hud = p.options.show_hud;
    switch (p.view) {
    case rider_camera:
        if (frame.world)
            render_scene(frame.scene);
        else
            render_clear();
        if (hud) hud_graphs_draw();
        break;
    case orbit_camera:
        render_scene(frame.scene);
        if (hud) hud_graphs_draw();
        break;
    case trackside_camera: {
        render_scene(frame.scene);
        const rider_slot& viewed = race_slot(p.viewed_slot);
        if (hud && view_settings().trackside_follow && viewed.kind == rider_remote &&
            viewed.name[0])
            draw_centered_text(viewed.name, 30, 28);
        break;
    }
    case editor_view:
        editor_set_window(width, height);
        editor_draw();
        break;
    case title_view:
        menu_title_backdrop_draw();
        break;
    }
    if (hud) hud_draw(frame.hud);
    // A screenshot asked for since the last frame reads this one before it is shown.
    if (p.screenshot_requested) screenshot_take(width, height);
    p.screenshot_requested = false;
    if (p.options.record_video && !p.paused && p.view != title_view)
        record_video_frame(width, height);
    if (p.paused && p.options.show_pause_text) draw_centered_text("Paused", 30, 1);
    if (p.riding && p.in_warmup) draw_centered_text("Warmup mode - collisions disabled", 30, 28);
    menu_draw(width, height);
    if (p.options.glfinish) gl_finish();
    return platform().end_frame();
}

void update_sound() {
    if (!g_program.sound_device) return;
    engine_sounds_update(sound_frame_build());
}

// "--record-audio": one tic of the mixed sound appended to the recording. The engines are
// synthesised before every tic's block too, so a frame of many tics never mixes past what
// they have written.
void record_audio_tic() {
    if (!g_program.sound_device || !g_audio.file) return;
    update_sound();
    const uint8_t* block = sound_device().readback();
    if (block) data_file_write(g_audio.file, block, k_record_audio_samples_per_tic * 2);
}

// With "--warp", races follow each other with the lineup rotated, each recording, with the
// configured minutes, laps and skill. A race of that length runs until every rider has finished
// and its results are written; a longer one (the first race of a run) ends as soon as its leader
// has completed the configured laps.
void warp_restart() {
    if (running_order_count() == 0) return;
    const int laps = static_cast<int>(config().laps);
    const bool over = race_results_done();
    const race_start_params& now = race_params();
    // A lap race ends for the warp once its leader has ridden the laps (the configured ones,
    // when the running race is longer): a rider who never finishes must not stall the run.
    const int target = laps >= 1 && now.laps > laps ? laps : now.laps;
    const bool leader_done = now.time_limit_tics == 0 && target >= 1 &&
                             laps_completed(running_order_at(0).slot) >= target;
    if (!over && !leader_done) return;
    int lineup[k_lineup_size];
    std::copy(race_lineup(), race_lineup() + k_lineup_size, lineup);
    std::rotate(lineup, lineup + k_lineup_size - 1, lineup + k_lineup_size);
    race_lineup_set(lineup, k_lineup_size);
    race_start_params params = race_params();
    params.playback = false;
    params.record_mode = config().record;
    params.demo_backups = config().demo_backups;
    params.time_limit_tics = static_cast<int>(config().minutes * 60 / k_tic_length);
    params.laps = laps;
    params.skill = config().skill;
    race_start(params);
}

// Turns this tic's actions into the local rider's controls.
void feed_local_rider() {
    program_state& p = g_program;
    const float* a = p.actions;
    rider_input in = rider_input_of(p.viewed_slot);
    in.steer = setup_reverse_steering() ? -a[action_steer] : a[action_steer];
    in.front_brake = a[action_front_brake];
    in.rear_brake = a[action_rear_brake];
    in.throttle = a[action_throttle];
    const float dab = a[action_sit];
    const bool pressed = dab_pressed(dab);
    if (setup_sticky_dab()) {
        if (pressed) g_controls.dab_latched = !g_controls.dab_latched;
        in.sit = g_controls.dab_latched ? 1.0f : 0.0f;
    } else {
        in.sit = dab;
    }
    in.back_up = a[action_back_up];
    in.lean = a[action_lean];
    float clutch = std::clamp(1.0f - a[action_clutch] * 1.1428572f, 0.0f, 1.0f);
    // The clutch may drop at once but engages at most 4 units per second.
    if (clutch > in.clutch)
        clutch = std::min(clutch, in.clutch + 4.0f * static_cast<float>(k_tic_length));
    in.clutch = clutch;
    in.shift = a[action_shift] > 0.5f ? 1 : a[action_shift] < -0.5f ? -1 : 0;
    rider_input_set(p.viewed_slot, in);
}

// The server ended the connection or went silent: the player is back at the menus, with the
// race left as it stood.
void back_to_menus() {
    g_program.options.server_address.clear();
    menu_open(menu_main);
}

void tic_body() {
    program_state& p = g_program;
    frame_timing& t = p.time;
    t.sim_time += k_tic_length;
    const double deadline = t.frame_time - (t.target_time - t.sim_time);
    std::fill(p.actions, p.actions + k_action_channels, 0.0f);
    platform_event e;
    while (deadline < t.frame_time ? next_event_before(&e, deadline) : next_event(&e))
        handle_event(e);
    bindings_capture_tic(p.time.run_clock);
    bindings_sum(p.actions);

    const bool menu_open = menu_page() != menu_none;
    if (p.riding && menu_open && !has_server()) return;
    if (p.view == editor_view) {
        editor_tic();
        if (!has_server()) return;
    } else if (!menu_open && p.view != title_view) {
        const rider_slot& viewed = race_slot(p.viewed_slot);
        if (p.riding) {
            if (viewed.kind == rider_local && viewed.bike >= 0 && !p.options.autopilot)
                feed_local_rider();
        } else if (p.view == orbit_camera) {
            orbit_camera_tic(p.actions);
        } else if (p.view == trackside_camera) {
            trackside_camera_tic(p.actions, dab_pressed(p.actions[action_sit]));
        }
    }
    // The scripted rider rides the local bike wherever the cameras are and whatever page is up
    // (a warped race runs under the menus), or that bike would stand on the grid with the
    // controls of an earlier race.
    if (const int local = race_local_slot(); p.options.autopilot && local >= 0)
        rider_input_set(local, gate_rider_input(local));
    if (has_server()) p.paused = false;
    net_tic(platform().clock());
    p.in_warmup = net_in_warmup();
    // A race the server started: the cameras follow the local rider's slot.
    if (int started = net_take_started_slot(); started >= 0) p.viewed_slot = started;
    if (net_take_link_ended()) back_to_menus();
    if (!track_loaded()) p.view = title_view;
    if (!p.paused && p.view != title_view && (!net_connected() || net_server_sent_tic())) {
        world_tic();
        record_audio_tic();
    }
}

int32_t code_of(const char* name) { return key_code_of(name); }

constexpr int32_t k_key_tab = 9;
constexpr int k_fixed_key = -1;

// Watching others is for spectators, warm-up and spy mode, not for a racing rider.
void step_running_order(int step) {
    const program_state& p = g_program;
    if (!p.riding || p.in_warmup || config().spy != 0) view_step_running_order(step);
}

// A key pressed in a view with no menu open, and what it does: a special binding, or the fixed
// keys from `first` to `last`. The first record whose key it is and whose condition holds (none:
// always) takes the press.
struct press_action {
    int special; // a special_binding, or k_fixed_key
    int32_t first, last;
    bool (*allowed)();
    void (*run)(int32_t code);
};

constexpr press_action k_press_actions[] = {
    {special_pause, 0, 0, [] { return !has_server(); },
     [](int32_t) { g_program.paused = !g_program.paused; }},
    {special_step, 0, 0, [] { return g_program.paused; }, [](int32_t) { world_tic(); }},
    {k_fixed_key, k_key_tab, k_key_tab, nullptr, [](int32_t) { view_cycle(); }},
    {special_rewind, 0, 0, nullptr,
     [](int32_t) { demo_seek(-1, g_program.options.accurate_skip); }},
    {special_skip, 0, 0, nullptr, [](int32_t) { demo_seek(1, g_program.options.accurate_skip); }},
    {special_prev, 0, 0, nullptr, [](int32_t) { step_running_order(-1); }},
    {special_next, 0, 0, nullptr, [](int32_t) { step_running_order(1); }},
    {special_telemetry, 0, 0, nullptr, [](int32_t) { run_line("/toggletelemetry"); }},
    {special_screenshot, 0, 0, [] { return g_program.view != editor_view; },
     [](int32_t) { g_program.screenshot_requested = true; }},
    {k_fixed_key, '0', '9', nullptr,
     [](int32_t code) { view_choose_trackside(std::min(code - '0', track_camera_count()) - 1); }},
};

bool press_matches(const press_action& a, int32_t code) {
    if (a.special != k_fixed_key) return is_special(code, static_cast<special_binding>(a.special));
    return code >= a.first && code <= a.last;
}

void handle_press_without_menu(int32_t code) {
    const program_state& p = g_program;
    if (is_special(code, special_console) && p.view != editor_view) {
        menu_open(menu_chat);
        return;
    }
    if (p.view == title_view) return;
    if (p.view == editor_view && editor_key(code, 1)) return;
    for (const press_action& a : k_press_actions) {
        if (!press_matches(a, code) || (a.allowed && !a.allowed())) continue;
        a.run(code);
        return;
    }
}
} // namespace

const program_state& program() { return g_program; }
program_state& program_edit() { return g_program; }
void program_reset() {
    g_program = program_state{};
    g_controls = rider_controls{};
    view_reset();
    gate_rider_reset();
}

bool local_dab_latched() { return g_controls.dab_latched; }

void window_size_remember() {
    if (!video_mode_current_windowed()) return;
    config_edit().xres = g_program.viewport_width;
    config_edit().yres = g_program.viewport_height;
}

bool audio_recording_open(const char* path) {
    audio_recording_close();
    g_audio.file = data_file_open(path, "wb");
    return g_audio.file != nullptr;
}

void audio_recording_close() {
    if (g_audio.file) data_file_close(g_audio.file);
    g_audio.file = nullptr;
}

void fps_histogram_count(uint32_t histogram[8], double gap) {
    int bin = 0;
    while (bin < 7 && gap >= (1 << bin) * k_tic_length) bin++;
    histogram[bin]++;
}

double frame_step_scale(double step, const link_state& link) {
    if (!link.connected) return step;
    double x = k_tic_length * (link.server_tic - link.local_tic - 1);
    double factor;
    if (x < 0)
        factor = 0.5 + 0.5 * std::clamp(x + 1, 0.0, 1.0);
    else if (link.local_tic < link.gate_drop_tic)
        factor = 1 + 3 * std::clamp(x, 0.0, 1.0);
    else
        factor = 1 + 0.125 * std::clamp(8 * x, 0.0, 1.0);
    return step * factor;
}

double frame_step_wait(frame_timing& t, const run_options& options, const link_state& link) {
    const platform_backend& pl = platform();
    double now = pl.clock();
    fps_histogram_count(t.fps_histogram, now - t.last_frame_time);
    double step;
    for (;;) {
        double gap = now - t.last_frame_time;
        if (!link.connected && options.lock_fps > 0) {
            double period = 1.0 / options.lock_fps;
            if (gap < period) {
                platform_sleep_until(t.last_frame_time + period);
                now = pl.clock();
            }
            step = period;
            break;
        }
        if (!link.connected && options.warp) {
            step = k_warp_tics * k_tic_length;
            break;
        }
        if (gap >= k_tic_length) {
            step = std::min(gap, k_max_frame_step);
            break;
        }
        platform_sleep_until(t.last_frame_time + k_tic_length);
        now = pl.clock();
    }
    t.frame_time = now;
    t.min_frame_step = std::min(t.min_frame_step, step);
    t.max_frame_step = std::max(t.max_frame_step, step);
    return frame_step_scale(step, link);
}

void run_tics() {
    while (g_program.time.sim_time < g_program.time.target_time) tic_body();
}

void run_one_tic() { tic_body(); }

void world_tic() {
    race_world_tic();
    console_world_tic(g_program.viewed_slot);
    g_program.world_tics++;
}

void handle_event(const platform_event& e) {
    program_state& p = g_program;
    if (e.control == k_control_close) {
        if (e.pressed) p.quit_requested = true;
        return;
    }
    menu_note_event();
    bindings_key(e.control, e.pressed);
    if (e.control == k_control_mouse_left) p.cursor_held = e.pressed != 0;
    // The editor's strokes and pans end when their button comes up.
    if (!e.pressed && p.view == editor_view && menu_page() == menu_none) editor_key(e.control, 0);
    if (!e.pressed) return;
    if (bindings_capture_press(e.control, p.time.run_clock)) return;
    if (e.control == code_of("esc")) {
        menu_open(menu_page() == menu_none ? menu_main : menu_none);
        return;
    }
    if (menu_page() != menu_none) {
        menu_key(e.control);
        if (!track_loaded()) p.view = title_view;
        return;
    }
    handle_press_without_menu(e.control);
}

bool frame_once() {
    program_state& p = g_program;
    if (p.quit_requested) return false;
    fix_view_mode();
    if (!draw_frame()) return false;
    update_sound();
    double step = frame_step_wait(p.time, p.options, current_link());
    p.time.target_time += step;
    p.time.run_clock += step;
    p.time.last_frame_time = p.time.frame_time;
    menu_settle();
    if (menu_page() != menu_none) menu_pointer_frame(p.viewport_width, p.viewport_height);
    run_tics();
    if (p.options.warp && p.view != title_view) warp_restart();
    if (p.view != title_view) {
        ground_refresh(p.view == editor_view ? 0 : static_cast<int>(config().reshade_delay));
        messages_expire(p.time.run_clock);
    }
    return true;
}
