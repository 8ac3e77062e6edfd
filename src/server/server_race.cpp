// The server's races: warm-up, the lineup of a race, joining a client to it, its clock and
// phases, the states and crossings relayed between the riders, and the results file.
#include "server/server_local.h"

#include "race/race.h"
#include "race/race_results.h"
#include "race/race_timing.h"
#include "track/track.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {
constexpr int k_default_laps = 3;
constexpr int k_warmup_gate_drop = 3 * k_tics_per_second;
constexpr int k_future_slack = 10 * k_tics_per_second;   // how far ahead of the server a rider's
                                                         // clock may run
constexpr int k_longest_race = 3600 * k_tics_per_second; // beyond its length, a race is given up
constexpr double k_abandon_after = 5.0; // s without a connected rider before a race is given up

int echo_tic(const server_client& c) {
    if (c.client_tic <= 0) return 0;
    const int64_t echo = int64_t{c.client_tic} + (race_clock() - c.client_tic_at);
    return static_cast<int>(std::clamp<int64_t>(echo, 0, INT32_MAX));
}

bool in_current_race(const server_client& c, client_phase phase) {
    return c.used && c.phase == phase && c.race == server().race.id;
}

int racers_connected() {
    int n = 0;
    for (const server_client& c : server().clients)
        n += c.used && server().race.riders[c.slot].racing;
    return n;
}

int clients_identified() {
    int n = 0;
    for (const server_client& c : server().clients) n += c.used && c.identified;
    return n;
}

void add_timing(server_client& c, const timing_entry& e) {
    if (c.timing_pending.size() < k_timing_pending_most) c.timing_pending.push_back(e);
}

// Every crossing the race has seen, for a client that joins it: in order, each rider's last
// entry setting its position.
void queue_timing_table(server_client& c) {
    for (int slot = 0; slot < k_max_riders; slot++) {
        if (!server().race.riders[slot].racing || slot == c.slot) continue;
        const rider_timing& t = timing_of(slot);
        for (int k = 0; k < static_cast<int>(t.crossing_tics.size()); k++)
            if (t.crossing_tics[static_cast<size_t>(k)] >= 0)
                add_timing(c, timing_entry{slot, k, t.crossing_tics[static_cast<size_t>(k)]});
        int last = t.position - 1;
        if (last >= 0 && crossing_tic(t, last) >= 0 &&
            (c.timing_pending.empty() || c.timing_pending.back().slot != slot ||
             c.timing_pending.back().crossing != last))
            add_timing(c, timing_entry{slot, last, crossing_tic(t, last)});
    }
}

// A late joiner's stored terrain edits go into its queue a window at a time, so timing and chat
// queued meanwhile wait behind one window of them, not behind them all.
void flush_stored_edits(server_client& c) {
    const std::vector<std::string>& edits = server().race.terrain_edits;
    while (!c.edits_caught_up && c.out.queue.size() < static_cast<size_t>(k_reliable_window)) {
        if (c.stored_edits_sent >= edits.size()) {
            c.edits_caught_up = true;
            break;
        }
        server_queue(c, sub_terrain_edit, edits[c.stored_edits_sent++]);
    }
}

// Crossings go out as lists, ahead of any bulk still to come.
void flush_timing(server_client& c) {
    if (c.timing_pending.empty() || c.out.queue.size() >= static_cast<size_t>(k_reliable_window))
        return;
    int count = std::min(static_cast<int>(c.timing_pending.size()), k_timing_entries_max);
    datagram d;
    put_u32(d, static_cast<uint32_t>(server().race.id));
    put_u32(d, static_cast<uint32_t>(count));
    for (int i = 0; i < count; i++) {
        const timing_entry& e = c.timing_pending[static_cast<size_t>(i)];
        put_u32(d, static_cast<uint32_t>(e.slot));
        put_u32(d, static_cast<uint32_t>(e.crossing));
        put_u32(d, static_cast<uint32_t>(e.tic));
    }
    c.timing_pending.erase(c.timing_pending.begin(), c.timing_pending.begin() + count);
    reliable_queue(c.out, sub_timing, d.bytes, d.length);
}

