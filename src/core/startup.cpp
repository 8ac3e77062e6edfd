// Start-up, in its fixed order, and the orderly shut-down.
#include "core/core_local.h"
#include "core/config.h"
#include "core/program.h"
#include "core/shape_check.h"

#include "bike/bike.h"
#include "common/loading.h"
#include "common/message.h"
#include "common/not_built.h"
#include "demo/demo.h"
#include "editor/editor.h"
#include "files/data_file.h"
#include "files/files.h"
#include "net/net.h"
#include "platform/controls.h"
#include "platform/event_queue.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/sound_device.h"
#include "race/race.h"
#include "race/series.h"
#include "render/render.h"
#include "render/shaders.h"
#include "resources/gpu.h"
#include "resources/model.h"
#include "resources/resources.h"
#include "sound/sound.h"
#include "terrain/erosion.h"
#include "terrain/ground_gpu.h"
#include "terrain/roost.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "ui/text.h"
#include "ui/ui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {
struct startup_state {
    int argc = 0;
    const char* const* argv = nullptr;
    bool window = false;
    double last_loading_draw = -1; // s
    std::string requested;         // the track the command line asks to race on
    bool demo_named = false;       // the command line names a demo to play
};
startup_state g_startup;

void drain_events() {
    platform_event e;
    while (next_event(&e))
        if (e.control == k_control_close) program_edit().quit_requested = true;
}

// Draws the loading screen with a progress text.
void draw_loading(const char* text) {
    int width, height;
    if (!platform().begin_frame(&width, &height)) return;
    set_projection(width, height, config().fov);
    loading_screen_draw(text);
    platform().end_frame();
}

// Redraws the loading screen at most every 1/16 s while loading runs.
void loading_screen() {
    double now = platform().clock();
    if (g_startup.last_loading_draw >= 0 && now - g_startup.last_loading_draw < 1.0 / 16) return;
    g_startup.last_loading_draw = now;
    draw_loading("");
}

// A shut-down step that the player sees on the screen and the log keeps.
void progress(const char* label) {
    log("%s\n", label);
    if (g_startup.window) draw_loading(label);
}

void close_sound_for_exit() { close_sound_device(); }

// Opens the recording file and the readback output for "--record-audio", else the streaming
// output unless "--nosound"; true when there is a sound device.
bool open_sound() {
    program_state& p = program_edit();
    if (!p.options.record_audio.empty()) {
        if (!audio_recording_open(p.options.record_audio.c_str())) {
            log("Can't write the audio recording %s\n", p.options.record_audio.c_str());
            return false;
        }
        return open_readback_device(k_record_audio_rate, k_record_audio_samples_per_tic);
    }
    return !p.options.sound_off && open_sound_device();
}

bool has_detected_mmx() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

bool wants_help(int argc, const char* const* argv) {
    for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; i++)
        if (strcmp(argv[i], "--help") == 0) return true;
    return false;
}

// The settings and working values the running features take from the program core.
void hand_out_working_values(const run_options& options) {
    const graphics_working& g = graphics();
    texture_set_detail(g.model_texture_skip, g.texture_compress_mode);
    model_set_lod(g.model_lod_bias, g.model_lod_scale);
    model_set_vertex_arrays(!options.no_vertex_arrays);
    messages_set_max_lines(config().message_lines);
    ground_settings ground = ground_config();
    ground.render_texture = config().render_texture;
    ground.lod_factor = g.terrain_lod_factor;
    ground.texture_skip = g.ground_texture_skip;
    ground.texture_size = g.ground_texture_size;
    ground.mipmaps = config().ground_mipmaps != 0;
    ground.packed_arithmetic = options.mmx_allowed;
    ground.vertex_arrays = !options.no_vertex_arrays;
    ground.full_detail_distance = g.detail_full_distance;
    ground_configure(ground);
    roost_set_frequency(g.roost_frequency);
}

// Waits until the window can be drawn; false when it was closed meanwhile.
bool wait_for_window() {
    int width, height;
    while (!platform().begin_frame(&width, &height)) {
        drain_events();
        if (program().quit_requested) return false;
        platform().sleep(0, 62500);
    }
    return true;
}

