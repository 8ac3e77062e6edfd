// The chat line page: its editor with the line history, chat to the server with its spacing,
// the dispatch of console commands, and the trail logging of the local bike.
#include "core/console.h"
#include "core/console_local.h"
#include "core/hud_feed.h"
#include "core/program.h"

#include "bike/bike.h"
#include "common/message.h"
#include "net/net.h"
#include "platform/controls.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "ui/ui.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
struct console_state {
    std::string history[k_console_history]; // entry 0 the line being edited
    std::string line;                       // the text in the editor
    int cursor = 0;
    bool insert = true;
    int count = 1;            // entries in use, entry 0 always
    int browsing = 0;         // the history entry the line came from
    int scroll = 0;           // message display lines scrolled back
    double last_chat = -1e30; // s, running clock of the last chat line sent
    trail_logging trail;
};
console_state g_console;

constexpr int32_t k_char_backspace = 8;

bool printable(int32_t code) { return code >= 32 && code <= 126; }

void keep_line(const std::string& text) {
    console_state& c = g_console;
    c.count = std::min(c.count + 1, k_console_history);
    for (int i = c.count - 1; i > 1; i--) c.history[i] = c.history[i - 1];
    c.history[1] = text;
    c.history[0].clear();
    c.line.clear();
    c.cursor = 0;
    c.browsing = 0;
}

void browse(int step) {
    console_state& c = g_console;
    const int to = std::clamp(c.browsing + step, 0, c.count - 1);
    if (to == c.browsing) return;
    c.history[c.browsing] = c.line;
    c.browsing = to;
    c.line = c.history[to];
    c.cursor = static_cast<int>(c.line.size());
}

void edit(int32_t code) {
    console_state& c = g_console;
    std::string& t = c.line;
    int at = std::clamp(c.cursor, 0, static_cast<int>(t.size()));
    if (code == key_code_of("left")) {
        at = std::max(0, at - 1);
    } else if (code == key_code_of("right")) {
        at = std::min(static_cast<int>(t.size()), at + 1);
    } else if (code == k_char_backspace) {
        if (at > 0) t.erase(static_cast<size_t>(--at), 1);
    } else if (code == key_code_of("delete")) {
        if (at < static_cast<int>(t.size())) t.erase(static_cast<size_t>(at), 1);
    } else if (code == key_code_of("insert")) {
        c.insert = !c.insert;
    } else if (printable(code)) {
        const char ch = static_cast<char>(code);
        if (!c.insert && at < static_cast<int>(t.size()))
            t[static_cast<size_t>(at++)] = ch;
        else if (static_cast<int>(t.size()) < k_console_line_max)
            t.insert(static_cast<size_t>(at++), 1, ch);
    }
    c.cursor = at;
}

bool chat(const char* text) {
    console_state& c = g_console;
    const double now = program().time.run_clock;
    if (now - c.last_chat < k_chat_spacing) {
        show_message("No one likes a spammer");
        return false;
    }
    c.last_chat = now;
    if (!net_connected())
        show_message("Not connected to server");
    else
        net_chat(text, platform().clock());
    return true;
}

// Whether a line names the command, and where its argument begins.
bool names(const console_command& command, const char* words, const char** argument) {
    const size_t n = strlen(command.name);
    if (strncmp(words, command.name, n) != 0) return false;
    if (command.exact && words[n] != 0) return false;
    const char* a = words + n;
    while (*a == ' ' || *a == '\t') a++;
    *argument = a;
    return true;
}

void trail_tic() {
    trail_logging& t = g_console.trail;
    if (!t.on) return;
    const int local = race_local_slot();
    const int bike = local >= 0 ? race_slot(local).bike : -1;
    if (bike < 0 || !bike_live(bike)) return;
    const vec3d p = bike_frame_position(bike);
    const float at[3] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
    if (t.placed) {
        const float dx = at[0] - t.last[0], dy = at[1] - t.last[1], dz = at[2] - t.last[2];
        if (dx * dx + dy * dy + dz * dz < t.spacing * t.spacing) return;
    }
    char note[64];
    if (t.flags & 1)
        snprintf(note, sizeof note, "%.1f mph %.0f rpm g%d", bike_speed_mph(bike), engine_rpm(bike),
                 bike_gear(bike) + 1);
    else
        snprintf(note, sizeof note, "%.1f mph", bike_speed_mph(bike));
    trail_marker_add(at, note);
    std::copy(at, at + 3, t.last);
    t.placed = true;
}
} // namespace

trail_logging& console_trail() { return g_console.trail; }

void console_reset() { g_console = console_state{}; }

void console_key(int32_t code) {
    console_state& c = g_console;
    if (code == key_code_of("enter") || code == key_code_of("keypad enter")) {
        const std::string text = c.line;
        if (run_line(text.c_str())) keep_line(text);
    } else if (code == key_code_of("up")) {
        browse(1);
    } else if (code == key_code_of("down")) {
        browse(-1);
    } else if (code == key_code_of("page up")) {
        c.scroll = std::min(c.scroll + 1, k_message_scroll_max);
    } else if (code == key_code_of("page down")) {
        c.scroll = std::max(c.scroll - 1, 0);
    } else {
        edit(code);
    }
}

bool run_line(const char* text) {
    if (!text || !*text) return false;
    if (text[0] != '/' && text[0] != '\\') return chat(text);
    const char* words = text + 1;
    for (int i = 0; i < console_command_count(); i++) {
        const console_command& command = console_command_at(i);
        const char* argument = nullptr;
        if (!names(command, words, &argument)) continue;
        // A file name runs to the end of the line without its trailing white space.
        std::string arg = argument;
        while (!arg.empty() && (arg.back() == ' ' || arg.back() == '\t' || arg.back() == '\n'))
            arg.pop_back();
        command.run(arg.c_str());
        return true;
    }
    return false;
}

const std::string& console_line() { return g_console.line; }
int console_cursor() { return g_console.cursor; }
int console_history_count() { return g_console.count; }
const std::string& console_history_entry(int i) {
    return g_console.history[std::clamp(i, 0, k_console_history - 1)];
}
int console_message_scroll() { return g_console.scroll; }

void console_world_tic(int viewed_slot) {
    trail_tic();
    hud_telemetry_sample sample;
    if (hud_telemetry_sample_of(viewed_slot, &sample)) hud_telemetry_capture(sample);
}
