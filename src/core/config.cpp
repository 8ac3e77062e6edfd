// The settings, the table of setting records in config file order, reading and writing one
// value by its record, the video mode list and the server history.
#include "core/core_local.h"
#include "core/config.h"

#include "common/common.h"
#include "common/message.h"
#include "core/bindings.h"
#include "platform/platform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
struct config_state {
    settings values;
    graphics_working graphics;
    std::vector<video_mode_item> video_modes;
    int current_video_mode = -1; // the item the window is in, -1 before there is a window
};
config_state g_config;

constexpr const char* k_no_yes[] = {"No", "Yes"};
constexpr const char* k_skills[] = {"Novice", "Amateur", "Expert"};
constexpr const char* k_gate_items[] = {"Empty", "Human", "Robot", "Robot (2 stroke)",
                                        "Robot (4 stroke)"};
constexpr const char* k_texture_dims[] = {"32x32",   "64x64",   "128x128",
                                          "256x256", "512x512", "1024x1024"};
constexpr const char* k_compress[] = {"No", "Yes", "Always"};
constexpr const char* k_render_texture[] = {"Software", "Hardware/Copy", "Hardware/Direct",
                                            "Shaders/Copy", "Shaders/Direct"};
constexpr const char* k_playback_modes[] = {"Playback Only", "Race Against"};

using int_field = int* (*)(settings&, int);
using real_field = double* (*)(settings&, int);
using text_field = std::string* (*)(settings&, int);

// What every record has; the kind's own fields are filled in by the builders below.
constexpr setting_record record(const char* key, const char* label, setting_kind kind,
                                int count = 1) {
    setting_record r{};
    r.key = key;
    r.label = label;
    r.kind = kind;
    r.count = count;
    r.written = true;
    return r;
}

constexpr setting_record integer(const char* key, const char* label, int_field field,
                                 double lo = INT_MIN, double hi = INT_MAX) {
    setting_record r = record(key, label, setting_kind_integer);
    r.minimum = lo;
    r.maximum = hi;
    r.integer = field;
    return r;
}

template <int n>
constexpr setting_record choice(const char* key, const char* label, const char* const (&items)[n],
                                int_field field, int count = 1) {
    setting_record r = record(key, label, setting_kind_choice, count);
    r.items = items;
    r.item_count = n;
    r.integer = field;
    return r;
}

constexpr setting_record slider(const char* key, const char* label, double step, double lo,
                                double hi, real_field field) {
    setting_record r = record(key, label, setting_kind_slider);
    r.step = step;
    r.minimum = lo;
    r.maximum = hi;
    r.real = field;
    return r;
}

constexpr setting_record text(const char* key, const char* label, int max_length, text_field field,
                              int count = 1, bool refuse_longer = false) {
    setting_record r = record(key, label, setting_kind_text, count);
    r.max_length = max_length;
    r.refuse_longer = refuse_longer;
    r.text = field;
    return r;
}

int video_mode_count() { return static_cast<int>(video_modes().size()); }
const char* video_mode_label(int item) { return video_modes()[item].label.c_str(); }

constexpr setting_record video_mode_record() {
    setting_record r = record("video_mode", "Video Mode", setting_kind_choice);
    r.built_item_count = video_mode_count;
    r.built_item = video_mode_label;
    r.integer = [](settings& s, int) { return &s.video_mode; };
    return r;
}

// Old files name the framebuffer choice instead of the rendering method.
constexpr setting_record use_fbo_record() {
    setting_record r = choice("use_fbo", "Use Framebuffer Objects", k_no_yes,
                              [](settings& s, int) { return &s.use_fbo; });
    r.written = false;
    r.after_read = [](settings& s) { s.render_texture = s.use_fbo ? 2 : 1; };
    return r;
}

