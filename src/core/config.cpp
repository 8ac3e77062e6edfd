// The settings record, the video mode list and the config file; the keys so far are the
// window's and the control bindings, each read and written through the key table.
#include "core/config.h"

#include "core/bindings.h"

#include "files/data_file.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

namespace {
struct config_state {
    settings values;
    std::vector<video_mode_item> video_modes;
};
config_state g_config;

constexpr int k_line_size = 1024;

void read_int(int* out, const char* value) {
    int v;
    if (sscanf(value, "%d", &v) == 1) *out = v;
}

void read_video_mode(const char* value) {
    const std::vector<video_mode_item>& items = video_modes();
    for (int i = 0; i < static_cast<int>(items.size()); i++)
        if (items[i].label == value) video_mode_select(i);
}

// One config key: how its value is read and how its line is written.
struct config_key {
    const char* key;
    void (*read)(const char* value);
    void (*write)(data_file* out);
};

constexpr config_key k_keys[] = {
    {"xres", [](const char* v) { read_int(&g_config.values.xres, v); },
     [](data_file* out) { data_file_print(out, "xres=%d\n", g_config.values.xres); }},
    {"yres", [](const char* v) { read_int(&g_config.values.yres, v); },
     [](data_file* out) { data_file_print(out, "yres=%d\n", g_config.values.yres); }},
    {"video_mode", read_video_mode,
     [](data_file* out) {
         const std::vector<video_mode_item>& items = video_modes();
         int i = g_config.values.video_mode;
         if (i >= 0 && i < static_cast<int>(items.size()))
             data_file_print(out, "video_mode=%s\n", items[i].label.c_str());
     }},
};

// The key, "=" and the value of one line: the key is everything before the first "=", the value
// everything after it without its line end. False for a line without "=".
bool split_line(char* line, const char** key, const char** value) {
    char* equals = strchr(line, '=');
    if (!equals) return false;
    *equals = 0;
    size_t n = strlen(equals + 1);
    while (n > 0 && (equals[n] == '\r' || equals[n] == '\n')) equals[n--] = 0;
    *key = line;
    *value = equals + 1;
    return true;
}

void apply_line(const char* key, const char* value) {
    for (const config_key& k : k_keys) {
        if (strcmp(k.key, key) == 0) {
            k.read(value);
            return;
        }
    }
    if (binding* b = binding_for_key(key)) parse_binding(*b, value);
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
    data_file* in = data_file_open("@config", "rb");
    if (!in) return;
    char line[k_line_size];
    while (data_file_read_line(in, line, sizeof line)) {
        const char* key;
        const char* value;
        if (split_line(line, &key, &value)) apply_line(key, value);
    }
    data_file_close(in);
}

void write_config() {
    data_file* out = data_file_open("@config", "wb");
    if (!out) return;
    for (const config_key& k : k_keys) k.write(out);
    for (int i = 0; i < k_binding_count; i++) {
        std::string line = binding_line(bindings()[i]);
        if (!line.empty()) data_file_put_text(out, line.c_str());
    }
    data_file_close(out);
}
