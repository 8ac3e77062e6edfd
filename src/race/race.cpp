// The race: rider slots, the race clock, resetting a race, the race tic and the end of the race.
#include "race/race.h"

#include "bike/bike.h"
#include "common/loading.h"
#include "common/message.h"
#include "platform/log.h"
#include "race/auto_pilot.h"
#include "race/race_local.h"
#include "terrain/erosion.h"
#include "race/race_timing.h"
#include "race/robot_lines.h"
#include "race/series.h"
#include "resources/resources.h"
#include "terrain/roost.h"
#include "track/track.h"
#include "track/track_objects.h"

#include <algorithm>

#include <ctime>

namespace {
race_state g_race;

long system_calendar() { return static_cast<long>(std::time(nullptr)); }

void phase_mark(race_tic_phase phase) {
    if (g_race.phase_hook) g_race.phase_hook(phase);
}

constexpr int k_stranded_tics = 60 * k_tics_per_second;

void free_slots() {
    for (rider_slot& s : g_race.slots) {
        if (s.bike >= 0 && bike_live(s.bike)) bike_destroy(s.bike);
        s = rider_slot{};
    }
}

// Offline, a demo rider whose recording ended more than 10 s ago no longer holds the race open.
// Online, the local rider holds it open unless the player only watches, and a remote rider only
// while its states keep coming (one within the last second).
bool holds_race_open(int slot) {
    if (rider_finished(slot)) return false;
    const rider_slot& s = g_race.slots[slot];
    if (s.kind != rider_remote && !g_race.params.online) {
        // Offline, once the leader is home, a rider who has crossed no gate for a minute (lying
        // in a field, stuck, given up) is left unplaced instead of keeping the race from ever
        // ending.
        const rider_timing& t = timing_of(slot);
        const int last = t.position > 0 ? crossing_tic(t, t.position - 1) : g_race.gate_drop;
        const bool leader_home =
            running_order_count() > 0 && rider_finished(running_order_at(0).slot);
        return !(leader_home && g_race.clock - std::max(last, g_race.gate_drop) > k_stranded_tics);
    }
    if (s.kind != rider_remote) return !g_race.params.watching;
    // Online it is when something last came from the rider that counts, not the tic the rider's
    // state is from: a slow game's states lag the clock while it still races.
    if (g_race.params.online) {
        int heard = g_race.heard_clock[slot];
        return heard >= 0 && g_race.clock - heard <= k_tics_per_second;
    }
    int newest = history_newest_tic(slot);
    return newest >= 0 && g_race.clock - newest <= 10 * k_tics_per_second;
}

bool anyone_finished() {
    for (int i = 0; i < running_order_count(); i++)
        if (rider_finished(running_order_at(i).slot)) return true;
    return false;
}

// Once every rider is finished or may be ignored: penalties, the final order and the file.
void results_check() {
    race_state& r = g_race;
    if (r.results_done || gate_count() == 0 || running_order_count() == 0) return;
    for (int i = 0; i < running_order_count(); i++)
        if (holds_race_open(running_order_at(i).slot)) return;
    // Online the riders' states may not have come yet (before the drop, or a rider still
    // joining): nobody having finished is no end.
    if (r.params.online && !anyone_finished()) return;
    r.final_results = final_results_compute();
    r.results_done = true;
    series_record_results(true);
    long date = (r.calendar ? r.calendar : system_calendar)();
    // Demos, series and the race server know a track by its folder, not by its description.
    const char* folder = track_current();
    results_write(r.final_results, folder ? folder : "", date, r.params.time_limit_tics,
                  r.params.laps);
}

// With erosion on, every bike simulated here samples its wheels' pushes, and the queue works part
// of its backlog into the ground away from the local bike.
void cut_ruts() {
    const race_state& r = g_race;
    if (erosion_setting() <= 0) return;
    const float* avoid = nullptr;
    float local[2];
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = r.slots[slot];
        if (s.bike < 0 || s.kind == rider_remote) continue;
        if (s.kind == rider_local) {
            const vec3d p = bike_frame_position(s.bike);
            local[0] = static_cast<float>(p.x);
            local[1] = static_cast<float>(p.z);
            avoid = local;
        }
        // Online a rider digs only while in the race: not watching, and not past the finish.
        if (r.params.online && (r.params.watching || rider_finished(slot))) continue;
        bike_cut_ruts(s.bike, r.clock);
    }
    erosion_drain(r.clock, avoid);
}

