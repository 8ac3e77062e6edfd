// The settings record, the video mode list and the config file "@config": its keys in file
// order, reading and writing.
#include "core/config.h"

#include "bike/bike.h"
#include "core/bindings.h"
#include "files/data_file.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
struct config_state {
    settings values;
    std::vector<video_mode_item> video_modes;
};
config_state g_config;

enum config_kind {
    kind_integer,
    kind_slider,
    kind_choice,   // an int index into labels
    kind_yes_no,   // a bool, "No" or "Yes"
    kind_text,     // a std::string
    kind_video,    // "Default Fullscreen", "Windowed" or "<width>x<height>"
    kind_setup,    // the 57 bike setup lines
    kind_bindings, // the 20 control bindings
};

constexpr const char* k_skills[] = {"Novice", "Amateur", "Expert"};
constexpr const char* k_no_yes[] = {"No", "Yes"};
constexpr const char* k_playback_modes[] = {"Playback Only", "Race Against"};

// One config key: where its value lives and how it is read and written. Keys the program does
// not hold yet are neither read nor written.
struct config_key {
    const char* key;
    config_kind kind;
    int settings::*integer = nullptr;
    float settings::*slider = nullptr;
    float lo = 0, hi = 0; // slider range
    bool settings::*yes_no = nullptr;
    std::string settings::*text = nullptr;
    const char* const* labels = nullptr;
    int label_count = 0;
};

config_key integer_key(const char* key, int settings::*field) { return {key, kind_integer, field}; }
config_key slider_key(const char* key, float settings::*field, float lo, float hi) {
    return {key, kind_slider, nullptr, field, lo, hi};
}
config_key yes_no_key(const char* key, bool settings::*field) {
    return {key, kind_yes_no, nullptr, nullptr, 0, 0, field};
}
template <size_t N>
config_key choice_key(const char* key, int settings::*field, const char* const (&labels)[N]) {
    return {key, kind_choice, field, nullptr, 0, 0, nullptr, nullptr, labels, static_cast<int>(N)};
}

// In the order the file is written.
const config_key k_keys[] = {
    integer_key("xres", &settings::xres),
    integer_key("yres", &settings::yres),
    integer_key("spy", &settings::spy),
    {"track", kind_text, nullptr, nullptr, 0, 0, nullptr, &settings::track},
    choice_key("record", &settings::record, k_no_yes),
    choice_key("skill", &settings::skill, k_skills),
    slider_key("minutes", &settings::minutes, 0, 60),
    slider_key("laps", &settings::laps, 0, 50),
    slider_key("ghost_fade_distance", &settings::ghost_fade_distance, 0, 40),
    yes_no_key("time_trial_abort", &settings::time_trial_abort),
    {"", kind_setup},
    {"video_mode", kind_video},
    slider_key("reshade_delay", &settings::reshade_delay, 0, 20),
    yes_no_key("rigid_camera", &settings::rigid_camera),
    slider_key("fov", &settings::fov, 10, 170),
    slider_key("third_person_height", &settings::third_person_height, 0, 20),
    slider_key("third_person_distance", &settings::third_person_distance, 5, 40),
    slider_key("volume", &settings::volume, 0, 10),
    slider_key("comp_volume", &settings::comp_volume, 0, 10),
    choice_key("playback_mode", &settings::playback_mode, k_playback_modes),
    integer_key("message_lines", &settings::message_lines),
    integer_key("demo_backups", &settings::demo_backups),
    {"", kind_bindings},
};

// A mode the display no longer offers keeps the choice as it was.
void read_video_mode(const char* value) {
    const std::vector<video_mode_item>& items = video_modes();
    for (int i = 0; i < static_cast<int>(items.size()); i++)
        if (items[i].label == value) video_mode_select(i);
}

std::string video_mode_label(const settings& s) {
    const std::vector<video_mode_item>& items = video_modes();
    if (s.video_mode >= 0 && s.video_mode < static_cast<int>(items.size()))
        return items[s.video_mode].label;
    return "Default Fullscreen";
}

