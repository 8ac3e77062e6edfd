// The console commands: one record per command with its name, whether it must be the whole
// line, what runs it and a line of help.
#include "core/core_local.h"
#include "core/config.h"
#include "core/console.h"
#include "core/console_local.h"
#include "core/hud_feed.h"
#include "core/menu_local.h"
#include "core/program.h"
#include "core/view.h"

#include "bike/bike.h"
#include "common/message.h"
#include "common/ripemd160.h"
#include "demo/demo.h"
#include "files/data_file.h"
#include "net/net.h"
#include "race/race.h"
#include "render/render.h"
#include "sound/sound.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_view.h"
#include "ui/ui.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
constexpr float k_degrees = k_pi_f / 180;

void toggle(const char* label, bool on) { show_message("%.60s %s", label, on ? "ON" : "OFF"); }
void toggle_setting(const char* label, int& value) {
    value = !value;
    toggle(label, value != 0);
}

// Sets a setting record by its config key, clamped to its range.
bool set_setting(const char* key, double value) {
    int number = 0;
    const setting_record* r = setting_find(key, &number);
    if (!r) return false;
    setting_set_number(config_edit(), *r, number, value);
    return true;
}

// The whole argument as one number.
bool whole_real(const char* text, float* out) {
    char end = 0;
    return sscanf(text, "%f %c", out, &end) == 1 && std::isfinite(*out);
}

// Sets a numeric setting from the whole argument, clamped to its range; false, with the usage
// shown and nothing changed, when the argument is not one number.
bool set_from_argument(const char* argument, const char* key, const char* usage) {
    float value = 0;
    if (!whole_real(argument, &value)) {
        show_message("%s", usage);
        return false;
    }
    return set_setting(key, value);
}

// The viewed slot's bike, -1 when it has none.
int viewed_bike() {
    const int slot = program().viewed_slot;
    if (slot < 0 || slot >= k_max_riders) return -1;
    const int bike = race_slot(slot).bike;
    return bike >= 0 && bike_live(bike) ? bike : -1;
}

void cmd_savetrackinfo(const char*) {
    const char* folder = track_current();
    if (!folder) {
        show_message("No track loaded");
        return;
    }
    const std::string name = std::string(folder) + ".trackinfo";
    data_file* f = data_file_open(("@" + name).c_str(), "wb");
    if (!f) {
        show_message("Can't write %s", name.c_str());
        return;
    }
    data_file_print(f, "dir=%s\n", folder);
    data_file_print(f, "longname=%s\n", track_display_name());
    data_file_print(f, "firstlap=%d\n", first_lap_length());
    data_file_print(f, "normallap=%d\n", normal_lap_length());
    data_file_print(f, "gatecount=%d\n", gate_count());
    data_file_put_text(f, "hash=");
    const uint8_t* digest = track_digest();
    for (int i = 0; i < 20; i++) data_file_print(f, "%02x", digest[i]);
    data_file_put_text(f, "\n");
    if (data_file_close(f))
        show_message("Track info saved to %s", name.c_str());
    else
        show_message("Can't write %s", name.c_str());
}

void cmd_renderstats(const char*) {
    for (int i = 0; i < k_render_stats_lines; i++)
        show_message("%s", hud_render_stats_text(i).c_str());
    hud_render_stats_reset();
}

void cmd_togglespy(const char*) { toggle_setting("Spy mode", config_edit().spy); }

void cmd_togglegraph(const char*) {
    hud_set_graph(!hud_graph_on());
    toggle("Suspension graph", hud_graph_on());
}

void cmd_toggletelemetry(const char*) {
    hud_set_telemetry(!hud_telemetry_on());
    toggle("Telemetry overlay", hud_telemetry_on());
}

void cmd_bbopt(const char* a) {
    if (set_from_argument(a, "billboard_optimize_lookahead", "Usage: bbopt <window>"))
        show_message("Billboard optimization window is now %d",
                     config().billboard_optimize_lookahead);
}

void cmd_pipe(const char* a) {
    if (viewed_bike() < 0) return;
    engine_sound_pipe(program().viewed_slot, a);
}

void cmd_namedemo(const char* a) { demo_name_recording(a); }

