// The option table and the argument cursor that walks the command line.
#include "core/command_line.h"

#include "platform/log.h"
#include "platform/options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
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

// "%d": leading white space, a sign and digits; a number beyond the int range saturates.
bool read_int(const char* text, int* out) {
    char* end = nullptr;
    errno = 0;
    long long value = strtoll(text, &end, 10);
    if (end == text) return false;
    *out = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    return true;
}

// "%f", and only a finite number: an infinite frame rate or delay is no setting.
bool read_float(const char* text, float* out) {
    float value = 0;
    if (sscanf(text, "%f", &value) != 1 || !std::isfinite(value)) return false;
    *out = value;
    return true;
}

// A leading decimal number, 0 when there is none.
int leading_number(const char* text) {
    int value = 0;
    return read_int(text, &value) ? value : 0;
}

// A config setting given on the command line, read as the config file reads it (unchanged
// when the value does not suit it).
void set_setting(settings& s, const char* key, const char* value) {
    int number = 0;
    const setting_record* r = setting_find(key, &number);
    if (r) setting_read(s, *r, number, value);
}

void connect_to(command_line_target& t, const char* value) {
    std::string address = value;
    const std::string link = "trailbok:";
    if (address.compare(0, link.size(), link) == 0) address.erase(0, link.size());
    t.config.server_name = address.substr(0, k_server_name_max);
    server_history_push(t.config, address);
    t.options.server_address = address;
}

// What an option does with its value (nullptr for an option without one); false when the
// value is bad.
using apply_fn = bool (*)(command_line_target&, const char* value);

// One command-line option: its name, the name of its value in the help (nullptr for a flag),
// what it does, the message for a value it cannot use (nullptr: a bad value is ignored), and
// its line in the help.
struct command_option {
    const char* name;
    const char* value;
    apply_fn apply;
    const char* error;
    const char* help;
};