std::string results_path(int race) {
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    char name[96];
    std::snprintf(name, sizeof name, "/results-%s-race%d.txt", stamp, race);
    return server().options.results_dir + name;
}

// The results, as every rider's game computes them, into a file of their own and the log.
void write_results() {
    server_state& s = server();
    const std::vector<result_entry>& results = race_final_results();
    std::string text = results_text(results, s.options.track, static_cast<long>(std::time(nullptr)),
                                    s.race.finish_time, s.race.finish_laps);
    std::string path = results_path(s.race.id);
    std::error_code ignored;
    std::filesystem::create_directories(s.options.results_dir, ignored);
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (out) {
        s.last_results = path;
        server_log("Race %d results written to %s", s.race.id, path.c_str());
    } else {
        server_log("Can't write the results to %s", path.c_str());
    }
    std::string summary;
    int place = 0;
    for (const result_entry& e : results) {
        if (!rider_finished(e.slot)) continue;
        const rider_slot& r = race_slot(e.slot);
        char line[160];
        int ms = static_cast<int>(static_cast<long long>(e.tic - s.race.gate_drop) * 1000 /
                                  k_tics_per_second);
        std::snprintf(line, sizeof line, "%s%d. %s #%s %d:%02d.%03d", place ? ", " : "", place + 1,
                      r.name, r.number, ms / 60000, ms / 1000 % 60, ms % 1000);
        server_log("  %d. slot %d %s #%s on %s: %d laps, %d:%02d.%03d", place + 1, e.slot, r.name,
                   r.number, r.bike_name, laps_completed(e.slot), ms / 60000, ms / 1000 % 60,
                   ms % 1000);
        summary += line;
        place++;
    }
    server_say("Race %d results: %s", s.race.id,
               summary.empty() ? "nobody finished" : summary.c_str());
}
} // namespace

void race_begin(bool racing, double now) {
    server_state& s = server();
    server_race& r = s.race;
    const int id = r.id + 1;
    r = server_race{};
    r.id = id;
    r.phase = racing ? phase_racing : phase_warmup;
    r.phase_since = now;
    r.finish_time = s.options.minutes * 60 * k_tics_per_second;
    r.finish_laps = s.options.laps > 0 || s.options.minutes > 0 ? s.options.laps : k_default_laps;
    r.gate_drop =
        racing ? static_cast<int>(s.options.gate_drop * k_tics_per_second) : k_warmup_gate_drop;
    if (racing)
        for (const server_client& c : s.clients)
            if (c.used && c.identified) {
                r.riders[c.slot].racing = true;
                r.riders[c.slot].descriptor_text = c.descriptor_text;
            }

    race_clear_slots();
    race_start_params p;
    p.track = s.options.track;
    p.online = true;
    p.laps = r.finish_laps;
    p.time_limit_tics = r.finish_time;
    race_start(p);
    race_set_gate_drop_tic(r.gate_drop);
    int riders = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        if (!r.riders[slot].racing) continue;
        const rider_descriptor d = parse_descriptor(r.riders[slot].descriptor_text);
        race_slot_fill(slot, d.name.c_str(), d.number.c_str(),
                       bike_info_at(bike_info_find_or_fallback(d.bike.c_str())).name);
        timing_set_occupied(slot, true);
        riders++;
    }
    running_order_update();

    for (server_client& c : s.clients) {
        if (!c.used) continue;
        c.restart_vote = false;
        c.timing_pending.clear();
        c.stored_edits_sent = 0;
        c.edits_caught_up = true;
        std::fill(c.sent_tic, c.sent_tic + k_max_riders, -1);
        c.client_tic = c.client_tic_at = 0;
        if (c.phase == client_running || c.phase == client_restarting) {
            server_send_restart(c, now);
        }
    }
    s.stats.races++;
    if (racing)
        server_say("Race %d: %d rider%s, %d laps%s on %s; the gate drops in %d s", r.id, riders,
                   riders == 1 ? "" : "s", r.finish_laps,
                   r.finish_time
                       ? (" after " + std::to_string(s.options.minutes) + " minutes").c_str()
                       : "",
                   track_display_name(), r.gate_drop / k_tics_per_second);
    else
        server_log("Race %d: warm-up on %s", r.id, track_display_name());
}

