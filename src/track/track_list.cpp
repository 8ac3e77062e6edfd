// The track list: every data folder that holds a height field, sorted by display name.
#include "track/track.h"

#include "common/loading.h"
#include "files/data_file.h"
#include "platform/log.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {
std::vector<track_entry> g_tracks;

const char* const k_terrain_names[] = {"/terrain.hf", "/terrain.hf.gz", "/terrain.hf.scram",
                                       "/terrain.hf.gz.scram"};

bool ends_with(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    return s.size() > n && s.compare(s.size() - n, n, tail) == 0;
}

std::string display_name_of(const std::string& folder) {
    data_file* f = data_file_open(("@" + folder + "/desc").c_str(), "rb");
    if (!f) return folder;
    std::string name;
    for (int c; (c = data_file_get_char(f)) != k_data_file_end && c != '\r' && c != '\n' && c != 0;)
        name += static_cast<char>(c);
    data_file_close(f);
    return name;
}

int compare_names(const std::string& a, const std::string& b) {
    for (size_t i = 0;; i++) {
        int ca = i < a.size() ? tolower(static_cast<unsigned char>(a[i])) : 0;
        int cb = i < b.size() ? tolower(static_cast<unsigned char>(b[i])) : 0;
        if (ca != cb || ca == 0) return ca - cb;
    }
}
} // namespace

int track_list_scan() {
    g_tracks.clear();
    for (const std::string& name : file_index()) {
        for (const char* tail : k_terrain_names) {
            if (!ends_with(name, tail)) continue;
            std::string folder = name.substr(0, name.size() - strlen(tail));
            if (track_list_find(folder.c_str()) < 0) g_tracks.push_back({folder, ""});
            loading_tick("Finding tracks");
            break;
        }
    }
    for (track_entry& t : g_tracks) t.display_name = display_name_of(t.folder);
    // Equal names keep their scan order.
    std::stable_sort(g_tracks.begin(), g_tracks.end(),
                     [](const track_entry& a, const track_entry& b) {
                         return compare_names(a.display_name, b.display_name) < 0;
                     });
    if (debug_level() >= 1)
        for (const track_entry& t : g_tracks)
            log("%s -> %s\n", t.folder.c_str(), t.display_name.c_str());
    return static_cast<int>(g_tracks.size());
}

int track_list_count() { return static_cast<int>(g_tracks.size()); }
const track_entry& track_list_entry(int i) { return g_tracks[i]; }

int track_list_find(const char* folder) {
    for (size_t i = 0; i < g_tracks.size(); i++)
        if (g_tracks[i].folder == folder) return static_cast<int>(i);
    return -1;
}

void track_list_free() { g_tracks.clear(); }
