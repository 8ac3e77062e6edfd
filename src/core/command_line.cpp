// The option table and the argument cursor that walks the command line.
#include "core/command_line.h"

#include "platform/log.h"
#include "platform/options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
struct arg_cursor {
    const char* const* args;
    int left;
    bool end_of_options = false;

    const char* current() const { return left > 0 ? args[0] : nullptr; }
    void consume() {
        args++;
        left--;
    }
};

// True when the current argument is exactly name.
bool option_flag(arg_cursor& c, const char* name) {
    if (c.end_of_options || !c.current() || strcmp(c.current(), name) != 0) return false;
    c.consume();
    return true;
}

// True when the current argument is name (value in the next argument, nullptr when there is
// none) or "name=value".
bool option_value(arg_cursor& c, const char* name, const char** value) {
    if (c.end_of_options || !c.current()) return false;
    const char* arg = c.current();
    size_t n = strlen(name);
    if (strcmp(arg, name) == 0) {
        c.consume();
        *value = c.current();
        if (*value) c.consume();
        return true;
    }
    if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
        *value = arg + n + 1;
        c.consume();
        return true;
    }
    return false;
}

// A leading decimal number, 0 when there is none.
int leading_number(const char* text) {
    int value = 0;
    return config_scan_int(text, &value) ? value : 0;
}

// An integer option clamped to [lo, hi]; false when the value is not a number.
bool clamped_int(const char* text, int lo, int hi, int* out) {
    int n = 0;
    if (!config_scan_int(text, &n)) return false;
    *out = std::clamp(n, lo, hi);
    return true;
}

void connect_to(command_line_target& t, const char* value) {
    std::string address = value;
    const std::string link = "trailbok:";
    if (address.compare(0, link.size(), link) == 0) address.erase(0, link.size());
    t.config.server_name = address.substr(0, k_server_name_max);
    server_history_push(t.config, address);
    t.options.server_address = address;
}

// What an option does with its value (nullptr for a flag); false when the value is bad.
using apply_fn = bool (*)(command_line_target&, const char* value);

// One command-line option: its name, the name of its value in the help (nullptr for a flag),
// its line in the help, and what it does: turn on a run option, read its value into a config
// setting as the config file would (a value that does not suit leaves it), or its own apply,
// with the message for a value it cannot use (nullptr: a bad value is ignored).
struct command_option {
    const char* name;
    const char* value = nullptr;
    const char* help = "";
    bool run_options::*flag = nullptr;
    const char* setting = nullptr;
    apply_fn apply = nullptr;
    const char* error = nullptr;
};

