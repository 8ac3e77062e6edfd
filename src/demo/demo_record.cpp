// The demo recorder: which riders a race records, the header, a block of states every 16 tics,
// the server's messages, the backups of earlier recordings and the save name.
#include "demo/demo_format.h"
#include "demo/demo_local.h"

#include "bike/bike.h"
#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "terrain/erosion.h"
#include "track/track.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
constexpr int k_sample_tics = 4; // tics between the snapshots of simulated riders
constexpr int k_block_tics = 16; // tics between blocks of states
constexpr const char* k_extension = ".qvdemo";

struct recorder_state {
    data_file* file = nullptr;
    std::string name; // the file being written
    uint32_t previous_length = 0;
    bool lap = false; // the time trial's lap
    int riders = 0;
    int slots[k_max_riders] = {}; // the slot of each rider block, in slot order
};
recorder_state g_recording;

std::string backup_name(int k) {
    char name[64];
    snprintf(name, sizeof name, "@demos/default%02d.qvdemo", k);
    return name;
}

// Earlier recordings move one place along: the newest becomes backup 00, the oldest kept is
// overwritten.
void rotate_backups(int count) {
    int n = std::clamp(count, 0, k_demo_backups_max);
    for (int k = n - 2; k >= 0; k--)
        rename_in_home(backup_name(k).c_str(), backup_name(k + 1).c_str());
    if (n > 0) rename_in_home(k_demo_default_file, backup_name(0).c_str());
}

// Offline the simulated riders are recorded; online everybody, except the local slot of a
// player who only watches.
bool recorded(const rider_slot& s, bool online, bool watching) {
    if (s.bike < 0) return false;
    if (!online) return s.kind == rider_local || s.kind == rider_robot;
    return !watching || s.kind != rider_local;
}

bool simulated_here(const rider_slot& s) {
    return s.bike >= 0 && (s.kind == rider_local || s.kind == rider_robot);
}

demo_header header_of_race() {
    recorder_state& g = g_recording;
    const race_start_params& p = race_params();
    // A watching player's own rider is not recorded.
    const bool watching = p.watching || race_local_slot() < 0;
    demo_header h;
    h.finish_time = p.time_limit_tics;
    h.finish_laps = p.laps;
    h.gate_drop_tic = race_gate_drop_tic();
    h.track = track_current() ? track_current() : "";
    g.riders = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (!recorded(s, p.online, watching)) continue;
        g.slots[g.riders++] = slot;
        demo_rider r;
        r.bike = s.bike_name;
        for (int i = 0; i < k_descriptor_fields; i++) r.descriptor[i] = s.descriptor[i];
        r.number = s.number;
        r.name = s.name;
        h.riders.push_back(r);
    }
    return h;
}

void fail_writing() {
    show_message("Can't write %s - recording stopped", g_recording.name.c_str());
    data_file_close(g_recording.file);
    g_recording = recorder_state{};
}

// One block of states: every recorded rider's snapshots not yet written, oldest first. A block
// forced at the start also carries a snapshot that was already held for this tic.
void write_states(int clock, bool with_newest) {
    recorder_state& g = g_recording;
    std::vector<uint8_t> payload;
    for (int i = 0; i < g.riders; i++) {
        int slot = g.slots[i];
        int pending = history_take_pending(slot);
        int tic;
        compact_state state;
        if (pending == 0 && with_newest && history_entry_at(slot, 0, &tic, &state) && tic == clock)
            pending = 1;
        for (int age = pending - 1; age >= 0; age--) {
            if (!history_entry_at(slot, age, &tic, &state)) continue;
            uint8_t entry[k_demo_entry_size];
            demo_entry_pack({i, tic, state}, entry);
            payload.insert(payload.end(), entry, entry + sizeof entry);
        }
    }
    if (payload.empty()) return;
    if (!demo_write_block(g.file, &g.previous_length, clock, demo_block_states, payload.data(),
                          static_cast<uint32_t>(payload.size())))
        fail_writing();
}

// Where an "@" name is written: always the home folder, never a data folder behind it.
std::string home_path(const std::string& name) {
    std::string home = home_folder();
    return home.empty() ? "" : home + name.substr(1);
}

// Opens the file and writes the header; a recording that can't be made is said so.
void start(const std::string& name, bool lap) {
    recording_stop();
    recorder_state& g = g_recording;
    std::string path = home_path(name);
    g.file = path.empty() ? nullptr : data_file_open(path.c_str(), "wb");
    g.name = name;
    g.lap = lap;
    if (!g.file) {
        show_message("Can't create %s - this race is not being recorded", name.c_str());
        g = recorder_state{};
        return;
    }
    if (!demo_header_write(g.file, header_of_race()) || !data_file_flush(g.file)) {
        fail_writing();
        return;
    }
    // What the histories held before belongs to no block of this file.
    for (int i = 0; i < g.riders; i++) history_take_pending(g.slots[i]);
    record_tic(true);
}