void cmd_camangle(const char* a) {
    float yaw = 0, pitch = 0;
    char end = 0;
    if (sscanf(a, "%f %f %c", &yaw, &pitch, &end) != 2 || !std::isfinite(yaw) ||
        !std::isfinite(pitch)) {
        show_message("Usage: camangle <yaw> <pitch>");
        return;
    }
    if (viewed_bike() < 0) return;
    track_camera c = free_camera();
    c.yaw = yaw * k_degrees;
    c.pitch = pitch * k_degrees;
    c.yaw_rate = 0;
    c.pitch_rate = 0;
    free_camera_set(c);
    show_message("Camera aimed");
}

void cmd_fov(const char* a) {
    if (set_from_argument(a, "fov", "Usage: fov <degrees>")) show_message("fov set");
}

void cmd_fpshist(const char*) {
    uint32_t* bins = program_edit().time.fps_histogram;
    std::string line;
    char pair[32];
    for (int i = 0; i < 8; i++) {
        snprintf(pair, sizeof pair, "%d=%u ", 128 >> i, bins[i]);
        line += pair;
        bins[i] = 0;
    }
    show_message("%s", line.c_str());
}

void cmd_forcereload(const char*) {
    track_reload_on_restart();
    show_message("Track will be reloaded on next restart");
}

// Whether a command's file name stays in the command's folder, with the reason shown when not: no
// separator, which would name another folder, and no "..", which would name the one above.
bool name_stays_in(const char* name, const char* folder) {
    const bool inside = !strpbrk(name, "/\\") && !strstr(name, "..") && strcmp(name, ".") != 0;
    if (!inside)
        show_message("The file must be in %s: its name may not contain '/', '\\' or '..'", folder);
    return inside;
}

void cmd_readsetup(const char* a) {
    if (!name_stays_in(a, "setups/")) return;
    if (!*a || !read_setup_file(("@setups/" + std::string(a)).c_str())) {
        show_message("Error reading setup");
        return;
    }
    menu_reselect_graphics();
    after_setup_apply(menu_item_ref{}, true);
    show_message("Setup updated");
}

void cmd_writesetup(const char* a) {
    if (!name_stays_in(a, "setups/")) return;
    if (!*a || !write_setup_file(("@setups/" + std::string(a)).c_str())) {
        show_message("Error writing setup");
        return;
    }
    show_message("Setup written");
}

void cmd_randdump(const char*) {
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (s.bike < 0 || !bike_live(s.bike)) continue;
        ripemd160_state digest;
        ripemd160_init(digest);
        bike_digest_update(digest, s.bike);
        uint8_t bytes[20];
        ripemd160_final(digest, bytes);
        show_message("%03d %3s = %s", slot, s.number, ripemd160_hex(bytes).c_str());
    }
}

void cmd_addkey(const char*) {
    const track_camera& c = free_camera();
    camera_keyframe k;
    std::copy(c.position, c.position + 3, k.position);
    keyframe_quaternion(c.yaw, c.pitch, k.quaternion);
    k.fov = static_cast<float>(config().fov);
    k.tic = race_clock();
    std::vector<camera_keyframe> keys = view_keyframes();
    auto at = std::upper_bound(keys.begin(), keys.end(), k.tic,
                               [](int tic, const camera_keyframe& e) { return tic < e.tic; });
    keys.insert(at, k);
    view_keyframes_set(keys);
    show_message("Keyframe added");
}

void cmd_deletekey(const char*) {
    std::vector<camera_keyframe> keys = view_keyframes();
    if (keys.size() < 2) {
        keys.clear();
    } else {
        const int now = race_clock();
        size_t nearest = 0;
        for (size_t i = 1; i < keys.size(); i++)
            if (std::abs(keys[i].tic - now) < std::abs(keys[nearest].tic - now)) nearest = i;
        keys.erase(keys.begin() + static_cast<long>(nearest));
    }
    view_keyframes_set(keys);
    show_message("Keyframe deleted");
}

void cmd_clearkeys(const char*) {
    view_keyframes_set({});
    show_message("Keyframes cleared");
}

void cmd_listkeys(const char*) {
    for (const camera_keyframe& k : view_keyframes())
        show_message("pos = { %.2f, %.2f, %.2f }, rot = { %.2f, %.2f, %.2f, %.2f }, time = %.2f",
                     k.position[0], k.position[1], k.position[2], k.quaternion[0], k.quaternion[1],
                     k.quaternion[2], k.quaternion[3], k.tic * k_tic_length);
}