// Every occupied slot emits its roost, starting one slot further each tic.
void emit_roost() {
    for (int k = 0; k < k_max_riders; k++) {
        const rider_slot& s = g_race.slots[(g_race.clock + k) % k_max_riders];
        if (s.bike >= 0) bike_emit_roost(s.bike, s.kind != rider_remote, g_race.clock);
    }
}

// Online only the local bike is simulated against others: remote bikes it may touch take forces,
// and one it touched is simulated here for a while.
void collide_online(const bike_tic& t) {
    const int local = race_local_slot();
    if (local < 0) return;
    int bike = g_race.slots[local].bike;
    bike_collide_world(bike, t);
    // Warm-up: a watching player's rider rides through everybody.
    if (g_race.params.watching) return;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = g_race.slots[slot];
        if (s.bike < 0 || s.kind != rider_remote) continue;
        if (!race_collides_online(local, slot, history_newest_tic(slot))) continue;
        if (bike_collide_bike(bike, s.bike, true)) bike_touched(s.bike);
    }
}

} // namespace

// A finished robot rides on among the others until it leaves; a wedged one untangles itself.
bool race_rider_passes_through(int slot) {
    return g_race.slots[slot].kind == rider_robot &&
           (auto_pilot_leaving(slot) >= 0 || auto_pilot_untangling(slot));
}

float race_slot_opacity(int slot) {
    if (slot < 0 || slot >= k_max_riders || g_race.slots[slot].kind != rider_robot) return 1;
    const float gone = auto_pilot_leaving(slot);
    return gone < 0 ? 1 : 1 - gone;
}

namespace {
void collide(const bike_tic& t) {
    if (g_race.params.online) {
        collide_online(t);
        return;
    }
    int bikes[k_max_riders], count = 0, through[k_max_riders], through_count = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = g_race.slots[slot];
        if (s.bike < 0 || s.kind == rider_remote) continue;
        if (race_rider_passes_through(slot))
            through[through_count++] = s.bike;
        else
            bikes[count++] = s.bike;
    }
    bikes_collide_all(bikes, count, t);
    // A parked bike is not simulated and needs no contacts.
    for (int i = 0; i < through_count; i++)
        if (bike_simulated(through[i])) bike_collide_world(through[i], t);
    // Recorded riders hold up the start gate's pieces they lean on, as they did when recorded.
    if (g_race.clock > g_race.gate_drop + 10 * k_tics_per_second) return;
    for (const rider_slot& s : g_race.slots)
        if (s.bike >= 0 && s.kind == rider_remote)
            bike_touch_statues(s.bike, start_gate_piece_statue(0), g_race.piece_count, t.tic);
}

// Robots steer, every bike gets its controls and is prepared, then the gates are checked.
void prepare_and_time(const bike_tic& t) {
    race_state& r = g_race;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = r.slots[slot];
        if (s.bike < 0) continue;
        if (r.params.online && s.kind == rider_remote) activity_decay(s.bike);
        if (r.params.online && !r.params.watching && s.kind == rider_local) false_start_tic(slot);
        if (s.kind == rider_robot) {
            phase_mark(race_phase_pilot);
            auto_pilot_tic(slot, s.bike);
            phase_mark(race_phase_slots);
        }
        if (s.kind == rider_local) lines_record_tic(slot, s.bike, r.clock);
        if (s.kind != rider_remote) rider_input_from_slot(s.bike, slot);
        bike_prepare(s.bike, t);
    }
    bool crossed = false;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = r.slots[slot];
        if (s.bike < 0 || (r.params.online && (s.kind != rider_local || r.params.watching)))
            continue;
        vec3d wheel = bike_body_position(s.bike, body_front_wheel);
        gate_crossing made;
        if (!gate_crossing_check(slot, static_cast<float>(wheel.x), static_cast<float>(wheel.z),
                                 r.clock, &made))
            continue;
        crossed = true;
        if (s.kind == rider_robot) auto_pilot_crossing(slot, s.bike, made.crossing, made.offset);
        if (s.kind == rider_local) lines_human_crossing(slot, s.bike, made.crossing, made.offset);
    }
    // Once a second too: a stranded rider stops holding the race open without crossing anything.
    if (crossed || r.clock % k_tics_per_second == 0) results_check();
}
// A fallen bike is turned towards the best line where its rider is, unless that rider has
// just finished.
bool realign_target(int bike, vec3d* target) {
    for (int slot = 0; slot < k_max_riders; slot++) {
        if (g_race.slots[slot].bike != bike) continue;
        if (rider_finished(slot)) return false;
        vec3d x = bike_frame_position(bike);
        return lines_realign_target(slot, x.x, x.y, x.z, &target->x, &target->y, &target->z);
    }
    return false;
}
} // namespace