// In the order the file is written; the setup lines go before "video_mode", the bindings
// after the last record.
// clang-format off
constexpr setting_record k_records[] = {
    integer("xres", "Window Width", [](settings& s, int) { return &s.xres; }, 64, 16384),
    integer("yres", "Window Height", [](settings& s, int) { return &s.yres; }, 64, 16384),
    integer("draw_fps", "Draw FPS", [](settings& s, int) { return &s.draw_fps; }),
    integer("draw_time", "Draw Time", [](settings& s, int) { return &s.draw_time; }),
    integer("draw_ping", "Draw Ping", [](settings& s, int) { return &s.draw_ping; }),
    integer("draw_speed", "Draw Speed", [](settings& s, int) { return &s.draw_speed; }),
    integer("spy", "Spy Mode", [](settings& s, int) { return &s.spy; }),
    text("track", "Track", k_config_line_max, [](settings& s, int) { return &s.track; }),
    choice("record", "Record Demo", k_no_yes, [](settings& s, int) { return &s.record; }),
    choice("skill", "Robot Skill", k_skills, [](settings& s, int) { return &s.skill; }),
    slider("minutes", "Minutes", 1, 0, 60, [](settings& s, int) { return &s.minutes; }),
    slider("laps", "Laps", 1, 0, 50, [](settings& s, int) { return &s.laps; }),
    choice("slot%02d", "Gate %d", k_gate_items, [](settings& s, int n) { return &s.slots[n]; },
           k_lineup_gates),
    slider("ghost_fade_distance", "Ghost Fade Distance", 1, 0, 40,
           [](settings& s, int) { return &s.ghost_fade_distance; }),
    choice("time_trial_abort", "Backing Up Aborts Attempt", k_no_yes,
           [](settings& s, int) { return &s.time_trial_abort; }),
    video_mode_record(),
    text("server_name", "Server", k_server_name_max, [](settings& s, int) { return &s.server_name; }),
    text("server_name_hist%02d", "Server History %d", k_server_history_entry_max,
         [](settings& s, int n) { return &s.server_history[n]; }, k_server_history, true),
    slider("ground_detail", "Ground Geometric Detail", 1, 0, 100,
           [](settings& s, int) { return &s.ground_detail; }),
    slider("ground_texture_detail", "Ground Texture Levels", 1, 0, 10,
           [](settings& s, int) { return &s.ground_texture_detail; }),
    choice("ground_texture_dim", "Ground Texture Resolution", k_texture_dims,
           [](settings& s, int) { return &s.ground_texture_dim; }),
    choice("ground_mipmaps", "Enable Ground Mipmaps", k_no_yes,
           [](settings& s, int) { return &s.ground_mipmaps; }),
    choice("texture_compress", "Compress Textures", k_compress,
           [](settings& s, int) { return &s.texture_compress; }),
    choice("render_texture", "Terrain Rendering Method", k_render_texture,
           [](settings& s, int) { return &s.render_texture; }),
    choice("use_shader", "Use Shader Programs", k_no_yes, [](settings& s, int) { return &s.use_shader; }),
    slider("roost_density", "Roost Density", 10, 0, 1000, [](settings& s, int) { return &s.roost_density; }),
    slider("reshade_delay", "Reshade Delay", 1, 0, 20, [](settings& s, int) { return &s.reshade_delay; }),
    choice("lens_flare", "Enable Lens Flares", k_no_yes, [](settings& s, int) { return &s.lens_flare; }),
    choice("reflections", "Enable Reflections", k_no_yes, [](settings& s, int) { return &s.reflections; }),
    choice("hide_rider", "Hide 1st Person Rider", k_no_yes, [](settings& s, int) { return &s.hide_rider; }),
    choice("rigid_camera", "Rigid 3rd person camera", k_no_yes,
           [](settings& s, int) { return &s.rigid_camera; }),
    slider("model_detail", "Model Geometric Detail", 1, 0, 100, [](settings& s, int) { return &s.model_detail; }),
    slider("model_texture_detail", "Model Texture Detail", 1, 0, 10,
           [](settings& s, int) { return &s.model_texture_detail; }),
    slider("fov", "Field Of View", 1, 10, 170, [](settings& s, int) { return &s.fov; }),
    slider("first_person_height", "1st Person Height", 0.03125, 0, 1,
           [](settings& s, int) { return &s.first_person_height; }),
    slider("first_person_angle", "1st Person Angle", 1, 0, 40,
           [](settings& s, int) { return &s.first_person_angle; }),
    slider("third_person_height", "3rd Person Height", 1, 0, 20,
           [](settings& s, int) { return &s.third_person_height; }),
    slider("third_person_distance", "3rd Person Distance", 1, 5, 40,
           [](settings& s, int) { return &s.third_person_distance; }),
    slider("volume", "Volume", 1, 0, 10, [](settings& s, int) { return &s.volume; }),
    slider("comp_volume", "Competitor Volume", 1, 0, 10, [](settings& s, int) { return &s.comp_volume; }),
    choice("playback_mode", "Playback Mode", k_playback_modes,
           [](settings& s, int) { return &s.playback_mode; }),
    integer("billboard_optimize_lookahead", "Billboard Lookahead",
            [](settings& s, int) { return &s.billboard_optimize_lookahead; }),
    integer("message_lines", "Message Lines", [](settings& s, int) { return &s.message_lines; }, 0,
            k_message_ring_size),
    integer("demo_backups", "Demo Backups", [](settings& s, int) { return &s.demo_backups; }),
    slider("map_scale", "Map Scale", 0.125, 0.125, 8, [](settings& s, int) { return &s.map_scale; }),
    use_fbo_record(),
};
// clang-format on
constexpr int k_record_count = sizeof k_records / sizeof k_records[0];