// Every rider after the one acknowledged goes at once, each twice in a row: a game takes a rider
// only above the last it acknowledged, so a copy makes up for a single loss without one round
// trip a rider. The start follows the acknowledgment of the last.
void race_send_join_step(server_client& c, int acknowledged) {
    const server_race& r = server().race;
    int from = acknowledged < 0 ? 0 : std::min(acknowledged, k_max_riders - 1) + 1;
    bool sent = false;
    for (int slot = from; slot < k_max_riders; slot++) {
        if (!r.riders[slot].racing || slot == c.slot) continue;
        const datagram d = build_rider(r.id, slot, r.riders[slot].descriptor_text.c_str());
        server_send(c, d);
        server_send(c, d);
        sent = true;
    }
    if (sent) return;
    int racing_slot = r.riders[c.slot].racing ? c.slot : k_no_slot;
    server_send(c, build_start(r.id, racing_slot, c.descriptor_text.c_str()));
}

void race_client_ready(server_client& c) {
    server_state& s = server();
    if (c.phase != client_running) {
        c.phase = client_running;
        queue_timing_table(c);
        if (s.options.erode >= 0)
            server_queue(c, sub_command,
                         "erode " + std::to_string(s.race.id) + " " +
                             std::to_string(s.options.erode));
        if (s.options.no_arcade) server_queue(c, sub_command, "no_arcade");
        // A rider joining a race under way digs the ruts made so far before any new ones.
        c.stored_edits_sent = 0;
        c.edits_caught_up = s.race.terrain_edits.empty();
        if (!c.greeted) {
            c.greeted = true;
            server_queue(c, sub_text, "Welcome to " + s.options.name);
        }
    }
    server_send(c, build_time(s.race.id, race_clock(), echo_tic(c)));
}

void race_take_state(server_client& c, const client_message& m) {
    server_rider& rd = server().race.riders[c.slot];
    if (rd.racing) race_rider_heard(c.slot);
    // A tic from beyond the server's clock is not believed, not even as the clock to echo.
    if (m.tic < 0 || m.tic > race_clock() + k_future_slack) return;
    if (m.tic >= c.client_tic) {
        c.client_tic = m.tic;
        c.client_tic_at = race_clock();
    }
    // Watching riders send no states.
    if (!rd.racing || m.tic <= rd.tic) return;
    rd.tic = m.tic;
    std::copy(m.data, m.data + k_compact_state_size, rd.state.bytes);
    rd.ping = std::clamp(race_clock() - m.tic, 0, 65535);
    history_add(c.slot, rd.state, m.tic);
}

void race_take_timing(server_client& c, const client_timing& t, double now) {
    server_state& s = server();
    server_race& r = s.race;
    // A crossing of an earlier race arrives late after a restart: nothing to believe or refuse.
    if (t.race != r.id || c.phase != client_running) return;
    server_rider& rider = r.riders[c.slot];
    // The same crossing again (the rider re-queued it) changes nothing.
    if (rider.racing && t.crossing >= 0 && t.crossing < k_max_crossings &&
        crossing_tic(timing_of(c.slot), t.crossing) == t.tic && t.tic >= 0)
        return;
    const char* refusal = rider.racing ? crossing_refusal(c.slot, t.crossing, t.tic) : "not racing";
    if (refusal) {
        crossing_refused(c, t.crossing, t.tic, refusal, now);
        return;
    }
    rider.claimed = t.crossing;
    rider.claimed_tic = t.tic;
    race_set_crossing(c.slot, t.crossing, t.tic);
    for (server_client& o : s.clients)
        if (in_current_race(o, client_running) && o.slot != c.slot)
            add_timing(o, timing_entry{c.slot, t.crossing, t.tic});
}

