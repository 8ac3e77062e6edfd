// Demo playback: the demo of a race (its track, length and riders), the time trial's ghost, the
// reader fed to the riders' histories every tic, and seeking.
#include "demo/demo_local.h"
#include "demo/demo_reader.h"

#include "bike/bike.h"
#include "common/message.h"
#include "platform/log.h"
#include "terrain/erosion.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
struct playback_state {
    demo_reader reader;
    std::string chosen; // the file the next race that plays a demo opens, "" for the default
    std::string file;   // the file playing, "" when none
    bool ghost = false; // the time trial's fastest lap, starting when it is opened
    int slot_of[k_max_riders] = {};  // the slot of each demo rider, -1 before it has one
    int rider_of[k_max_riders] = {}; // the demo rider in each slot, -1 for none
    int next_rider = 0;
    bool damage_told = false; // a damaged file is logged once
    // The player's own erosion setting, kept while a demo's blocks set theirs; given back when
    // the playback closes.
    bool erosion_taken = false;
    int own_erosion = 0;
};

void forget_riders(playback_state& p) {
    std::fill(std::begin(p.slot_of), std::end(p.slot_of), -1);
    std::fill(std::begin(p.rider_of), std::end(p.rider_of), -1);
    p.next_rider = 0;
}

playback_state fresh_playback() {
    playback_state p;
    forget_riders(p);
    return p;
}
playback_state g_playback = fresh_playback();

// The race clock never runs below 0, so no genuine snapshot lies there.
void on_state(void*, int rider, int tic, const compact_state& state) {
    int slot = g_playback.slot_of[rider];
    if (slot >= 0 && tic >= 0) history_add(slot, state, tic);
}

void on_message(void*, const char* text) { show_message("%s", text); }

void on_erode(void*, int value) {
    if (!g_playback.erosion_taken) {
        g_playback.erosion_taken = true;
        g_playback.own_erosion = erosion_setting();
    }
    erosion_set_setting(value);
}

void on_terrain_edit(void*, const uint8_t* bytes, int size) { terrain_edit_apply(bytes, size); }

// The ghost starts now; a played race goes to the demo's own clock, unless the file's first
// tic is one no race clock reaches.
int on_first_tic(void*, int tic) {
    if (g_playback.ghost)
        return static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(race_clock()) - tic,
                                                    -k_demo_tic_slack, k_demo_tic_slack));
    if (tic < 0 || tic > k_demo_tic_slack)
        log("Demo %s starts at tic %d: the clock stays\n", g_playback.file.c_str(), tic);
    else
        race_set_clock(tic);
    return 0;
}

void on_damage(void*, uint32_t offset, const char* what) {
    if (g_playback.damage_told) return;
    g_playback.damage_told = true;
    log("Demo %s is damaged at offset %u: %s\n", g_playback.file.c_str(), offset, what);
}

constexpr demo_sink k_playback_sink = {.state = on_state,
                                       .message = on_message,
                                       .erode = on_erode,
                                       .terrain_edit = on_terrain_edit,
                                       .first_tic = on_first_tic,
                                       .damage = on_damage};

bool open_file(const std::string& name, bool ghost, bool quiet) {
    playback_close();
    std::string error;
    if (!demo_reader_open(g_playback.reader, name.c_str(), &error)) {
        if (!quiet) show_message("Can't play %s: %s", name.c_str(), error.c_str());
        return false;
    }
    g_playback.file = name;
    g_playback.ghost = ghost;
    if (!g_playback.reader.header_damage.empty())
        log("Demo %s: %s\n", name.c_str(), g_playback.reader.header_damage.c_str());
    return true;
}

// The riders of every slot that has a bike are demo riders: nothing is simulated here.
bool pure_playback() {
    for (int slot = 0; slot < k_max_riders; slot++)
        if (race_slot(slot).bike >= 0 && race_slot(slot).kind != rider_remote) return false;
    return true;
}
} // namespace

void playback_open_race(race_start_params& params, int* gate_drop_tic) {
    std::string name = g_playback.chosen.empty() ? k_demo_default_file : g_playback.chosen;
    if (!open_file(name, false, false)) return;
    const demo_header& h = g_playback.reader.header;
    if (track_list_find(h.track.c_str()) < 0) {
        show_message("Can't play %s: its track %s is not here", name.c_str(), h.track.c_str());
        playback_close();
        return;
    }
    params.track = h.track;
    params.time_limit_tics = h.finish_time;
    params.laps = h.finish_laps;
    *gate_drop_tic = h.gate_drop_tic;
}

void playback_open_ghost() { open_file(demo_lap_file(k_demo_fastest_lap_file), true, true); }