void cmd_readkeys(const char* a) {
    if (!name_stays_in(a, "keycam/")) return;
    data_file* f = *a ? data_file_open(("@keycam/" + std::string(a)).c_str(), "rb") : nullptr;
    if (!f) {
        show_message("Error reading camera keys");
        return;
    }
    std::vector<camera_keyframe> keys;
    bool whole = true;
    for (;;) {
        camera_keyframe k;
        const int n = data_file_scan(
            f, "%f %f %f %f %f %f %f %f %d", &k.position[0], &k.position[1], &k.position[2],
            &k.quaternion[0], &k.quaternion[1], &k.quaternion[2], &k.quaternion[3], &k.fov, &k.tic);
        if (n == 9) {
            keys.push_back(k);
            continue;
        }
        // Only white space may follow the last whole line.
        int c = data_file_get_char(f);
        while (c != k_data_file_end && std::isspace(c)) c = data_file_get_char(f);
        whole = c == k_data_file_end && n <= 0;
        break;
    }
    data_file_close(f);
    std::stable_sort(
        keys.begin(), keys.end(),
        [](const camera_keyframe& x, const camera_keyframe& y) { return x.tic < y.tic; });
    view_keyframes_set(keys);
    show_message(whole ? "Camera keys updated" : "Error reading camera keys");
}

void cmd_writekeys(const char* a) {
    if (!name_stays_in(a, "keycam/")) return;
    data_file* f = *a ? data_file_open_replace(("@keycam/" + std::string(a)).c_str()) : nullptr;
    bool ok = f != nullptr;
    if (f) {
        for (const camera_keyframe& k : view_keyframes())
            ok &= data_file_print(f, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.2f %d\n", k.position[0],
                                  k.position[1], k.position[2], k.quaternion[0], k.quaternion[1],
                                  k.quaternion[2], k.quaternion[3], k.fov, k.tic);
        if (ok)
            ok = data_file_close(f);
        else
            data_file_abandon(f);
    }
    show_message(ok ? "Camera keys saved" : "Error saving camera keys");
}

void cmd_togglekeycam(const char*) {
    view_set_keycam(!view_keycam());
    toggle("Keycam mode", view_keycam());
}

void cmd_togglefps(const char*) { toggle_setting("FPS display", config_edit().draw_fps); }
void cmd_toggletime(const char*) { toggle_setting("Time display", config_edit().draw_time); }
void cmd_toggleping(const char*) { toggle_setting("Ping display", config_edit().draw_ping); }
void cmd_togglespeed(const char*) { toggle_setting("Speed display", config_edit().draw_speed); }