bool is_numbered(const setting_record& r) { return r.count > 1; }

// The part of a numbered key before its "%02d".
size_t number_at(const char* key) { return static_cast<size_t>(strstr(key, "%02d") - key); }

bool valid_number(const setting_record& r, int number) { return number >= 0 && number < r.count; }

} // namespace

const settings& config() { return g_config.values; }
settings& config_edit() { return g_config.values; }

bool config_scan_int(const char* text, int* out) {
    char* end = nullptr;
    long long value = strtoll(text, &end, 10);
    if (end == text) return false;
    *out = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    return true;
}

bool config_scan_real(const char* text, float* out) {
    float value = 0;
    if (sscanf(text, "%f", &value) != 1 || !std::isfinite(value)) return false;
    *out = value;
    return true;
}
const graphics_working& graphics() { return g_config.graphics; }
graphics_working& graphics_edit() { return g_config.graphics; }

void config_reset() {
    g_config.values = settings{};
    g_config.current_video_mode = -1;
    graphics_preset_apply(g_config.values, 0);
    g_config.graphics = graphics_derive(g_config.values);
    bindings_reset();
}

int setting_count() { return k_record_count; }

const setting_record& setting_at(int i) {
    TB_ASSERT(i >= 0 && i < k_record_count);
    return k_records[i];
}

const setting_record* setting_find(const char* key, int* number) {
    for (const setting_record& r : k_records) {
        if (!is_numbered(r)) {
            if (strcmp(r.key, key) != 0) continue;
            if (number) *number = 0;
            return &r;
        }
        // A numbered key: its stem and exactly two digits.
        size_t stem = number_at(r.key);
        if (strncmp(r.key, key, stem) != 0 || strlen(key) != stem + 2) continue;
        const char* digits = key + stem;
        if (digits[0] < '0' || digits[0] > '9' || digits[1] < '0' || digits[1] > '9') continue;
        int n = (digits[0] - '0') * 10 + (digits[1] - '0');
        if (n >= r.count) continue;
        if (number) *number = n;
        return &r;
    }
    return nullptr;
}

std::string setting_key(const setting_record& r, int number) {
    if (!is_numbered(r)) return r.key;
    char key[64];
    snprintf(key, sizeof key, r.key, number);
    return key;
}

std::string setting_label(const setting_record& r, int number) {
    if (!is_numbered(r)) return r.label;
    char label[64];
    snprintf(label, sizeof label, r.label, number + 1);
    return label;
}

int setting_item_count(const setting_record& r) {
    if (r.kind != setting_kind_choice) return 0;
    return r.items ? r.item_count : r.built_item_count();
}

const char* setting_item(const setting_record& r, int item) {
    TB_ASSERT(item >= 0 && item < setting_item_count(r));
    return r.items ? r.items[item] : r.built_item(item);
}

double setting_number(const settings& s, const setting_record& r, int number) {
    TB_ASSERT(valid_number(r, number));
    settings& values = const_cast<settings&>(s);
    switch (r.kind) {
    case setting_kind_integer:
    case setting_kind_choice:
        return *r.integer(values, number);
    case setting_kind_slider:
        return *r.real(values, number);
    case setting_kind_text:
        break;
    }
    return 0;
}

void setting_set_number(settings& s, const setting_record& r, int number, double value) {
    TB_ASSERT(valid_number(r, number));
    if (!std::isfinite(value)) return;
    switch (r.kind) {
    case setting_kind_integer:
        *r.integer(s, number) = static_cast<int>(std::clamp(value, r.minimum, r.maximum));
        break;
    case setting_kind_choice: {
        int last = setting_item_count(r) - 1;
        if (last >= 0) *r.integer(s, number) = std::clamp(static_cast<int>(value), 0, last);
        break;
    }
    case setting_kind_slider:
        *r.real(s, number) = std::clamp(value, r.minimum, r.maximum);
        break;
    case setting_kind_text:
        break;
    }
}