race_state& race() { return g_race; }

bike_tic race_bike_tic() { return bike_tic{g_race.clock, g_race.gate_drop, g_race.knockout_table}; }

const rider_slot& race_slot(int slot) {
    TB_ASSERT(slot >= 0 && slot < k_max_riders);
    return g_race.slots[slot];
}

int race_local_slot() {
    for (int slot = 0; slot < k_max_riders; slot++)
        if (g_race.slots[slot].bike >= 0 && g_race.slots[slot].kind == rider_local) return slot;
    return -1;
}

void race_slot_set(int slot, rider_kind kind, int bike) {
    TB_ASSERT(slot >= 0 && slot < k_max_riders);
    g_race.slots[slot].kind = kind;
    g_race.slots[slot].bike = bike;
}

void race_slot_fill(int slot, const char* name, const char* number, const char* bike_name) {
    TB_ASSERT(slot >= 0 && slot < k_max_riders);
    rider_slot& s = g_race.slots[slot];
    s.kind = rider_remote;
    copy_text(s.name, name);
    copy_text(s.number, number);
    copy_text(s.bike_name, bike_name);
}

void race_clear_slots() {
    free_slots();
    for (int& code : g_race.lineup) code = 0;
}

void race_shutdown() {
    lines_remember();
    lines_set_learning(false);
    auto_pilot_set_practice(false);
    auto_pilot_reset();
    free_slots();
    const race_demo_hooks* demo = g_race.demo;
    race_network_rider_fn network_rider = g_race.network_rider;
    void (*phase_hook)(race_tic_phase) = g_race.phase_hook;
    g_race = race_state{};
    g_race.demo = demo;
    g_race.network_rider = network_rider;
    g_race.phase_hook = phase_hook;
    timing_reset(0, 0);
}

void race_set_demo_hooks(const race_demo_hooks* hooks) { g_race.demo = hooks; }

void race_set_network_rider(race_network_rider_fn create) { g_race.network_rider = create; }

const int* race_lineup() { return g_race.lineup; }

void race_lineup_set(const int* codes, int count) {
    std::fill(g_race.lineup, g_race.lineup + k_lineup_size, 0);
    std::copy(codes, codes + std::clamp(count, 0, k_lineup_size), g_race.lineup);
}

bool race_start_lineup(const race_start_params& params, const int* codes, int count) {
    race_lineup_set(codes, count);
    return race_start(params);
}

void race_set_calendar(long (*now)()) { g_race.calendar = now; }

void race_set_phase_hook(void (*hook)(race_tic_phase)) { g_race.phase_hook = hook; }

bool race_start(const race_start_params& asked) {
    race_state& r = g_race;
    loading_message("Resetting...");
    log("Resetting\n");
    // A series event reset before its results are final still scores its running order.
    series_record_results(false);
    lines_remember();
    if (r.demo) r.demo->reset();
    free_slots();
    // A slot's controls are its rider's: nothing carries over into the next race.
    rider_inputs_reset();
    // The shared generator is reseeded from the clock as it stands at the reset.
    robot_order_shuffle(r.clock, r.robot_order);
    race_start_params params = asked;
    r.gate_drop = params.playback ? 14 * k_tics_per_second : gate_drop_draw();
    // A played demo brings its own track, race length and gate drop.
    if (r.demo && params.playback) r.demo->open(params, &r.gate_drop);
    r.params = params;
    r.clock = params.time_trial ? 300 * k_tics_per_second : 0;
    r.results_done = false;
    r.final_results.clear();
    std::fill(r.heard_clock, r.heard_clock + k_max_riders, -1);
    r.false_start_hold = 0;
    r.trial_laps_seen = 0;
    r.last_lap_tics = r.best_lap_tics = 0;
    timing_reset(params.time_limit_tics, params.laps);
    if (!params.track.empty() && !track_reset(params.track.c_str(), false)) return false;
    track_script_load(track_current(), &k_race_script);
    // The gate stands raised before the bikes are placed behind it.
    start_gate_raise();
    roost_reset();
    lines_load(track_current(), params.skill);
    auto_pilot_reset();
    rider_set_realign_target(realign_target);
    if (world_exists()) race_build_grid();
    history_clear_all();
    if (r.demo) r.demo->started();
    // A watching player's own rider is not in the race.
    for (int slot = 0; slot < k_max_riders; slot++)
        timing_set_occupied(slot, r.slots[slot].bike >= 0 &&
                                      !(params.watching && r.slots[slot].kind == rider_local));
    if (params.time_trial && r.slots[0].bike >= 0) time_trial_place();
    running_order_update();
    // What the old track alone used goes now that the new track and its bikes have loaded.
    show_message("%d MB texture memory used\n", static_cast<int>(texture_memory() >> 20));
    resources_purge_unused();
    return true;
}