const command_option k_options[] = {
    {.name = "--fugly",
     .help = "flat shading instead of smooth shading",
     .flag = &run_options::flat_shading},
    {.name = "--nosound", .help = "open no sound device", .flag = &run_options::sound_off},
    {.name = "--novertexarrays",
     .help = "draw geometry without vertex arrays",
     .flag = &run_options::no_vertex_arrays},
    {.name = "--learn",
     .help = "robots learn riding lines, saved at shut-down",
     .apply =
         [](command_line_target& t, const char*) {
             t.options.learn = 1;
             return true;
         }},
    {.name = "--nolearn",
     .help = "line learning off",
     .apply =
         [](command_line_target& t, const char*) {
             t.options.learn = 0;
             return true;
         }},
    {.name = "--nommx",
     .help = "do not use the MMX pixel-blending path",
     .apply =
         [](command_line_target& t, const char*) {
             if (t.options.mmx_allowed) log("Ignoring MMX\n");
             t.options.mmx_allowed = false;
             return true;
         }},
    {.name = "--debug",
     .help = "extra log lines",
     .apply =
         [](command_line_target& t, const char*) {
             t.options.debug = 1;
             return true;
         }},
    {.name = "--super-debug",
     .help = "even more log lines",
     .apply =
         [](command_line_target& t, const char*) {
             t.options.debug = 2;
             return true;
         }},
    {.name = "--practice",
     .help = "robots ride as testers, trying their least-tested lines",
     .flag = &run_options::practice},
    {.name = "--warp",
     .help = "simulate without waiting, 100 tics a frame, races restarting",
     .flag = &run_options::warp},
    {.name = "--texture-detail",
     .value = "N",
     .help = "model and ground texture levels skipped, 0 to 4",
     .apply =
         [](command_line_target& t, const char* v) {
             if (!clamped_int(v, 0, 4, &t.graphics.model_texture_skip)) return false;
             t.graphics.ground_texture_skip = t.graphics.model_texture_skip;
             return true;
         },
     .error = "Bad arg for --texture-detail\n"},
    {.name = "--ground-texture-detail",
     .value = "N",
     .help = "ground texture levels skipped, 0 to 4",
     .apply = [](command_line_target& t,
                 const char* v) { return clamped_int(v, 0, 4, &t.graphics.ground_texture_skip); },
     .error = "Bad arg for --ground-texture-detail\n"},
    {.name = "--roostfrequency",
     .value = "N",
     .help = "hundredths of a roost batch per tic, 0 to 1000",
     .apply = [](command_line_target& t,
                 const char* v) { return clamped_int(v, 0, 1000, &t.graphics.roost_frequency); },
     .error = "Bad arg for --roostfrequency\n"},
    {.name = "--erode",
     .value = "RATE",
     .help = "ground erosion rate, 0 to 100",
     .apply =
         [](command_line_target& t, const char* v) {
             float f;
             if (!config_scan_real(v, &f)) return false;
             t.options.erosion_rate =
                 static_cast<int>(std::floor(std::clamp(f, 0.0f, 100.0f) * 1024));
             return true;
         },
     .error = "Bad arg for --erode\n"},
    {.name = "--detail",
     .value = "FACTOR",
     .help = "terrain level-of-detail factor (in place of ground_detail)",
     .apply = [](command_line_target& t,
                 const char* v) { return config_scan_real(v, &t.graphics.terrain_lod_factor); },
     .error = "Bad arg for --detail\n"},
    {.name = "--max-detail-distance",
     .value = "FT",
     .help = "terrain full-detail distance; it fades out 5 ft further",
     .apply =
         [](command_line_target& t, const char* v) {
             float f;
             if (!config_scan_real(v, &f)) return false;
             t.graphics.detail_full_distance = f;
             t.graphics.detail_fade_distance = f + 5;
             return true;
         },
     .error = "Bad arg for --max-detail-distance\n"},
    {.name = "--lod-scale",
     .value = "SCALE",
     .help = "model level-of-detail distance scale",
     .apply =
         [](command_line_target& t, const char* v) {
             float f;
             if (!config_scan_real(v, &f)) return false;
             t.graphics.model_lod_scale = std::clamp(f, 0.000001f, 1000000.0f);
             return true;
         },
     .error = "Bad arg for --lod-scale\n"},
    {.name = "--lod-bias",
     .value = "FT",
     .help = "model level-of-detail bias",
     .apply = [](command_line_target& t,
                 const char* v) { return config_scan_real(v, &t.graphics.model_lod_bias); },
     .error = "Bad arg for --lod-bias\n"},
    {.name = "--lock-fps",
     .value = "FPS",
     .help = "step at this many frames per second offline; 0 is off",
     .apply =
         [](command_line_target& t, const char* v) {
             float f;
             if (!config_scan_real(v, &f)) return false;
             t.options.lock_fps = f > 0 ? f : 0;
             return true;
         },
     .error = "Bad arg for --lock-fps\n"},
    {.name = "--fake-lag",
     .value = "MS",
     .help = "simulated network delay in milliseconds, up to 1000",
     .apply =
         [](command_line_target& t, const char* v) {
             float f;
             if (!config_scan_real(v, &f)) return false;
             t.options.fake_lag = std::clamp(f * 0.001f, 0.0f, 1.0f);
             return true;
         },
     .error = "Bad arg for --fake-lag\n"},
    {.name = "--fake-loss",
     .value = "PERCENT",
     .help = "simulated packet loss in percent",
     .apply = [](command_line_target& t,
                 const char* v) { return clamped_int(v, 0, 100, &t.options.fake_loss); },
     .error = "Bad arg for --fake-loss\n"},
    {.name = "--record-audio",
     .value = "FILE",
     .help = "record the sound as raw 8-bit unsigned stereo at 88320 samples a second",
     .apply =
         [](command_line_target& t, const char* v) {
             t.options.record_audio = v;
             return true;
         }},
    {.name = "--record-video",
     .help = "write every drawn frame to the standard output as a binary PPM picture",
     .flag = &run_options::record_video},
    {.name = "--rotate-lineup",
     .value = "N",
     .help = "places the New Race lineup rotates after each start",
     .apply =
         [](command_line_target& t, const char* v) {
             config_scan_int(v, &t.options.rotate_lineup);
             return true;
         }},
    {.name = "--editor",
     .help = "make the track editor reachable with Tab",
     .flag = &run_options::editor},
    {.name = "--hidden-pause",
     .help = "do not draw \"Paused\"",
     .apply =
         [](command_line_target& t, const char*) {
             t.options.show_pause_text = false;
             return true;
         }},
    {.name = "--hidden-hud",
     .help = "do not draw the HUD",
     .apply =
         [](command_line_target& t, const char*) {
             t.options.show_hud = false;
             return true;
         }},
    {.name = "--bikes",
     .value = "TEXT",
     .help = "ignored",
     .apply =
         [](command_line_target&, const char*) {
             fputs("--bikes doesn't do anything anymore\n", stderr);
             return true;
         }},
    {.name = "--width",
     .value = "PX",
     .help = "window width (xres, 64 to 16384)",
     .setting = "xres"},
    {.name = "--height",
     .value = "PX",
     .help = "window height (yres, 64 to 16384)",
     .setting = "yres"},
    {.name = "--depth",
     .value = "BITS",
     .help = "colour depth of the window",
     .apply =
         [](command_line_target& t, const char* v) {
             t.options.colour_depth = leading_number(v);
             return true;
         }},
    {.name = "--zdepth",
     .value = "BITS",
     .help = "depth-buffer bits",
     .apply =
         [](command_line_target& t, const char* v) {
             t.options.depth_bits = leading_number(v);
             return true;
         }},
    {.name = "--draw-fps",
     .value = "N",
     .help = "non-zero shows the frames-per-second line (draw_fps)",
     .setting = "draw_fps"},
    {.name = "--draw-time",
     .value = "N",
     .help = "non-zero shows the clock line (draw_time)",
     .setting = "draw_time"},
    {.name = "--draw-ping",
     .value = "N",
     .help = "non-zero shows the network delay (draw_ping)",
     .setting = "draw_ping"},
    {.name = "--draw-speed",
     .value = "N",
     .help = "non-zero shows the speed line (draw_speed)",
     .setting = "draw_speed"},
    {.name = "--draw-render-stats",
     .value = "N",
     .help = "non-zero shows the render statistics lines",
     .apply =
         [](command_line_target& t, const char* v) {
             config_scan_int(v, &t.options.draw_render_stats);
             return true;
         }},
    {.name = "--accurate-skip",
     .help = "the skip key runs every tic in old demos too",
     .flag = &run_options::accurate_skip},
    {.name = "--track",
     .value = "NAME",
     .help = "the track to load at start-up",
     .apply =
         [](command_line_target& t, const char* v) {
             t.options.track = v;
             return true;
         }},
    {.name = "--connect",
     .value = "ADDRESS",
     .help = "join a race server (a \"trailbok:\" link works too)",
     .apply =
         [](command_line_target& t, const char* v) {
             connect_to(t, v);
             return true;
         }},
    {.name = "--password",
     .value = "TEXT",
     .help = "the password sent when joining the server",
     .apply =
         [](command_line_target& t, const char* v) {
             t.options.password = v;
             return true;
         }},
    {.name = "--chase-center",
     .value = "X,Y,Z",
     .help = "the orbit camera's target in the bike's frame, ft",
     .apply =
         [](command_line_target& t, const char* v) {
             float c[3];
             if (sscanf(v, "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) return false;
             if (!std::all_of(c, c + 3, [](float x) { return std::isfinite(x); })) return false;
             std::copy(c, c + 3, t.options.chase_center);
             return true;
         },
     .error = "Bad arg for --chase-center\n"},
    {.name = "--open-home",
     .help = "open the home folder in the file browser and stop",
     .flag = &run_options::open_home},
    {.name = "--glfinish",
     .help = "wait for the GL to finish before each buffer swap",
     .flag = &run_options::glfinish},
    {.name = "--print-orientation",
     .help = "print the rider camera's time, eye and orientation as it is drawn",
     .flag = &run_options::print_orientation},
    {.name = "--ride",
     .help = "ride the first race yourself from the first start place, no menu open",
     .flag = &run_options::ride},
    {.name = "--autopilot",
     .help = "test aid: a scripted rider rides the local bike",
     .flag = &run_options::autopilot},
    {.name = "--say",
     .value = "TEXT",
     .help = "test aid: say this on the chat line once racing on a server",
     .apply =
         [](command_line_target& t, const char* v) {
             t.options.say = v;
             return true;
         }},
};

// Carries out one option; false when its value is bad.
bool apply_option(const command_option& opt, command_line_target& t, const char* value) {
    if (opt.flag) t.options.*opt.flag = true;
    if (opt.setting) {
        int number = 0;
        if (const setting_record* r = setting_find(opt.setting, &number))
            setting_read(t.config, *r, number, value);
    }
    return !opt.apply || opt.apply(t, value);
}

// An option that needs a value and stands last: its own "Bad arg for" message, else this one.
std::string missing_value(const command_option& opt) {
    return opt.error ? opt.error : std::string("Missing value for ") + opt.name + "\n";
}
} // namespace

parse_result parse_command_line(int argc, const char* const* argv, command_line_target& target) {
    arg_cursor c{argv + 1, argc - 1};
    while (c.current()) {
        if (!c.end_of_options && strcmp(c.current(), "--") == 0) {
            c.end_of_options = true;
            c.consume();
            continue;
        }
        bool matched = false;
        for (const command_option& opt : k_options) {
            const char* value = nullptr;
            if (!(opt.value ? option_value(c, opt.name, &value) : option_flag(c, opt.name)))
                continue;
            matched = true;
            if (opt.value && !value) return {false, missing_value(opt)};
            if (!apply_option(opt, target, value) && opt.error) return {false, opt.error};
            break;
        }
        if (target.options.open_home) return {};
        if (matched) continue;
        const char* arg = c.current();
        if (arg[0] == '-' && !c.end_of_options)
            return {false, std::string("bad option '") + arg + "'\n"};
        if (!target.options.file.empty()) return {false, "Too many files!\n"};
        target.options.file = arg;
        c.consume();
    }
    // The server chooses the track.
    if (!target.options.server_address.empty()) target.options.track.clear();
    return {};
}

std::string command_line_help() {
    std::string out = "Usage: trailbok [options] [demo file]\n"
                      "  --help                    this list\n";
    for (const command_option& opt : k_options) {
        std::string name = std::string(opt.name) + (opt.value ? std::string(" ") + opt.value : "");
        char line[256];
        snprintf(line, sizeof line, "  %-25s %s\n", name.c_str(), opt.help);
        out += line;
    }
    out += "An option's value may also follow an \"=\" (--track=rabbithill); \"--\" ends the "
           "options.\n"
           "An option that needs a value and has none ends the run with its \"Bad arg for\"\n"
           "message, or with \"Missing value for\" and its name. A value that is not a number\n"
           "leaves --rotate-lineup, --width, --height and the --draw options unchanged.\n"
           "--width, --height, --draw-fps, --draw-time, --draw-ping, --draw-speed and --connect\n"
           "change settings of the config file, which keeps them.\n";
    return out + platform_options_help();
}

std::vector<std::string> command_line_option_names() {
    std::vector<std::string> names;
    for (const command_option& opt : k_options) names.push_back(opt.name);
    return names;
}