void start_first_race(const std::string& track) {
    race_start_params params;
    params.track = track;
    params.playback = !program().options.file.empty();
    params.record_mode = 0;
    params.time_limit_tics = 0;
    params.laps = 1000;
    params.skill = config().skill;
    params.demo_backups = config().demo_backups;
    race_start(params);
}

// With erosion on, the ground as the ruts leave it once every queued edit is dug: riders of
// one online race end with the same digest.
void log_rutted_ground() {
    if (erosion_setting() <= 0 || !ground().field.heights) return;
    erosion_settle();
    char hex[41];
    height_field_heights_digest(ground().field, hex);
    log("Rutted ground %s after %d dug points\n", hex, erosion_moved().entries);
}

// What a stage's start leaves the program to do: go on to the next stage, or stop with a status
// (the stages started so far are ended, last first).
constexpr int k_go_on = -1;

// Start-up: the log and the data and home folders, and the build's first log line.
int start_log() {
    if (!find_game_data()) {
        platform().message_box("Problem starting Trailbok", "Can't find game data\n");
        return 0;
    }
    log("Trailbok version %s\n", k_version_text);
    return k_go_on;
}

void end_log() {
    log_close();
    report_allocations();
    platform().sleep(1, 0);
}

int start_video_modes() {
    video_modes_build();
    return k_go_on;
}

int start_processor_check() {
    if (!has_detected_mmx()) log("This CPU does not have MMX!\n");
    return k_go_on;
}

int start_default_bike() {
    bike_select_default();
    return k_go_on;
}

int start_config() {
    read_config();
    graphics_edit() = graphics_derive(config_edit());
    return k_go_on;
}

int start_command_line() {
    program_state& p = program_edit();
    p.options.mmx_allowed = has_detected_mmx();
    command_line_target target{p.options, config_edit(), graphics_edit()};
    parse_result parsed = parse_command_line(g_startup.argc, g_startup.argv, target);
    if (!parsed.ok) {
        fputs(parsed.error.c_str(), stderr);
        return 1;
    }
    if (p.options.open_home) {
        open_home_in_browser();
        return 0;
    }
    set_debug_level(p.options.debug);
    hand_out_working_values(p.options);
    return k_go_on;
}

// The window with its GL context and input devices, and the loading screen.
int start_window() {
    program_state& p = program_edit();
    const settings& cfg = config();
    const bool windowed = video_mode_windowed();
    int width = windowed ? cfg.xres : video_mode_selected().width;
    int height = windowed ? cfg.yres : video_mode_selected().height;
    int flags = p.options.colour_depth | (windowed ? 0 : k_window_fullscreen);
    if (!platform().create_window("Trailbok", width, height, flags, p.options.depth_bits)) return 1;
    p.viewport_width = width;
    p.viewport_height = height;
    video_mode_set_current(cfg.video_mode);
    g_startup.window = true;
    resources_set_gpu(&k_resources_gpu_gl);
    ground_set_gpu(&k_ground_gpu_gl);
    loading_set_clock(platform().clock);
    loading_set_drawer(draw_loading);
    drain_events();
    loading_screen();
    return k_go_on;
}

// The textures, models, programs and fonts on the card go with the window.
void end_window() {
    progress("Deleting textures");
    textures_free();
    progress("Deleting models");
    models_free();
    shaders_free();
    fonts_free();
    loading_set_drawer(nullptr);
    platform().destroy_window();
    resources_set_gpu(nullptr);
    ground_set_gpu(nullptr);
    g_startup.window = false;
}

// The file index and the check of the fixed bike shape files.
int start_files() {
    file_index();
    loading_screen();
    fixed_shape_check();
    return k_go_on;
}

void end_files() {
    progress("Freeing file list");
    files_free();
    progress("Freeing memory (4)");
    bike_tables_free();
}