void race_relay_terrain_edit(const uint8_t* payload, int length) {
    server_race& r = server().race;
    std::string bytes(reinterpret_cast<const char*>(payload), static_cast<size_t>(length));
    for (server_client& c : server().clients)
        if (in_current_race(c, client_running) && c.edits_caught_up)
            server_queue(c, sub_terrain_edit, bytes);
    if (static_cast<int>(r.terrain_edits.size()) < k_max_stored_edits) {
        r.terrain_edits.push_back(std::move(bytes));
        if (static_cast<int>(r.terrain_edits.size()) == k_max_stored_edits)
            server_log("Race %d: %d terrain edits kept; later joiners miss the rest", r.id,
                       k_max_stored_edits);
    }
}

void race_restart_vote(server_client& c, double now) {
    server_state& s = server();
    if (!s.race.riders[c.slot].racing || s.race.phase != phase_racing || c.restart_vote) return;
    c.restart_vote = true;
    int votes = 0;
    for (const server_client& o : s.clients) votes += o.used && o.restart_vote;
    int racers = racers_connected();
    if (votes * 2 > racers) {
        server_say("Restarting the race");
        race_begin(true, now);
    } else {
        server_say("%s asks for a restart (%d of %d)", client_name(c).c_str(), votes, racers);
    }
}

void race_tic(double now) {
    server_state& s = server();
    server_race& r = s.race;
    race_world_tic();
    switch (r.phase) {
    case phase_warmup: {
        int ready = clients_identified();
        if (ready > 0 && (ready >= s.options.max_riders || now - s.last_join >= s.options.warmup))
            race_begin(true, now);
        break;
    }
    case phase_racing:
        if (race_results_done()) {
            write_results();
            r.phase = phase_results;
            r.phase_since = now;
        } else if (racers_connected() > 0) {
            r.phase_since = now;
            if (race_clock() > r.gate_drop + r.finish_time + k_longest_race) {
                server_say("Race %d is taking too long: it ends here", r.id);
                race_begin(true, now);
            }
        } else if (now - r.phase_since > k_abandon_after) {
            server_log("Race %d has no riders left", r.id);
            race_begin(clients_identified() > 0, now);
        }
        break;
    case phase_results:
        if (now - r.phase_since >= s.options.results_time)
            race_begin(clients_identified() > 0, now);
        break;
    }
}

void race_send_states() {
    server_state& s = server();
    const server_race& r = s.race;
    for (server_client& c : s.clients) {
        if (!in_current_race(c, client_running)) continue;
        const int echo = echo_tic(c);
        datagram d = build_states_header(r.id, race_clock(), echo);
        int count = 0;
        bool sent = false;
        for (int slot = 0; slot < k_max_riders; slot++) {
            const server_rider& rd = r.riders[slot];
            if (!rd.racing || slot == c.slot || rd.tic <= c.sent_tic[slot]) continue;
            put_state_entry(d, state_entry{slot, rd.ping, rd.tic, rd.state});
            c.sent_tic[slot] = rd.tic;
            if (++count < k_states_per_datagram) continue;
            states_set_count(d, count);
            server_send(c, d);
            sent = true;
            d = build_states_header(r.id, race_clock(), echo);
            count = 0;
        }
        // Even with nothing new the clock goes out, for the client's ping and clock.
        if (count > 0 || !sent) {
            states_set_count(d, count);
            server_send(c, d);
        }
        flush_timing(c);
        flush_stored_edits(c);
    }
}