constexpr command_option k_options[] = {
    {"--fugly", nullptr,
     [](command_line_target& t, const char*) { return t.options.flat_shading = true; }, nullptr,
     "flat shading instead of smooth shading"},
    {"--nosound", nullptr,
     [](command_line_target& t, const char*) { return t.options.sound_off = true; }, nullptr,
     "open no sound device"},
    {"--novertexarrays", nullptr,
     [](command_line_target& t, const char*) { return t.options.no_vertex_arrays = true; }, nullptr,
     "draw geometry without vertex arrays"},
    {"--learn", nullptr,
     [](command_line_target& t, const char*) {
         t.options.learn = 1;
         return true;
     },
     nullptr, "robots learn riding lines, saved at shut-down"},
    {"--nolearn", nullptr,
     [](command_line_target& t, const char*) {
         t.options.learn = 0;
         return true;
     },
     nullptr, "line learning off"},
    {"--nommx", nullptr,
     [](command_line_target& t, const char*) {
         if (t.options.mmx_allowed) log("Ignoring MMX\n");
         t.options.mmx_allowed = false;
         return true;
     },
     nullptr, "do not use the MMX pixel-blending path"},
    {"--debug", nullptr,
     [](command_line_target& t, const char*) {
         t.options.debug = 1;
         return true;
     },
     nullptr, "extra log lines"},
    {"--super-debug", nullptr,
     [](command_line_target& t, const char*) {
         t.options.debug = 2;
         return true;
     },
     nullptr, "even more log lines"},
    {"--practice", nullptr,
     [](command_line_target& t, const char*) { return t.options.practice = true; }, nullptr,
     "robots ride as testers, trying their least-tested lines"},
    {"--warp", nullptr, [](command_line_target& t, const char*) { return t.options.warp = true; },
     nullptr, "simulate without waiting, 100 tics a frame, races restarting"},
    {"--texture-detail", "N",
     [](command_line_target& t, const char* v) {
         int n;
         if (!read_int(v, &n)) return false;
         t.graphics.model_texture_skip = t.graphics.ground_texture_skip = std::clamp(n, 0, 4);
         return true;
     },
     "Bad arg for --texture-detail\n", "model and ground texture levels skipped, 0 to 4"},
    {"--ground-texture-detail", "N",
     [](command_line_target& t, const char* v) {
         int n;
         if (!read_int(v, &n)) return false;
         t.graphics.ground_texture_skip = std::clamp(n, 0, 4);
         return true;
     },
     "Bad arg for --ground-texture-detail\n", "ground texture levels skipped, 0 to 4"},
    {"--roostfrequency", "N",
     [](command_line_target& t, const char* v) {
         int n;
         if (!read_int(v, &n)) return false;
         t.graphics.roost_frequency = std::clamp(n, 0, 1000);
         return true;
     },
     "Bad arg for --roostfrequency\n", "hundredths of a roost batch per tic, 0 to 1000"},
    {"--erode", "RATE",
     [](command_line_target& t, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         t.options.erosion_rate = static_cast<int>(std::floor(std::clamp(f, 0.0f, 100.0f) * 1024));
         return true;
     },
     "Bad arg for --erode\n", "ground erosion rate, 0 to 100"},
    {"--detail", "FACTOR",
     [](command_line_target& t, const char* v) {
         return read_float(v, &t.graphics.terrain_lod_factor);
     },
     "Bad arg for --detail\n", "terrain level-of-detail factor (in place of ground_detail)"},
    {"--max-detail-distance", "FT",
     [](command_line_target& t, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         t.graphics.detail_full_distance = f;
         t.graphics.detail_fade_distance = f + 5;
         return true;
     },
     "Bad arg for --max-detail-distance\n",
     "terrain full-detail distance; it fades out 5 ft further"},
    {"--lod-scale", "SCALE",
     [](command_line_target& t, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         t.graphics.model_lod_scale = std::clamp(f, 0.000001f, 1000000.0f);
         return true;
     },
     "Bad arg for --lod-scale\n", "model level-of-detail distance scale"},
    {"--lod-bias", "FT",
     [](command_line_target& t, const char* v) {
         return read_float(v, &t.graphics.model_lod_bias);
     },
     "Bad arg for --lod-bias\n", "model level-of-detail bias"},
    {"--lock-fps", "FPS",
     [](command_line_target& t, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         t.options.lock_fps = f > 0 ? f : 0;
         return true;
     },
     "Bad arg for --lock-fps\n", "step at this many frames per second offline; 0 is off"},
    {"--fake-lag", "MS",
     [](command_line_target& t, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         t.options.fake_lag = std::clamp(f * 0.001f, 0.0f, 1.0f);
         return true;
     },
     "Bad arg for --fake-lag\n", "simulated network delay in milliseconds, up to 1000"},
    {"--fake-loss", "PERCENT",
     [](command_line_target& t, const char* v) {
         int n;
         if (!read_int(v, &n)) return false;
         t.options.fake_loss = std::clamp(n, 0, 100);
         return true;
     },
     "Bad arg for --fake-loss\n", "simulated packet loss in percent"},
    {"--record-audio", "FILE",
     [](command_line_target& t, const char* v) {
         t.options.record_audio = v;
         return true;
     },
     nullptr, "record the sound as raw 8-bit unsigned stereo at 88320 samples a second"},
    {"--record-video", nullptr,
     [](command_line_target& t, const char*) { return t.options.record_video = true; }, nullptr,
     "write every drawn frame to the standard output as a binary PPM picture"},
    {"--rotate-lineup", "N",
     [](command_line_target& t, const char* v) {
         read_int(v, &t.options.rotate_lineup);
         return true;
     },
     nullptr, "places the New Race lineup rotates after each start"},
    {"--editor", nullptr,
     [](command_line_target& t, const char*) { return t.options.editor = true; }, nullptr,
     "make the track editor reachable with Tab"},
    {"--hidden-pause", nullptr,
     [](command_line_target& t, const char*) {
         t.options.show_pause_text = false;
         return true;
     },
     nullptr, "do not draw \"Paused\""},
    {"--hidden-hud", nullptr,
     [](command_line_target& t, const char*) {
         t.options.show_hud = false;
         return true;
     },
     nullptr, "do not draw the HUD"},
    {"--bikes", "TEXT",
     [](command_line_target&, const char*) {
         fputs("--bikes doesn't do anything anymore\n", stderr);
         return true;
     },
     nullptr, "ignored"},
    {"--width", "PX",
     [](command_line_target& t, const char* v) {
         set_setting(t.config, "xres", v);
         return true;
     },
     nullptr, "window width (xres, 64 to 16384)"},
    {"--height", "PX",
     [](command_line_target& t, const char* v) {
         set_setting(t.config, "yres", v);
         return true;
     },
     nullptr, "window height (yres, 64 to 16384)"},
    {"--depth", "BITS",
     [](command_line_target& t, const char* v) {
         t.options.colour_depth = leading_number(v);
         return true;
     },
     nullptr, "colour depth of the window"},
    {"--zdepth", "BITS",
     [](command_line_target& t, const char* v) {
         t.options.depth_bits = leading_number(v);
         return true;
     },
     nullptr, "depth-buffer bits"},
    {"--draw-fps", "N",
     [](command_line_target& t, const char* v) {
         set_setting(t.config, "draw_fps", v);
         return true;
     },
     nullptr, "non-zero shows the frames-per-second line (draw_fps)"},
    {"--draw-time", "N",
     [](command_line_target& t, const char* v) {
         set_setting(t.config, "draw_time", v);
         return true;
     },
     nullptr, "non-zero shows the clock line (draw_time)"},
    {"--draw-ping", "N",
     [](command_line_target& t, const char* v) {
         set_setting(t.config, "draw_ping", v);
         return true;
     },
     nullptr, "non-zero shows the network delay (draw_ping)"},
    {"--draw-speed", "N",
     [](command_line_target& t, const char* v) {
         set_setting(t.config, "draw_speed", v);
         return true;
     },
     nullptr, "non-zero shows the speed line (draw_speed)"},
    {"--draw-render-stats", "N",
     [](command_line_target& t, const char* v) {
         read_int(v, &t.options.draw_render_stats);
         return true;
     },
     nullptr, "non-zero shows the render statistics lines"},
    {"--accurate-skip", nullptr,
     [](command_line_target& t, const char*) { return t.options.accurate_skip = true; }, nullptr,
     "the skip key runs every tic in old demos too"},
    {"--track", "NAME",
     [](command_line_target& t, const char* v) {
         t.options.track = v;
         return true;
     },
     nullptr, "the track to load at start-up"},
    {"--connect", "ADDRESS",
     [](command_line_target& t, const char* v) {
         connect_to(t, v);
         return true;
     },
     nullptr, "join a race server (a \"trailbok:\" link works too)"},
    {"--password", "TEXT",
     [](command_line_target& t, const char* v) {
         t.options.password = v;
         return true;
     },
     nullptr, "the password sent when joining the server"},
    {"--chase-center", "X,Y,Z",
     [](command_line_target& t, const char* v) {
         float c[3];
         if (sscanf(v, "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) return false;
         if (!std::all_of(c, c + 3, [](float x) { return std::isfinite(x); })) return false;
         std::copy(c, c + 3, t.options.chase_center);
         return true;
     },
     "Bad arg for --chase-center\n", "the orbit camera's target in the bike's frame, ft"},
    {"--open-home", nullptr,
     [](command_line_target& t, const char*) { return t.options.open_home = true; }, nullptr,
     "open the home folder in the file browser and stop"},
    {"--glfinish", nullptr,
     [](command_line_target& t, const char*) { return t.options.glfinish = true; }, nullptr,
     "wait for the GL to finish before each buffer swap"},
    {"--print-orientation", nullptr,
     [](command_line_target& t, const char*) { return t.options.print_orientation = true; },
     nullptr, "print the rider camera's time, eye and orientation as it is drawn"},
    {"--ride", nullptr, [](command_line_target& t, const char*) { return t.options.ride = true; },
     nullptr, "ride the first race yourself from the first start place, no menu open"},
};

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
            if (!opt.apply(target, value) && opt.error) return {false, opt.error};
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
                      "  --help                  this list\n";
    for (const command_option& opt : k_options) {
        std::string name = std::string(opt.name) + (opt.value ? std::string(" ") + opt.value : "");
        char line[256];
        snprintf(line, sizeof line, "  %-23s %s\n", name.c_str(), opt.help);
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
