// Demos as race control reaches them: the hooks of a race's reset and tic and of the time
// trial's laps, and the demo list.
#include "demo/demo_local.h"

#include "common/common.h"
#include "files/data_file.h"
#include "platform/log.h"
#include "terrain/erosion.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {
struct demo_list_state {
    std::vector<demo_list_entry> entries;
};
demo_list_state g_list;

void on_reset() {
    recording_stop();
    playback_close();
}

// The demo is read from the race's first tic on, then the race's own recording starts.
void on_started() {
    playback_first_read();
    recording_start_race();
}

void on_tic() {
    record_tic(false);
    playback_tic();
}

// The lap about to be ridden is recorded, and the fastest lap rides with it as the ghost.
void on_trial_lap_start() {
    recording_stop();
    playback_open_ghost();
    recording_start_lap();
}

void on_trial_lap_end(bool keep) {
    record_tic(true);
    recording_stop();
    if (keep) recording_keep_as_fastest();
}

const race_demo_hooks k_hooks = {
    on_reset, playback_open_race,    playback_create_rider, on_started,
    on_tic,   playback_pose_version, on_trial_lap_start,    on_trial_lap_end,
};

bool has_prefix(const std::string& text, const char* prefix) {
    size_t n = strlen(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

bool has_suffix(const std::string& text, const char* suffix) {
    size_t n = strlen(suffix);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}
} // namespace

void demo_init() {
    playback_close();
    race_set_demo_hooks(&k_hooks);
    terrain_edit_set_recorder(demo_record_terrain_edit);
}

void demo_shutdown() {
    recording_stop();
    demo_close_playback();
    race_set_demo_hooks(nullptr);
    terrain_edit_set_recorder(nullptr);
}

void demo_list_build() {
    g_list.entries.clear();
    const char* folder = "demos/";
    const char* extension = ".qvdemo";
    for (const std::string& name : file_index()) {
        size_t start = strlen(folder);
        if (name.size() < start + strlen(extension) || !has_prefix(name, folder) ||
            !has_suffix(name, extension))
            continue;
        size_t length = name.size() - start - strlen(extension);
        demo_list_entry e{name.substr(start, length), "@" + name};
        if (debug_level() >= 1) log("%s -> %s\n", e.name.c_str(), e.file.c_str());
        g_list.entries.push_back(e);
    }
}

void demo_list_note(const std::string& file) {
    const std::string prefix = "@demos/", extension = ".qvdemo";
    if (file.size() <= prefix.size() + extension.size() || !has_prefix(file, prefix.c_str()) ||
        !has_suffix(file, extension.c_str()))
        return;
    for (const demo_list_entry& e : g_list.entries)
        if (strcasecmp(e.file.c_str(), file.c_str()) == 0) return;
    demo_list_entry e{file.substr(prefix.size(), file.size() - prefix.size() - extension.size()),
                      file};
    // The list keeps the file index's order: by name, without regard to case.
    auto at =
        std::find_if(g_list.entries.begin(), g_list.entries.end(), [&](const demo_list_entry& o) {
            return strcasecmp(o.file.c_str(), file.c_str()) > 0;
        });
    g_list.entries.insert(at, e);
}

int demo_list_count() { return static_cast<int>(g_list.entries.size()); }
const demo_list_entry& demo_list_at(int i) {
    TB_ASSERT(i >= 0 && i < demo_list_count());
    return g_list.entries[static_cast<size_t>(i)];
}
void demo_list_free() { g_list.entries = {}; }