// The texture choices, the tracks, the demos and the points series; the track to race on.
int start_lists() {
    program_state& p = program_edit();
    settings& cfg = config_edit();
    texture_choice_lists_build();
    if (track_list_scan() == 0) {
        fputs("No tracks found\n", stderr);
        return 1;
    }
    demo_list_build();
    series_load_all();
    g_startup.requested = p.options.track;
    if (!p.options.server_address.empty()) g_startup.requested.clear();
    // A demo named on the command line plays on its own track.
    std::string demo_track;
    g_startup.demo_named = !p.options.file.empty();
    if (g_startup.demo_named && !demo_open_playback(p.options.file.c_str(), &demo_track))
        log("Can't play back %s\n", p.options.file.c_str());
    // The track choice takes a track the list has; the configured one stands otherwise.
    const std::string& chosen = !p.options.track.empty() ? p.options.track : demo_track;
    if (!chosen.empty() && track_list_find(chosen.c_str()) >= 0)
        cfg.track = chosen;
    else if (!chosen.empty())
        log("No track called \"%s\"; the track stays %s\n", chosen.c_str(), cfg.track.c_str());
    // A configured track since removed: the menus show, and the race loads, one that is here.
    if (track_list_find(cfg.track.c_str()) < 0) {
        const std::string installed = track_list_entry(0).folder;
        show_message("Track \"%s\" is not installed; racing on %s", cfg.track.c_str(),
                     installed.c_str());
        cfg.track = installed;
    }
    return k_go_on;
}

void end_lists() {
    progress("Freeing memory (2)");
    series_free();
    track_list_free();
    demo_list_free();
    progress("Freeing memory (3)");
    texture_choice_lists_free();
}

// The settings as the run leaves them go back to the home folder.
void end_settings() {
    progress("Writing config files");
    window_size_remember();
    write_config();
}

int start_sound() {
    program_edit().sound_device = open_sound();
    return k_go_on;
}

void end_sound() {
    progress("Closing audio");
    close_sound_device();
    program_edit().sound_device = false;
    audio_recording_close();
    engine_sounds_free();
}

// GL features and shader programs, fonts and HUD pictures, once the window can be drawn; a window
// closed meanwhile ends the run.
int start_drawing() {
    program_state& p = program_edit();
    bool window_ok = wait_for_window();
    if (window_ok) {
        gl_features_init(p.options.flat_shading);
        shaders_build(config().use_shader != 0);
        ground_settings ground = ground_config();
        ground.shader_programs = shaders_in_use();
        ground_configure(ground);
        statues_set_companions(shaders_in_use());
        model_set_vertex_arrays(!p.options.no_vertex_arrays);
        fonts_load();
        hud_pictures_load();
        int w, h;
        window_ok = platform().begin_frame(&w, &h) && platform().end_frame();
    }
    return window_ok ? k_go_on : 0;
}

int start_controls() {
    bindings_resolve();
    menu_init();
    return k_go_on;
}

void end_controls() {
    progress("Closing input devices");
    menu_shutdown();
    bindings_close();
}

int start_world() {
    world_create();
    // Bikes take their models and textures from the caches now that a GL context exists.
    bike_set_resource_loader(&k_bike_loader_caches);
    return k_go_on;
}

void end_world() {
    world_destroy();
    progress("Freeing memory (1)");
}

// The editor follows every track that loads while it can be reached.
int start_track_hooks() {
    const bool editor = program().options.editor;
    track_set_load_hooks(editor ? editor_load : nullptr, editor ? editor_unload : nullptr);
    return k_go_on;
}

// The track unloads while the editor still follows it.
void end_track_hooks() {
    track_unload();
    track_set_load_hooks(nullptr, nullptr);
}

int start_demos() {
    demo_init();
    // "--erode": offline races rut the ground at this rate (a server or a demo may change it).
    erosion_set_setting(program().options.erosion_rate);
    return k_go_on;
}

int start_network() {
    net_init();
    net_set_identity(k_version_text, "", "");
    return k_go_on;
}

// The rider slots and the lineup, and the first race when a track or a demo is asked for.
int start_race() {
    program_state& p = program_edit();
    const settings& cfg = config();
    race_clear_slots();
    race_set_robot_learning(p.options.learn == 1);
    race_set_robot_practice(p.options.practice);
    if (!g_startup.demo_named) {
        int lineup[k_lineup_size] = {};
        // A warped run races the configured gates, as the New Race page would line them up.
        if (p.options.warp && !p.options.ride)
            std::copy(cfg.slots, cfg.slots + k_lineup_gates, lineup);
        if (std::all_of(lineup, lineup + k_lineup_size, [](int code) { return code == 0; }))
            lineup[0] = p.options.ride ? lineup_local : lineup_robot;
        race_lineup_set(lineup, k_lineup_size);
    }
    if (!g_startup.requested.empty() || g_startup.demo_named) start_first_race(cfg.track);
    return k_go_on;
}