void cmd_sendfile(const char* a) {
    if (name_stays_in(a, "outgoing/")) net_send_file(a);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

void cmd_listfiles(const char* a) {
    const std::string wanted = lower(a);
    file_index();
    char line[2048];
    for (int i = 0; i < file_index_entry_count(); i++) {
        describe_entry(i, line, sizeof line);
        if (wanted.empty() || lower(line).find(wanted) != std::string::npos)
            show_message("%s", line);
    }
}

void cmd_messagelines(const char* a) {
    if (!set_from_argument(a, "message_lines", "Usage: messagelines <lines>")) return;
    messages_set_max_lines(config().message_lines);
    show_message("Maximum showing messages is now %d", config().message_lines);
}

void cmd_demobackups(const char* a) {
    if (set_from_argument(a, "demo_backups", "Usage: demobackups <count>"))
        show_message("Now keeping %d demo backups", config().demo_backups);
}

void cmd_mapscale(const char* a) {
    if (set_from_argument(a, "map_scale", "Usage: mapscale <scale>"))
        show_message("Map scale set to %f", config().map_scale);
}

void cmd_hfvol(const char*) {
    const height_field& f = ground().field;
    double sum = 0;
    if (f.heights)
        for (size_t i = 0; i < static_cast<size_t>(f.samples_per_side) * f.samples_per_side; i++)
            sum += f.heights[i];
    show_message("%f\n", sum);
}

void cmd_toggledecals(const char*) {
    const bool hidden = !ground_decals_hidden();
    ground_set_decals_hidden(hidden);
    toggle("Hide decals", hidden);
}

void cmd_clearlog(const char*) { trail_markers_clear(); }

void cmd_log(const char* a) {
    trail_logging& t = console_trail();
    t.flags = strchr(a, 'e') ? 1 : 0;
    t.spacing = 10;
    // The spacing is the first number of the argument, after the letters.
    const char* number = a;
    while (*number && !std::isdigit(static_cast<unsigned char>(*number)) && *number != '.' &&
           *number != '-')
        number++;
    float spacing = 0;
    if (sscanf(number, "%f", &spacing) == 1 && std::isfinite(spacing) && spacing > 0)
        t.spacing = spacing;
    t.on = true;
    t.placed = false;
    show_message("Logging 0x%x, spacing %f", t.flags, t.spacing);
}

void cmd_help(const char* a);

constexpr console_command k_commands[] = {
    {"help", false, cmd_help, "[command] the commands and what they do"},
    {"savetrackinfo", true, cmd_savetrackinfo, "write the track's folder, laps and digest"},
    {"renderstats", true, cmd_renderstats, "show the render statistics and reset their maxima"},
    {"togglespy", true, cmd_togglespy, "spy mode: watch other riders while racing"},
    {"togglegraph", true, cmd_togglegraph, "the suspension graph"},
    {"toggletelemetry", true, cmd_toggletelemetry, "the telemetry overlay of the followed rider"},
    {"bbopt", false, cmd_bbopt, "<n> billboard optimisation window"},
    {"pipe", false, cmd_pipe, "<length spread gain first last> exhaust pipe of the viewed bike"},
    {"namedemo", false, cmd_namedemo, "<name> keep the recording under this name"},
    {"camangle", false, cmd_camangle, "<yaw> <pitch> aim the free camera (degrees)"},
    {"fov", false, cmd_fov, "<degrees> field of view"},
    {"fpshist", false, cmd_fpshist, "show and clear the frame-time histogram"},
    {"forcereload", true, cmd_forcereload, "reload the track's files at the next restart"},
    {"readsetup", false, cmd_readsetup, "<file> read a bike setup from setups/"},
    {"writesetup", false, cmd_writesetup, "<file> write the bike setup to setups/"},
    {"randdump", false, cmd_randdump, "the digest of every bike's state"},
    {"addkey", false, cmd_addkey, "add a camera keyframe at the free camera"},
    {"deletekey", false, cmd_deletekey, "delete the keyframe nearest in time"},
    {"rmkey", false, cmd_deletekey, "delete the keyframe nearest in time"},
    {"clearkeys", false, cmd_clearkeys, "delete every keyframe"},
    {"listkeys", false, cmd_listkeys, "list the keyframes"},
    {"readkeys", false, cmd_readkeys, "<file> read keyframes from keycam/"},
    {"writekeys", false, cmd_writekeys, "<file> write keyframes to keycam/"},
    {"togglekeycam", false, cmd_togglekeycam, "the trackside view follows the keyframes"},
    {"togglefps", false, cmd_togglefps, "frames per second"},
    {"toggletime", false, cmd_toggletime, "race time"},
    {"toggleping", false, cmd_toggleping, "ping"},
    {"togglespeed", false, cmd_togglespeed, "speed"},
    {"sendfile", false, cmd_sendfile, "<file> send outgoing/<file> to the server"},
    {"listfiles", false, cmd_listfiles, "[text] the indexed files holding the text"},
    {"messagelines", false, cmd_messagelines, "<n> message lines shown"},
    {"demobackups", false, cmd_demobackups, "<n> earlier recordings kept"},
    {"mapscale", false, cmd_mapscale, "<scale> the track map's size, 0.125 to 8"},
    {"hfvol", false, cmd_hfvol, "the sum of all terrain heights"},
    {"toggledecals", false, cmd_toggledecals, "hide the ground decals"},
    {"clearlog", false, cmd_clearlog, "clear the trail markers"},
    {"log", false, cmd_log, "[e] [spacing] trail markers of the local bike"},
};
} // namespace

namespace {
// Every command with its help, or the one named; unknown names say so.
void cmd_help(const char* a) {
    while (*a == ' ' || *a == '/' || *a == '\\') a++;
    bool found = false;
    for (const console_command& c : k_commands) {
        if (*a && strcmp(a, c.name) != 0) continue;
        show_message("/%s %s", c.name, c.help);
        found = true;
    }
    if (!found)
        show_message("No command \"%.60s\"; /help lists them", a);
    else if (!*a)
        show_message("Page Up and Page Down on the chat line scroll back through these lines");
}
} // namespace

int console_command_count() { return static_cast<int>(sizeof k_commands / sizeof k_commands[0]); }
const console_command& console_command_at(int i) { return k_commands[i]; }
