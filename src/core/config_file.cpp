// The config file "@config" and the bike setup files: lines of "key=value", read once with
// every unusable line logged and skipped, and written whole or not at all.
#include "core/core_local.h"
#include "core/config.h"

#include "bike/bike.h"
#include "core/bindings.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {
// Keys old files hold that nothing uses any more.
constexpr const char* k_ignored_keys[] = {"ground_texture_distance"};

enum file_kind { config_file, setup_file };

bool ignored_key(const char* key) {
    for (const char* k : k_ignored_keys)
        if (strcmp(k, key) == 0) return true;
    return false;
}

bool blank(const char* line) {
    for (; *line; line++)
        if (!strchr(" \t\r\n", *line)) return false;
    return true;
}

enum line_use { line_used, line_unknown_key, line_bad_value };

// Takes one line's key and value: the setup keys first, then (in the config file) the
// settings and the bindings.
line_use take_line(file_kind kind, const char* key, const char* value) {
    setup_line_status setup = setup_read_line(key, value);
    if (setup != setup_line_unknown_key)
        return setup == setup_line_used ? line_used : line_bad_value;
    if (kind == setup_file) return line_unknown_key;
    int number = 0;
    if (const setting_record* r = setting_find(key, &number))
        return setting_read(config_edit(), *r, number, value) ? line_used : line_bad_value;
    if (binding* b = binding_for_key_edit(key))
        return parse_binding(*b, value) ? line_used : line_bad_value;
    return ignored_key(key) ? line_used : line_unknown_key;
}

// Skips what is left of a line longer than the buffer.
void skip_rest_of_line(data_file* f) {
    int c;
    do c = data_file_get_char(f);
    while (c != k_data_file_end && c != '\n');
}

// Reads every line of an open file; each line that cannot be used is logged once, with its
// number, and skipped.
void read_lines(data_file* f, const char* name, file_kind kind) {
    char line[k_config_line_max + 2];
    for (int number = 1; data_file_read_line(f, line, sizeof line); number++) {
        size_t length = strlen(line);
        // A full buffer without a line end is a line too long to hold: skipped whole, so its
        // tail never reads as a line of its own.
        if (length > static_cast<size_t>(k_config_line_max) && line[length - 1] != '\n') {
            skip_rest_of_line(f);
            log("%s line %d: longer than %d bytes; skipped\n", name, number, k_config_line_max);
            continue;
        }
        char* equals = strchr(line, '=');
        if (!equals) {
            if (!blank(line)) log("%s line %d: no \"=\"; skipped\n", name, number);
            continue;
        }
        *equals = 0;
        char* value = equals + 1;
        length = strlen(value);
        while (length > 0 && (value[length - 1] == '\r' || value[length - 1] == '\n'))
            value[--length] = 0;
        switch (take_line(kind, line, value)) {
        case line_used:
            break;
        case line_unknown_key:
            log("%s line %d: unknown key \"%.64s\"; skipped\n", name, number, line);
            break;
        case line_bad_value:
            log("%s line %d: \"%.64s\" is no value for %.64s; skipped\n", name, number, value,
                line);
            break;
        }
    }
}

// A config that is there but cannot be read (no permission, a loop of links, a folder): its
// path and why, so the player learns why the settings went back to their defaults.
bool config_unreadable(std::string* path, std::string* why) {
    for (int i = 0; i < folder_count(); i++) {
        std::string p = folder(i) + "config";
        struct stat st;
        if (lstat(p.c_str(), &st) != 0) continue;
        *path = p;
        if (stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            *why = "it is a folder";
            return true;
        }
        FILE* file = fopen(p.c_str(), "rb");
        if (file) {
            fclose(file);
            continue;
        }
        *why = strerror(errno);
        return true;
    }
    return false;
}

// Writes through the replacing writer: an error on the way leaves the old file whole.
bool finish(data_file* f, bool ok) {
    if (ok) return data_file_close(f);
    data_file_abandon(f);
    return false;
}

void settings_text(std::string* out, int first, int end) {
    const settings& s = config();
    for (int i = first; i < end; i++) {
        const setting_record& r = setting_at(i);
        if (!r.written) continue;
        for (int n = 0; n < r.count; n++)
            *out += setting_key(r, n) + "=" + setting_value_text(s, r, n) + "\n";
    }
}

void bindings_text(std::string* out) {
    for (int i = 0; i < k_binding_count; i++) *out += binding_line(bindings()[i]);
}

// The config file as written last, to tell whether there is anything new to write.
struct config_file_state {
    std::string written;
};
config_file_state g_config_file;

// The setup lines go between "time_trial_abort" and "video_mode".
int setup_lines_at() {
    int i = 0;
    while (i < setting_count() && strcmp(setting_at(i).key, "video_mode") != 0) i++;
    return i;
}

// The whole file as write_config writes it.
std::string config_text() {
    const int split = setup_lines_at();
    std::string text;
    settings_text(&text, 0, split);
    text += setup_values_lines(setup());
    settings_text(&text, split, setting_count());
    bindings_text(&text);
    return text;
}
} // namespace

void read_config() {
    data_file* f = data_file_open("@config", "rb");
    if (!f) {
        std::string path, why;
        if (config_unreadable(&path, &why))
            log("Can't read %s (%s); the settings start from their defaults\n", path.c_str(),
                why.c_str());
        return; // a missing file leaves the defaults
    }
    read_lines(f, "config", config_file);
    data_file_close(f);
}

bool write_config() {
    const std::string text = config_text();
    if (!data_file_replace_with("@config", text.data(), text.size())) return false;
    g_config_file.written = text;
    return true;
}

bool write_config_if_changed() {
    if (config_text() == g_config_file.written) return true;
    return write_config();
}

bool read_setup_file(const char* name) {
    data_file* f = data_file_open(name, "rb");
    if (!f) {
        log("Can't read the setup %s\n", name);
        return false;
    }
    read_lines(f, name, setup_file);
    data_file_close(f);
    return true;
}

bool write_setup_file(const char* name) {
    data_file* f = data_file_open_replace(name);
    if (!f) {
        log("Can't write the setup %s\n", name);
        return false;
    }
    return finish(f, write_setup_lines(f));
}