const std::string& setting_text(const settings& s, const setting_record& r, int number) {
    TB_ASSERT(r.kind == setting_kind_text && valid_number(r, number));
    return *r.text(const_cast<settings&>(s), number);
}

bool setting_set_text(settings& s, const setting_record& r, int number, const char* value) {
    TB_ASSERT(r.kind == setting_kind_text && valid_number(r, number));
    size_t length = strlen(value);
    size_t max = static_cast<size_t>(r.max_length);
    if (length > max && r.refuse_longer) return false;
    *r.text(s, number) = std::string(value, std::min(length, max));
    return true;
}

bool setting_read(settings& s, const setting_record& r, int number, const char* value) {
    int whole = 0;
    float real = 0;
    switch (r.kind) {
    case setting_kind_integer:
        if (!config_scan_int(value, &whole)) return false;
        setting_set_number(s, r, number, whole);
        break;
    case setting_kind_slider:
        if (!config_scan_real(value, &real)) return false;
        setting_set_number(s, r, number, real);
        break;
    case setting_kind_choice: {
        int count = setting_item_count(r);
        int found = -1;
        for (int i = 0; i < count && found < 0; i++)
            if (strcmp(setting_item(r, i), value) == 0) found = i;
        if (found < 0) return false;
        *r.integer(s, number) = found;
        break;
    }
    case setting_kind_text:
        if (!setting_set_text(s, r, number, value)) return false;
        break;
    }
    if (r.after_read) r.after_read(s);
    return true;
}

std::string setting_value_text(const settings& s, const setting_record& r, int number) {
    char out[64];
    switch (r.kind) {
    case setting_kind_integer:
        snprintf(out, sizeof out, "%d", static_cast<int>(setting_number(s, r, number)));
        return out;
    case setting_kind_slider:
        snprintf(out, sizeof out, "%f", setting_number(s, r, number));
        return out;
    case setting_kind_choice: {
        int count = setting_item_count(r);
        if (count == 0) return "";
        return setting_item(
            r, std::clamp(static_cast<int>(setting_number(s, r, number)), 0, count - 1));
    }
    case setting_kind_text: {
        // A line break would end the line early and start a key of its own.
        std::string t = setting_text(s, r, number);
        std::replace(t.begin(), t.end(), '\n', ' ');
        std::replace(t.begin(), t.end(), '\r', ' ');
        return t;
    }
    }
    return "";
}

void server_history_push(settings& s, const std::string& address) {
    s.history_cursor = -1;
    // An entry too long to be read back is not kept.
    if (address.empty() || address == s.server_history[0] ||
        address.size() > static_cast<size_t>(k_server_history_entry_max))
        return;
    std::move_backward(s.server_history, s.server_history + k_server_history - 1,
                       s.server_history + k_server_history);
    s.server_history[0] = address;
}

void video_modes_build() {
    std::vector<video_mode_item>& items = g_config.video_modes;
    items = {{"Default Fullscreen", 0, 0}, {"Windowed", 0, 0}};
    const display_mode* modes = platform().display_modes();
    for (const display_mode* m = modes; m && m->width > 0; m++) {
        if (m->depth != modes[0].depth) continue;
        char label[32];
        snprintf(label, sizeof label, "%dx%d", m->width, m->height);
        items.push_back({label, m->width, m->height});
    }
}

const std::vector<video_mode_item>& video_modes() {
    if (g_config.video_modes.empty()) video_modes_build();
    return g_config.video_modes;
}

void video_mode_select(int item) {
    if (item >= 0 && item < static_cast<int>(video_modes().size()))
        g_config.values.video_mode = item;
}

bool video_mode_windowed() { return g_config.values.video_mode == 1; }

const video_mode_item& video_mode_selected() {
    const std::vector<video_mode_item>& items = video_modes();
    int item = g_config.values.video_mode;
    return items[item >= 0 && item < static_cast<int>(items.size()) ? item : 0];
}

void video_mode_set_current(int item) { g_config.current_video_mode = item; }

bool video_mode_current_windowed() {
    const int item = g_config.current_video_mode;
    return (item >= 0 ? item : g_config.values.video_mode) == 1;
}