// The race ends: the server is left (giving back the player's own erosion setting), a series
// event still running scores what its race has so far, and the bikes go.
void end_race() {
    log_rutted_ground();
    net_disconnect();
    series_record_results(false);
    log("Deallocating bikes\n");
    for (int slot = 0; slot < k_max_riders; slot++) engine_sound_close(slot);
    race_shutdown();
    log("Finished deallocating bikes\n");
}

// One stage of the program's life: what starts it and what ends it (null: nothing). Start-up
// walks the table forwards, shut-down walks back over the stages that started.
struct program_stage {
    const char* name;
    int (*start)(); // k_go_on, or the status the run stops with
    void (*end)();
};

constexpr program_stage k_stages[] = {
    {"log and data folders", start_log, end_log},
    {"video modes", start_video_modes, nullptr},
    {"processor check", start_processor_check, nullptr},
    {"default bike", start_default_bike, nullptr},
    {"configuration", start_config, nullptr},
    {"command line", start_command_line, nullptr},
    {"window", start_window, end_window},
    {"file index", start_files, end_files},
    {"track, demo and series lists", start_lists, end_lists},
    {"settings written back", nullptr, end_settings},
    {"sound output", start_sound, end_sound},
    {"drawing", start_drawing, nullptr},
    {"controls and menus", start_controls, end_controls},
    {"rigid-body world", start_world, end_world},
    {"track hooks", start_track_hooks, end_track_hooks},
    {"demos", start_demos, demo_shutdown},
    {"network", start_network, net_shutdown},
    {"race", start_race, end_race},
};
constexpr int k_stage_count = static_cast<int>(std::size(k_stages));

// Ends the stages before `count`, last first.
void end_stages(int count) {
    for (int k = count - 1; k >= 0; k--) {
        if (debug_level() > 0) log("Ending: %s\n", k_stages[k].name);
        if (k_stages[k].end) k_stages[k].end();
    }
}
} // namespace

bool program_connect(double now) {
    program_state& p = program_edit();
    net_connect_params link;
    link.password = p.options.password;
    link.fake_lag = p.options.fake_lag;
    link.fake_loss = p.options.fake_loss;
    link.fixed_shapes_match = fixed_shapes_match();
    link.record_mode = config().record;
    link.demo_backups = config().demo_backups;
    link.skill = config().skill;
    link.say = p.options.say;
    return net_connect(p.options.server_address.c_str(), link, now);
}

int program_main(int argc, const char* const* argv, const platform_backend& backend) {
    platform_use(backend);
    program_reset();
    config_reset();
    g_startup = startup_state{};
    g_startup.argc = argc;
    g_startup.argv = argv;
    not_built_reset();
    program_state& p = program_edit();

    if (argc == 2 && strcmp(argv[1], "--open-home") == 0) {
        open_home_in_browser();
        return 0;
    }
    if (wants_help(argc, argv)) {
        fputs(command_line_help().c_str(), stdout);
        return 0;
    }
    set_out_of_memory_hook(close_sound_for_exit);
    std::set_new_handler([] { out_of_memory(); });
    messages_clear();

    for (int k = 0; k < k_stage_count; k++) {
        if (!k_stages[k].start) continue;
        if (debug_level() > 0) log("Starting: %s\n", k_stages[k].name);
        const int status = k_stages[k].start();
        if (status == k_go_on) continue;
        end_stages(k);
        return status;
    }
    menu_open(p.options.server_address.empty() && !p.options.ride ? menu_main : menu_none);
    menu_settle();
    p.time.last_frame_time = platform().clock();
    if (!p.options.server_address.empty()) program_connect(p.time.last_frame_time);

    while (frame_once()) {
    }
    end_stages(k_stage_count);
    return 0;
}
