// The option table and the argument cursor that walks the command line.
#include "core/command_line.h"

#include "platform/options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// True when the current argument is name (value in the next argument) or "name=value".
bool option_value(arg_cursor& c, const char* name, const char** value) {
    if (c.end_of_options || !c.current()) return false;
    const char* arg = c.current();
    size_t n = strlen(name);
    if (strcmp(arg, "--") == 0) {
        c.end_of_options = true;
        c.consume();
        return false;
    }
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

bool read_int(const char* text, int* out) { return text && sscanf(text, "%d", out) == 1; }
bool read_float(const char* text, float* out) { return text && sscanf(text, "%f", out) == 1; }

// Leading decimal digits, 0 when there are none.
int leading_number(const char* text) { return text ? atoi(text) : 0; }

using apply_fn = bool (*)(run_options&, const char* value);

// One command-line option: its name, whether it takes a value, what it does, and the
// message for a value it cannot use (nullptr: a bad value is ignored).
struct command_option {
    const char* name;
    bool takes_value;
    apply_fn apply;
    const char* error;
    const char* help;
};

constexpr command_option k_options[] = {
    {"--fugly", false, [](run_options& o, const char*) { return o.flat_shading = true; }, nullptr,
     "flat shading"},
    {"--nosound", false, [](run_options& o, const char*) { return o.sound_off = true; }, nullptr,
     "no sound device"},
    {"--novertexarrays", false,
     [](run_options& o, const char*) { return o.no_vertex_arrays = true; }, nullptr,
     "draw without vertex arrays"},
    {"--learn", false,
     [](run_options& o, const char*) {
         o.learn = 1;
         return true;
     },
     nullptr, "robots learn riding lines"},
    {"--nolearn", false,
     [](run_options& o, const char*) {
         o.learn = 0;
         return true;
     },
     nullptr, "line learning off"},
    {"--nommx", false,
     [](run_options& o, const char*) {
         o.mmx_allowed = false;
         return true;
     },
     nullptr, "plain pixel blending"},
    {"--debug", false,
     [](run_options& o, const char*) {
         o.debug = 1;
         return true;
     },
     nullptr, "extra log lines"},
    {"--super-debug", false,
     [](run_options& o, const char*) {
         o.debug = 2;
         return true;
     },
     nullptr, "even more log lines"},
    {"--practice", false, [](run_options& o, const char*) { return o.practice = true; }, nullptr,
     "robots try their least-tested lines"},
    {"--warp", false, [](run_options& o, const char*) { return o.warp = true; }, nullptr,
     "simulate without waiting, 100 tics a frame"},
    {"--erode", true,
     [](run_options& o, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         o.erosion_rate = static_cast<int>(std::floor(std::clamp(f, 0.0f, 100.0f) * 1024.0f));
         return true;
     },
     "Bad arg for --erode\n", "erosion rate"},
    {"--lock-fps", true,
     [](run_options& o, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         o.lock_fps = f > 0 ? f : 0;
         return true;
     },
     "Bad arg for --lock-fps\n", "frames per second to step at"},
    {"--fake-lag", true,
     [](run_options& o, const char* v) {
         float f;
         if (!read_float(v, &f)) return false;
         o.fake_lag = std::clamp(f * 0.001f, 0.0f, 1.0f);
         return true;
     },
     "Bad arg for --fake-lag\n", "simulated network delay in milliseconds"},
    {"--fake-loss", true,
     [](run_options& o, const char* v) {
         int n;
         if (!read_int(v, &n)) return false;
         o.fake_loss = std::clamp(n, 0, 100);
         return true;
     },
     "Bad arg for --fake-loss\n", "simulated packet loss in percent"},
    {"--record-audio", true,
     [](run_options& o, const char* v) {
         if (v) o.record_audio = v;
         return true;
     },
     nullptr, "record the sound to a file"},
    {"--record-video", false, [](run_options& o, const char*) { return o.record_video = true; },
     nullptr, "write every frame to the standard output as PPM"},
    {"--rotate-lineup", true,
     [](run_options& o, const char* v) {
         read_int(v, &o.rotate_lineup);
         return true;
     },
     nullptr, "places the lineup rotates after each race"},
    {"--editor", false, [](run_options& o, const char*) { return o.editor = true; }, nullptr,
     "make the track editor reachable with Tab"},
    {"--hidden-pause", false,
     [](run_options& o, const char*) {
         o.show_pause_text = false;
         return true;
     },
     nullptr, "do not draw \"Paused\""},
    {"--hidden-hud", false,
     [](run_options& o, const char*) {
         o.show_hud = false;
         return true;
     },
     nullptr, "do not draw the HUD"},
    {"--bikes", true,
     [](run_options&, const char*) {
         fputs("--bikes doesn't do anything anymore\n", stderr);
         return true;
     },
     nullptr, "ignored"},
    {"--width", true,
     [](run_options& o, const char* v) {
         read_int(v, &o.width);
         return true;
     },
     nullptr, "window width"},
    {"--height", true,
     [](run_options& o, const char* v) {
         read_int(v, &o.height);
         return true;
     },
     nullptr, "window height"},
    {"--depth", true,
     [](run_options& o, const char* v) {
         o.colour_depth = leading_number(v);
         return true;
     },
     nullptr, "colour depth in bits"},
    {"--zdepth", true,
     [](run_options& o, const char* v) {
         o.depth_bits = leading_number(v);
         return true;
     },
     nullptr, "depth-buffer bits"},
    {"--accurate-skip", false, [](run_options& o, const char*) { return o.accurate_skip = true; },
     nullptr, "demo skipping runs every tic"},
    {"--track", true,
     [](run_options& o, const char* v) {
         if (v) o.track = v;
         return true;
     },
     nullptr, "the track to load at start-up"},
    {"--connect", true,
     [](run_options& o, const char* v) {
         std::string address = v ? v : "";
         if (address.rfind("trailbok:", 0) == 0) address.erase(0, 9);
         o.server_address = address;
         return true;
     },
     nullptr, "join the race server at host[:port] (or a trailbok: link)"},
    {"--password", true,
     [](run_options& o, const char* v) {
         if (v) o.password = v;
         return true;
     },
     nullptr, "the password for the server"},
    {"--chase-center", true,
     [](run_options& o, const char* v) {
         float c[3];
         if (!v || sscanf(v, "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) return false;
         std::copy(c, c + 3, o.chase_center);
         return true;
     },
     "Bad arg for --chase-center\n", "the orbit camera's target in the bike frame, x,y,z"},
    {"--open-home", false, [](run_options& o, const char*) { return o.open_home = true; }, nullptr,
     "open the home folder and stop"},
    {"--glfinish", false, [](run_options& o, const char*) { return o.glfinish = true; }, nullptr,
     "wait for the GL before each swap"},
    {"--ride", false, [](run_options& o, const char*) { return o.ride = true; }, nullptr,
     "ride the first race yourself from the first start place, no menu open"},
    {"--autopilot", false, [](run_options& o, const char*) { return o.autopilot = true; }, nullptr,
     "test aid: a scripted rider rides the local bike"},
    {"--say", true,
     [](run_options& o, const char* v) {
         if (v) o.say = v;
         return true;
     },
     nullptr, "test aid: say this on the chat line once racing on a server"},
    {"--print-orientation", false,
     [](run_options& o, const char*) { return o.print_orientation = true; }, nullptr,
     "print the rider camera's orientation"},
};
} // namespace

parse_result parse_command_line(int argc, const char* const* argv, run_options& options) {
    arg_cursor c{argv + 1, argc - 1};
    while (c.current()) {
        bool matched = false;
        for (const command_option& opt : k_options) {
            const char* value = nullptr;
            bool hit =
                opt.takes_value ? option_value(c, opt.name, &value) : option_flag(c, opt.name);
            if (!c.current() && !hit) break; // "--" was the last argument
            if (!hit) continue;
            matched = true;
            if (!opt.apply(options, value) && opt.error) return {false, opt.error};
            break;
        }
        if (options.open_home) return {};
        if (matched || !c.current()) continue;
        const char* arg = c.current();
        if (arg[0] == '-' && !c.end_of_options)
            return {false, std::string("bad option '") + arg + "'\n"};
        if (!options.file.empty()) return {false, "Too many files!\n"};
        options.file = arg;
        c.consume();
    }
    // The server chooses the track.
    if (!options.server_address.empty()) options.track.clear();
    return {};
}

std::string command_line_help() {
    std::string out = "Usage: trailbok [options] [demo file]\n";
    for (const command_option& opt : k_options) {
        char line[256];
        snprintf(line, sizeof line, "  %-22s %s\n",
                 (std::string(opt.name) + (opt.takes_value ? " VALUE" : "")).c_str(), opt.help);
        out += line;
    }
    return out + platform_options_help();
}