bool read_key(const config_key& k, settings& s, const char* key, const char* value) {
    if (k.kind == kind_bindings) {
        binding* b = binding_for_key(key);
        if (b) parse_binding(*b, value);
        return b != nullptr;
    }
    if (k.kind == kind_setup || strcmp(k.key, key) != 0) return false;
    int number = 0;
    float real = 0;
    switch (k.kind) {
    case kind_integer:
        if (sscanf(value, "%d", &number) == 1) s.*k.integer = number;
        break;
    case kind_slider:
        if (sscanf(value, "%f", &real) == 1) s.*k.slider = std::clamp(real, k.lo, k.hi);
        break;
    case kind_choice:
        for (int i = 0; i < k.label_count; i++)
            if (strcmp(value, k.labels[i]) == 0) s.*k.integer = i;
        break;
    case kind_yes_no:
        if (strcmp(value, "No") == 0 || strcmp(value, "Yes") == 0)
            s.*k.yes_no = strcmp(value, "Yes") == 0;
        break;
    case kind_text:
        s.*k.text = value;
        break;
    case kind_video:
        read_video_mode(value);
        break;
    case kind_setup:
    case kind_bindings:
        break;
    }
    return true;
}

bool write_key(data_file* f, const config_key& k, const settings& s) {
    switch (k.kind) {
    case kind_integer:
        return data_file_print(f, "%s=%d\n", k.key, s.*k.integer);
    case kind_slider:
        return data_file_print(f, "%s=%f\n", k.key, static_cast<double>(s.*k.slider));
    case kind_choice:
        return data_file_print(f, "%s=%s\n", k.key,
                               k.labels[std::clamp(s.*k.integer, 0, k.label_count - 1)]);
    case kind_yes_no:
        return data_file_print(f, "%s=%s\n", k.key, s.*k.yes_no ? "Yes" : "No");
    case kind_text:
        return data_file_print(f, "%s=%s\n", k.key, (s.*k.text).c_str());
    case kind_video:
        return data_file_print(f, "%s=%s\n", k.key, video_mode_label(s).c_str());
    case kind_setup:
        return write_setup_lines(f);
    case kind_bindings:
        for (int i = 0; i < k_binding_count; i++) {
            std::string line = binding_line(bindings()[i]);
            if (!line.empty() && !data_file_put_text(f, line.c_str())) return false;
        }
        return true;
    }
    return true;
}
} // namespace

settings& config() { return g_config.values; }
void config_reset() { g_config.values = settings{}; }

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
    const std::vector<video_mode_item>& items = video_modes();
    if (item < 0 || item >= static_cast<int>(items.size())) return;
    settings& s = g_config.values;
    s.video_mode = item;
    s.windowed = item == 1;
    s.mode_width = items[item].width;
    s.mode_height = items[item].height;
}

void read_config() {
    data_file* f = data_file_open("@config", "rb");
    if (!f) return; // the defaults stand
    char line[1024];
    while (data_file_read_line(f, line, sizeof line)) {
        char* equals = strchr(line, '=');
        if (!equals) continue;
        *equals = 0;
        char* value = equals + 1;
        size_t length = strlen(value);
        while (length > 0 && (value[length - 1] == '\r' || value[length - 1] == '\n'))
            value[--length] = 0;
        if (apply_setup_line(line, value)) continue;
        for (const config_key& k : k_keys)
            if (read_key(k, g_config.values, line, value)) break;
    }
    data_file_close(f);
}

void write_config() {
    // Replacing, so a failed write leaves the old file as it was.
    data_file* f = data_file_open_replace("@config");
    if (!f) return; // silently skipped
    bool ok = true;
    for (const config_key& k : k_keys)
        if (ok) ok = write_key(f, k, g_config.values);
    if (ok)
        data_file_close(f);
    else
        data_file_abandon(f);
}