void write_block(int type, const void* payload, uint32_t length) {
    recorder_state& g = g_recording;
    if (!g.file) return;
    if (!demo_write_block(g.file, &g.previous_length, race_clock(), type, payload, length))
        fail_writing();
}
} // namespace

std::string demo_lap_file(const char* file) {
    return std::string("@") + (track_current() ? track_current() : "") + "/" + file;
}

void recording_start_race() {
    const race_start_params& p = race_params();
    if (p.time_trial || p.record_mode == 0) return;
    // Writing the file being played would destroy it.
    if (playback_file() == k_demo_default_file) {
        show_message("Can't record and play from same file - recording disabled");
        return;
    }
    rotate_backups(p.demo_backups);
    start(k_demo_default_file, false);
    // Offline the ruts come from this machine, so the demo carries its erosion setting; online
    // the server's command is recorded as it arrives.
    if (!p.online && erosion_setting() > 0) demo_record_erode(erosion_setting());
    if (g_recording.file) demo_list_note(k_demo_default_file);
}

void recording_start_lap() { start(demo_lap_file(k_demo_last_lap_file), true); }

void recording_stop() {
    recorder_state& g = g_recording;
    if (!g.file) return;
    // The snapshots taken since the last block go in too.
    write_states(race_clock(), false);
    if (!g.file) return;
    if (!data_file_close(g.file)) log("Writing %s failed\n", g.name.c_str());
    g = recorder_state{};
}

void record_tic(bool force) {
    if (!g_recording.file) return;
    int clock = race_clock();
    if (clock % k_sample_tics == 0 || force)
        for (int slot = 0; slot < k_max_riders; slot++)
            if (simulated_here(race_slot(slot)))
                history_add(slot, compact_state_encode(race_slot(slot).bike), clock);
    if (clock % k_block_tics == 0 || force) write_states(clock, force);
}

void recording_keep_as_fastest() {
    std::string from = demo_lap_file(k_demo_last_lap_file);
    std::string to = demo_lap_file(k_demo_fastest_lap_file);
    data_file* in = data_file_open(from.c_str(), "rb");
    if (!in) return;
    data_file* out = data_file_open_replace(to.c_str());
    if (!out) {
        data_file_close(in);
        show_message("Can't write %s", to.c_str());
        return;
    }
    uint8_t block[1024];
    bool ok = true;
    for (size_t n; ok && (n = data_file_read(in, block, sizeof block)) > 0;)
        ok = data_file_write(out, block, n);
    data_file_close(in);
    if (!ok)
        data_file_abandon(out);
    else
        ok = data_file_close(out);
    if (!ok) show_message("Can't write %s", to.c_str());
}

bool demo_recording() { return g_recording.file != nullptr; }

void demo_stop_recording() { recording_stop(); }

void demo_name_recording(const char* name) {
    recorder_state& g = g_recording;
    if (!g.file || g.lap) {
        show_message("Not currently recording a demo");
        return;
    }
    std::string text = name ? name : "";
    size_t length = text.size(), extension = strlen(k_extension);
    if (length < extension || text.compare(length - extension, extension, k_extension) != 0)
        text += k_extension;
    if (text.size() > static_cast<size_t>(k_demo_save_name_max)) {
        show_message("Name too long");
        return;
    }
    // The name is a file in the demos folder, never a way out of it.
    if (text.find_first_of("/\\") != std::string::npos || text == k_extension) {
        show_message("A demo name can't hold a folder");
        return;
    }
    // The file takes its name now, while it is still being written: a crash later in the race,
    // or the next race's recording over the default file, cannot lose it.
    const std::string target = "@demos/" + text;
    if (target != g.name && !rename_in_home(g.name.c_str(), target.c_str())) {
        show_message("Can't keep the demo as %s", text.c_str());
        return;
    }
    g.name = target;
    demo_list_note(target);
    show_message("Demo name updated");
}

void demo_record_message(const char* text, int length) {
    if (text && length > 0) write_block(demo_block_message, text, static_cast<uint32_t>(length));
}

void demo_record_erode(int value) {
    char text[32];
    int length = snprintf(text, sizeof text, "erode %d", value);
    write_block(demo_block_erode, text, static_cast<uint32_t>(length));
}

void demo_record_terrain_edit(const uint8_t* bytes, int size) {
    if (bytes && size > 0) write_block(demo_block_terrain_edit, bytes, static_cast<uint32_t>(size));
}