void race_world_tic() {
    race_state& r = g_race;
    phase_mark(race_phase_script);
    track_script_tic_handler(r.clock);
    if (world_exists()) {
        phase_mark(race_phase_contacts);
        for (int slot = 0; slot < k_max_riders; slot++) {
            const rider_slot& s = r.slots[slot];
            if (s.bike < 0 || s.kind != rider_remote) continue;
            int shown = r.params.watching ? r.clock - k_watch_delay : r.clock;
            history_apply(slot, s.bike, shown, r.demo ? r.demo->pose_version(slot) : 5);
        }
        const bike_tic t = race_bike_tic();
        collide(t);
        phase_mark(race_phase_roost);
        emit_roost();
        phase_mark(race_phase_step);
        world_step();
        phase_mark(race_phase_ruts);
        cut_ruts();
        phase_mark(race_phase_slots);
        prepare_and_time(t);
    }
    phase_mark(race_phase_end);
    timed_race_end(r.clock);
    roost_update();
    start_gate_animate();
    r.clock++;
    // Online, the server's timing updates arrive between crossings; the order catches up with them.
    if (r.params.online && r.clock % 512 == 510) {
        running_order_update();
        results_check();
    }
    if (r.demo) r.demo->tic();
    if (r.params.time_trial) time_trial_tic();
}

void race_set_robot_learning(bool on) { lines_set_learning(on); }
void race_set_robot_practice(bool on) { auto_pilot_set_practice(on); }

int race_demo_rider(int slot) {
    race_state& r = g_race;
    if (!r.demo || !world_exists()) return -1;
    int bike = r.demo->create_rider(slot);
    if (bike < 0) return -1;
    r.slots[slot].bike = bike;
    r.slots[slot].kind = rider_remote;
    bike_deactivate(bike);
    return bike;
}

int race_network_rider(int slot) {
    race_state& r = g_race;
    if (!r.network_rider || !world_exists()) return -1;
    int bike = r.network_rider(slot);
    if (bike < 0) return -1;
    r.slots[slot].bike = bike;
    r.slots[slot].kind = rider_remote;
    bike_deactivate(bike);
    return bike;
}

const race_start_params& race_params() { return g_race.params; }
int race_clock() { return g_race.clock; }
void race_set_clock(int tic) { g_race.clock = tic; }

void race_rewind_timing(int tic) {
    for (int slot = 0; slot < k_max_riders; slot++) {
        if (g_race.slots[slot].bike < 0) continue;
        const rider_timing& t = timing_of(slot);
        int p = t.position;
        while (p > 0 && (crossing_tic(t, p - 1) < 0 || crossing_tic(t, p - 1) > tic)) p--;
        timing_set_position(slot, p);
    }
    g_race.results_done = false;
    g_race.final_results.clear();
    running_order_update();
}
int race_gate_drop_tic() { return g_race.gate_drop; }
void race_set_gate_drop_tic(int tic) { g_race.gate_drop = tic; }
bool race_results_done() { return g_race.results_done; }
void race_rider_heard(int slot) {
    if (slot >= 0 && slot < k_max_riders) g_race.heard_clock[slot] = g_race.clock;
}
const std::vector<result_entry>& race_final_results() { return g_race.final_results; }

void race_set_crossing(int slot, int crossing, int tic) {
    if (slot < 0 || slot >= k_max_riders || crossing < 0 || crossing >= k_max_crossings) return;
    timing_set_crossing(slot, crossing, tic);
    timing_set_position(slot, crossing + 1);
    running_order_update();
    results_check();
}
