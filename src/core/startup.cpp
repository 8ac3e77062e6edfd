// Start-up, in its fixed order, and the orderly shut-down.
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
    bool window = false;
    double last_loading_draw = -1; // s
};
startup_state g_startup;

void drain_events() {
    platform_event e;
    while (next_event(&e))
        if (e.control == k_control_close) program().quit_requested = true;
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
    program_state& p = program();
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

// The shut-down order; with from_audio the steps before "Closing audio" are skipped.
void shutdown(bool from_audio) {
    program_state& p = program();
    if (!from_audio) {
        // Before leaving the server: leaving gives back the player's own erosion setting.
        log_rutted_ground();
        net_disconnect();
        // A series event still running scores what its race has so far.
        series_record_results(false);
        log("Deallocating bikes\n");
        for (int slot = 0; slot < k_max_riders; slot++) engine_sound_close(slot);
        race_shutdown();
        log("Finished deallocating bikes\n");
        demo_shutdown();
        demo_list_free();
        track_free();
        track_set_load_hooks(nullptr, nullptr);
        world_destroy();
        progress("Freeing memory (1)");
        progress("Closing input devices");
        menu_shutdown();
        bindings_close();
    }
    progress("Closing audio");
    close_sound_device();
    p.sound_device = false;
    audio_recording_close();
    engine_sounds_free();
    progress("Writing config files");
    window_size_remember();
    write_config();
    net_shutdown();
    progress("Freeing memory (2)");
    series_free_all();
    track_list_free();
    progress("Freeing memory (3)");
    texture_choice_lists_free();
    progress("Freeing file list");
    files_free_all();
    progress("Freeing memory (4)");
    bike_tables_free();
    progress("Deleting textures");
    textures_delete_all();
    progress("Deleting models");
    models_delete_all();
    shaders_free();
    fonts_free();
    loading_set_drawer(nullptr);
    platform().destroy_window();
    resources_set_gpu(nullptr);
    ground_set_gpu(nullptr);
    g_startup.window = false;
    log_close();
    report_allocations();
    platform().sleep(1, 0);
}

// Leaves start-up after the window exists: the window goes and the log closes.
int abandon_startup(int status) {
    loading_set_drawer(nullptr);
    platform().destroy_window();
    resources_set_gpu(nullptr);
    ground_set_gpu(nullptr);
    g_startup.window = false;
    log_close();
    return status;
}
} // namespace

bool program_connect(double now) {
    program_state& p = program();
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
    not_built_reset();
    program_state& p = program();

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

    if (!find_game_data()) {
        platform().message_box("Problem starting Trailbok", "Can't find game data\n");
        return 0;
    }
    log("Trailbok version %s\n", k_version_text);
    video_modes_build();
    if (!has_detected_mmx()) log("This CPU does not have MMX!\n");
    bike_select_default();
    read_config();
    graphics() = graphics_derive(config());

    p.options.mmx_allowed = has_detected_mmx();
    command_line_target target{p.options, config(), graphics()};
    parse_result parsed = parse_command_line(argc, argv, target);
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

    settings& cfg = config();
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
    file_index();
    loading_screen();
    fixed_shape_check();
    texture_choice_lists_build();
    if (track_list_scan() == 0) {
        fputs("No tracks found\n", stderr);
        return abandon_startup(1);
    }
    demo_list_build();
    series_load_all();
    std::string requested = p.options.track;
    if (!p.options.server_address.empty()) requested.clear();
    // A demo named on the command line plays on its own track.
    std::string demo_track;
    bool demo_named = !p.options.file.empty();
    if (demo_named && !demo_open_playback(p.options.file.c_str(), &demo_track))
        log("Can't play back %s\n", p.options.file.c_str());
    // The track choice takes a track the list has; the configured one stands otherwise.
    const std::string& chosen = !p.options.track.empty() ? p.options.track : demo_track;
    if (!chosen.empty() && track_list_find(chosen.c_str()) >= 0)
        cfg.track = chosen;
    else if (!chosen.empty())
        log("No track called \"%s\"; the track stays %s\n", chosen.c_str(), cfg.track.c_str());

    p.sound_device = open_sound();

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
    if (!window_ok) {
        shutdown(true);
        return 0;
    }
    bindings_resolve();
    menu_init();
    world_create();
    // Bikes take their models and textures from the caches now that a GL context exists.
    bike_set_resource_loader(&k_bike_loader_caches);

    // The editor follows every track that loads while it can be reached.
    track_set_load_hooks(p.options.editor ? editor_prepare : nullptr,
                         p.options.editor ? editor_release : nullptr);
    demo_init();
    // "--erode": offline races rut the ground at this rate (a server or a demo may change it).
    erosion_set_setting(p.options.erosion_rate);
    net_init();
    net_set_identity(k_version_text, "", "");
    race_clear_slots();
    race_set_robot_learning(p.options.learn == 1);
    race_set_robot_practice(p.options.practice);
    if (!demo_named) {
        int lineup[k_lineup_size] = {};
        // A warped run races the configured gates, as the New Race page would line them up.
        if (p.options.warp && !p.options.ride)
            std::copy(cfg.slots, cfg.slots + k_lineup_gates, lineup);
        if (std::all_of(lineup, lineup + k_lineup_size, [](int code) { return code == 0; }))
            lineup[0] = p.options.ride ? lineup_local : lineup_robot;
        race_lineup_set(lineup, k_lineup_size);
    }
    if (!requested.empty() || demo_named) start_first_race(cfg.track);

    menu_open(p.options.server_address.empty() && !p.options.ride ? menu_main : menu_none);
    menu_settle();
    p.time.last_frame_time = platform().clock();
    if (!p.options.server_address.empty()) program_connect(p.time.last_frame_time);

    while (frame_once()) {
    }
    shutdown(false);
    return 0;
}