void playback_close() {
    demo_reader_close(g_playback.reader);
    g_playback.file.clear();
    g_playback.ghost = false;
    g_playback.damage_told = false;
    if (g_playback.erosion_taken) erosion_set_setting(g_playback.own_erosion);
    g_playback.erosion_taken = false;
    forget_riders(g_playback);
}

int playback_create_rider(int slot) {
    playback_state& g = g_playback;
    if (!g.reader.file || g.next_rider >= static_cast<int>(g.reader.header.riders.size()))
        return -1;
    const demo_rider& r = g.reader.header.riders[g.next_rider];
    g.slot_of[g.next_rider] = slot;
    g.rider_of[slot] = g.next_rider;
    g.next_rider++;
    int bike = race_remote_rider_create(slot, r.bike, r.name, r.number, r.descriptor);
    // The ghost is read at once, so it leaves the finish in the same tic as the player.
    if (g.ghost) playback_first_read();
    return bike;
}

void playback_first_read() {
    demo_reader& r = g_playback.reader;
    if (!r.file) return;
    // Old formats have a record for every tic from the one playback starts at.
    if (r.header.version < 6) r.read_to = race_clock();
    playback_tic();
}

void playback_tic() {
    if (g_playback.reader.file) demo_reader_tic(g_playback.reader, race_clock(), k_playback_sink);
}

int playback_pose_version(int slot) {
    if (slot < 0 || slot >= k_max_riders || g_playback.rider_of[slot] < 0) return 5;
    return g_playback.reader.header.version;
}

const std::string& playback_file() { return g_playback.file; }

bool demo_open_playback(const char* name, std::string* track) {
    g_playback.chosen = name ? name : "";
    demo_reader probe;
    std::string error;
    if (!demo_reader_open(probe, g_playback.chosen.c_str(), &error)) {
        show_message("Can't play %s: %s", g_playback.chosen.c_str(), error.c_str());
        return false;
    }
    if (track) *track = probe.header.track;
    demo_reader_close(probe);
    return true;
}

void demo_close_playback() {
    playback_close();
    g_playback.chosen.clear();
}

bool demo_playing() { return g_playback.reader.file != nullptr; }
int demo_playing_version() { return demo_playing() ? g_playback.reader.header.version : 0; }

bool demo_play_race(const char* name, const demo_race_choice& choice) {
    int lineup[k_lineup_size];
    std::fill(lineup, lineup + k_lineup_size, static_cast<int>(lineup_demo));
    race_start_params p;
    if (choice.mode == demo_race_against) {
        lineup[std::clamp(choice.local_place, 0, k_lineup_size - 1)] = lineup_local;
        p.record_mode = choice.record ? 1 : 0;
    }
    p.playback = true;
    p.time_limit_tics = 0;
    p.laps = 10;
    p.skill = choice.skill;
    p.demo_backups = choice.demo_backups;
    g_playback.chosen = name ? name : "";
    bool ok = race_start_lineup(p, lineup, k_lineup_size);
    g_playback.chosen.clear();
    return ok;
}

void demo_seek(int seconds, bool accurate_skip) {
    demo_reader& r = g_playback.reader;
    if (!r.file || demo_recording() || !pure_playback()) return;
    const int clock = race_clock();
    if (seconds > 0 && (r.header.version == 6 || accurate_skip)) {
        int target = clock + seconds * k_tics_per_second;
        while (race_clock() < target) race_world_tic();
        return;
    }
    int t = std::max(0, clock + seconds * k_tics_per_second - 1);
    if (!demo_reader_rewind(r, t)) return;
    if (t < clock) race_rewind_timing(t);
    race_set_clock(t);
    history_clear_all();
    playback_tic();
    race_world_tic();
}

float demo_ghost_opacity(int slot, float fade_distance) {
    if (slot < 0 || slot >= k_max_riders || race_params().online) return 1;
    const rider_slot& s = race_slot(slot);
    if (s.bike < 0 || s.kind != rider_remote || fade_distance <= 0) return 1;
    for (int other = 0; other < k_max_riders; other++) {
        const rider_slot& o = race_slot(other);
        if (o.bike < 0 || o.kind == rider_remote) continue;
        vec3d a = bike_frame_position(s.bike), b = bike_frame_position(o.bike);
        double d = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                             (a.z - b.z) * (a.z - b.z));
        double half = fade_distance / 2.0;
        return static_cast<float>(std::clamp((d - half) / (fade_distance - half), 0.0, 1.0));
    }
    return 1;
}

float demo_rider_volume(int slot) {
    if (slot < 0 || slot >= k_max_riders) return 1;
    int rider = g_playback.rider_of[slot];
    if (rider < 0 || g_playback.reader.header.version >= 6) return 1;
    return g_playback.reader.rider_has_data[rider] ? 1.0f : 0.0f;
}
