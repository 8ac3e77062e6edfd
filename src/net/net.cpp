// The race-server client: the connection record, connecting, the network step, every message
// from the server in the states that accept it, the reliable channel and the clock.
#include "net/net_local.h"

#include "bike/bike.h"
#include "common/message.h"
#include "demo/demo.h"
#include "platform/log.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "terrain/erosion.h"
#include "terrain/terrain.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr double k_periodic_interval = 1.0; // s between sends outside racing
constexpr double k_ending_give_up = 10.0;   // s a server may take to answer a disconnect
// s without a datagram before a server is given up on; a joined client hears from its server
// every second at the least
constexpr double k_silence_limit = 10.0;
constexpr int k_fake_queue_max = 1024; // datagrams held back by "--fake-lag"
constexpr const char* k_link_prefix = "trailbok:";

net_client g_client;
// The server ended the last connection: for the frame loop, which goes back to the menus.
bool g_link_ended = false;

// The estimate of the server's clock runs on from the newest server tic at real-time speed, so
// a local clock that runs fast to catch up does not drag the estimate along with it.
struct clock_estimate {
    int tic = 0;     // newest server tic received
    double time = 0; // s, when it arrived
};
clock_estimate g_estimate;

int local_slot() {
    const net_client& c = g_client;
    return c.racing_slot < k_no_slot ? c.racing_slot : c.my_slot;
}

void set_state(int state) {
    net_client& c = g_client;
    c.state = state;
    // The next periodic send goes at once, so each step of joining takes one round trip.
    c.last_send = -1e30;
}

// The server ended the connection or is given up on. The race stays as it stood, with its results
// and its recording, which is closed so that it holds the race as far as the server ran it.
void leave_server(const char* why) {
    show_message("%s", why);
    demo_stop_recording();
    client_reset();
    g_link_ended = true;
}

void show_race_length() {
    const net_client& c = g_client;
    int minutes = static_cast<int>(std::lround(c.finish_time * k_tic_length / 60));
    if (c.finish_time != 0 && c.finish_laps != 0)
        show_message("%d minutes + %d laps", minutes, c.finish_laps);
    else if (c.finish_time != 0)
        show_message("%d minutes", minutes);
    else
        show_message("%d laps", c.finish_laps);
}

// Ping from the echoed tic, and the clock: set from the server's in the race's first message,
// and the estimate moved up by any newer server tic.
void clock_sync(int server_tic, int echo_tic, double now) {
    net_client& c = g_client;
    if (echo_tic != 0) c.ping = race_clock() - echo_tic;
    if (!c.server_tic_received) {
        race_set_clock(server_tic);
        c.server_tic_received = true;
        g_estimate = clock_estimate{server_tic, now};
        c.latest_server_tic = server_tic;
    }
    int estimate = g_estimate.tic + static_cast<int>((now - g_estimate.time) * k_tics_per_second);
    if (server_tic > estimate) g_estimate = clock_estimate{server_tic, now};
    c.latest_server_tic = std::max(c.latest_server_tic, server_tic);
}

// A new race: every per-slot table and history cleared, the clock unknown again.
void enter_race(const server_message& m, const std::string& track) {
    net_client& c = g_client;
    for (net_slot& s : c.slots) s = net_slot{};
    history_clear_all();
    c.race = m.race;
    c.finish_time = m.finish_time;
    c.finish_laps = m.finish_laps;
    c.gate_drop = m.gate_drop;
    std::memcpy(c.digest, m.digest, 20);
    c.track = track;
    c.racing_slot = k_no_slot;
    c.last_bike = k_no_slot;
    c.latest_server_tic = 0;
    c.server_tic_received = false;
    c.reported_position = 0;
    c.last_state_tic = -1;
    set_state(state_track);
}

} // namespace

void client_disable_arcade() {
    bool was_on = false;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (s.bike < 0 || s.kind != rider_local) continue;
        bike_params p = bike_params_of(s.bike);
        was_on |= p.arcade;
        p.arcade = false;
        bike_set_params(s.bike, p);
    }
    if (was_on) show_message("Arcade physics disabled");
}

namespace {

// A path the local wheels dug goes to the server, which sends it back to every rider of the race
// (this one too), so that every client digs the same ruts in the same order.
void send_terrain_edit(const uint8_t* edit, int length) {
    if (!terrain_edit_well_formed(edit, length)) return;
    uint8_t payload[4 + k_terrain_edit_max];
    const uint32_t race = static_cast<uint32_t>(g_client.race);
    for (int k = 0; k < 4; k++) payload[k] = static_cast<uint8_t>(race >> (8 * k));
    std::memcpy(payload + 4, edit, static_cast<size_t>(length));
    client_queue_reliable(sub_terrain_edit, payload, 4 + length);
}

// Message 8: the race reset with the server's lineup.
void start_race(const server_message& m) {
    net_client& c = g_client;
    c.racing_slot = m.slot >= 0 && m.slot < k_max_riders ? m.slot : k_no_slot;
    int kept[k_lineup_size];
    std::copy(race_lineup(), race_lineup() + k_lineup_size, kept);
    int lineup[k_lineup_size];
    for (int slot = 0; slot < k_lineup_size; slot++)
        lineup[slot] = c.slots[slot].named ? lineup_network : lineup_demo;
    const int local = local_slot();
    if (local >= 0 && local < k_max_riders) lineup[local] = lineup_local;
    race_lineup_set(lineup, k_lineup_size);
    race_start_params p;
    p.track = c.track;
    p.online = true;
    p.watching = c.racing_slot == k_no_slot;
    p.record_mode = c.params.record_mode;
    p.demo_backups = c.params.demo_backups;
    p.skill = c.params.skill;
    p.time_limit_tics = c.finish_time;
    p.laps = c.finish_laps;
    // Ruts start from fresh ground when the server erodes it.
    if (c.erosion > 0) track_reset(c.track.c_str(), true);
    bool loaded = race_start(p);
    // The player's own lineup for offline races is kept.
    race_lineup_set(kept, k_lineup_size);
    if (!loaded) {
        show_message("Can't find track '%.150s'\n", c.track.c_str());
        set_state(state_ending);
        return;
    }
    race_set_gate_drop_tic(c.gate_drop);
    // Only the edits every client gets from the server change a connected race's ground.
    ground_set_locked(true);
    // Edits still queued from the race before would dig one client's fresh ground and not the
    // other's.
    erosion_reset();
    erosion_set_setting(c.erosion);
    terrain_edit_set_sender(send_terrain_edit);
    if (c.no_arcade) client_disable_arcade();
    c.started_slot = local;
    set_state(state_ready);
    if (std::memcmp(track_digest(), c.digest, 20) != 0) {
        show_message("Client track modified - does not match server's track (%.100s)\n",
                     c.track.c_str());
        set_state(state_ending);
    }
}

void take_states(const server_message& m) {
    net_client& c = g_client;
    const int local = local_slot();
    const int count = std::max(m.count, 0);
    for (int i = 0; i < count; i++) {
        if (m.data_length < (i + 1) * k_state_entry_size) {
            show_message("State packet too small");
            break;
        }
        state_entry e = get_state_entry(m.data + i * k_state_entry_size);
        if (e.slot >= k_max_riders || e.slot == local || e.tic < 0 || e.tic > k_server_tic_most)
            continue;
        const rider_slot& s = race_slot(e.slot);
        net_slot& n = c.slots[e.slot];
        if (s.bike < 0 || s.kind != rider_remote || e.tic <= n.state_tic) continue;
        n.state_tic = e.tic;
        n.ping = e.ping;
        history_add(e.slot, e.state, e.tic);
        race_rider_heard(e.slot);
    }
}

void apply_terrain_edit(const uint8_t* edit, int length) { terrain_edit_apply(edit, length); }

void handle_timing_list(const uint8_t* payload, int length) {
    net_client& c = g_client;
    int32_t race = 0;
    int count = 0;
    const uint8_t* entries = nullptr;
    if (!parse_timing_list(payload, length, &race, &count, &entries) || race != c.race) return;
    const int local = local_slot();
    for (int i = 0; i < count; i++) {
        timing_entry e = get_timing_entry(entries + i * k_timing_entry_size);
        if (e.slot < 0 || e.slot >= k_max_riders || e.slot == local || e.tic < 0) continue;
        race_set_crossing(e.slot, e.crossing, e.tic);
    }
}

// Server sub-type 19: a text message, shown and kept in the demo.
void handle_text(const uint8_t* payload, int length) {
    std::string text = wire_text(payload, length);
    show_message("%s", text.c_str());
    demo_record_message(text.c_str(), static_cast<int>(text.size()));
}

void handle_command(const uint8_t* payload, int length) {
    client_text_command(std::string(reinterpret_cast<const char*>(payload),
                                    static_cast<size_t>(std::max(length, 0))));
}

// A path some rider of this race dug, this client's own included.
void handle_terrain_edit(const uint8_t* payload, int length) {
    int32_t race = 0;
    const uint8_t* edit = nullptr;
    int edit_length = 0;
    if (!parse_terrain_edit(payload, length, &race, &edit, &edit_length) || race != g_client.race)
        return;
    apply_terrain_edit(edit, edit_length);
    demo_record_terrain_edit(edit, edit_length);
}

// What each reliable sub-type from the server runs; any other is ignored.
struct reliable_handler {
    reliable_sub_type type;
    void (*handle)(const uint8_t* payload, int length);
};

constexpr reliable_handler k_reliable_handlers[] = {
    {sub_text, handle_text},
    {sub_timing, handle_timing_list},
    {sub_command, handle_command},
    {sub_terrain_edit, handle_terrain_edit},
};
static_assert(types_unique(k_reliable_handlers), "one record per sub-type");

void handle_reliable(int sub_type, const uint8_t* payload, int length) {
    if (const reliable_handler* h = find_type(k_reliable_handlers, sub_type))
        h->handle(payload, length);
}

void receive_reliable(const server_message& m, double) {
    net_client& c = g_client;
    reliable_arrival a = reliable_arrive(c.in, m.value, m.sub_type, m.data, m.data_length);
    if (a == arrival_refused) return;
    client_send(build_client_values(msg_ack, c.my_slot, c.client_id, 1, m.value));
    if (a != arrival_handle) return;
    handle_reliable(m.sub_type, m.data, m.data_length);
    reliable_message early;
    // A handler may end the connection; what is left is not for the next one.
    while (c.connected && reliable_next_early(c.in, &early))
        handle_reliable(early.sub_type, early.payload.data(),
                        static_cast<int>(early.payload.size()));
}

bool same_race(const server_message& m) { return m.race == g_client.race; }

void handle_server_full(const server_message&, double) { show_message("Server is full\n"); }

void handle_connect_reply(const server_message& m, double) {
    net_client& c = g_client;
    if (m.slot < 0 || m.slot >= k_max_riders) return;
    c.my_slot = m.slot;
    c.client_id = m.client_id;
    if (m.version == k_server_version) {
        set_state(state_identifying);
    } else {
        show_message("Server version does not match client version\n");
        set_state(state_ending);
    }
}

void handle_race_info(const server_message& m, double) {
    const net_client& c = g_client;
    if (c.my_slot == k_no_slot) return;
    if (c.race != 0 && c.race != m.race) return;
    if (m.finish_time < 0 || m.finish_time > k_race_info_tics_most || m.finish_laps < 0 ||
        m.finish_laps > k_race_info_laps_most || m.gate_drop < 0 ||
        m.gate_drop > k_race_info_tics_most) {
        show_message("Server's race can't be run: finish time %d, %d laps, gate drop at %d\n",
                     m.finish_time, m.finish_laps, m.gate_drop);
        set_state(state_ending);
        return;
    }
    std::string track = wire_text(m.data, std::min(m.data_length, k_track_name_max));
    if (track.empty() || track_list_find(track.c_str()) < 0) {
        show_message("Can't find track '%.150s'\n", track.c_str());
        set_state(state_ending);
        return;
    }
    enter_race(m, track);
}

void handle_rider(const server_message& m, double) {
    net_client& c = g_client;
    if (!same_race(m)) return;
    if (m.slot < 0 || m.slot >= k_max_riders) return;
    // Each rider once, in rising slot order; the server may name the local rider's slot too, and
    // the start makes that slot the local rider's.
    if (c.last_bike == k_no_slot || m.slot > c.last_bike) {
        net_slot& s = c.slots[m.slot];
        s.descriptor = parse_descriptor(wire_text(m.data, m.data_length));
        s.named = true;
        c.last_bike = m.slot;
        set_state(state_riders);
    }
}

void handle_start(const server_message& m, double) {
    if (!same_race(m)) return;
    if (m.slot < 0 || m.slot > k_no_slot) return;
    start_race(m);
}

// Messages 10 and 11: the server's clock, and with 11 the other riders' states.
void handle_clock(const server_message& m, double now) {
    net_client& c = g_client;
    if (!same_race(m)) return;
    if (m.server_tic < 0 || m.server_tic > k_server_tic_most || m.echo_tic < 0 ||
        m.echo_tic > k_server_tic_most) {
        show_message("Server's clock can't be used: tic %d, echo %d\n", m.server_tic, m.echo_tic);
        return;
    }
    if (m.type == msg_states) take_states(m);
    clock_sync(m.server_tic, m.echo_tic, now);
    if (c.state == state_ready) show_race_length();
    c.state = state_racing;
}

void handle_value(const server_message& m, double) { g_client.server_value = m.value; }

void handle_restart(const server_message& m, double) {
    net_client& c = g_client;
    if (m.race <= c.race) return;
    c.race = m.race;
    set_state(state_restarting);
}

void handle_server_disconnect(const server_message&, double) { leave_server("Disconnected\n"); }

void handle_error(const server_message& m, double) {
    show_message("%s", wire_text(m.data, m.data_length).c_str());
    set_state(state_ending);
}

void handle_server_ack(const server_message& m, double) {
    reliable_acknowledged(g_client.out, m.value);
}

void handle_redirect(const server_message& m, double now) {
    net_client& c = g_client;
    if (m.nonce != c.nonce) return;
    std::string address = wire_text(m.data, std::min(m.data_length, k_redirect_max));
    net_connect_params params = c.params;
    client_reset();
    // Sent away to where no contact can be made: the server is left as if it had ended the link.
    if (!net_connect(address.c_str(), params, now)) g_link_ended = true;
}

// A set of connection states, one bit a state.
using state_set = uint32_t;
template <class... ids> constexpr state_set states_of(ids... s) {
    return ((state_set{1} << s) | ...);
}
constexpr state_set k_any_state = ~state_set{0};

// Each message from the server: the connection states it is taken in (in any other it is
// ignored), and what it runs.
struct message_handler {
    server_message_type type;
    state_set states;
    void (*handle)(const server_message& m, double now);
};

constexpr message_handler k_message_handlers[] = {
    {msg_server_full, k_any_state, handle_server_full},
    {msg_connect_reply, states_of(state_contacting), handle_connect_reply},
    {msg_race_info, states_of(state_identifying, state_restarting), handle_race_info},
    {msg_rider, states_of(state_track, state_riders), handle_rider},
    {msg_start, states_of(state_track, state_riders), handle_start},
    {msg_time, states_of(state_ready, state_racing), handle_clock},
    {msg_states, states_of(state_ready, state_racing), handle_clock},
    {msg_value, states_of(state_ready, state_racing), handle_value},
    {msg_restart, states_of(state_ready, state_racing), handle_restart},
    {msg_server_disconnect, k_any_state, handle_server_disconnect},
    {msg_error, k_any_state, handle_error},
    {msg_server_reliable, k_any_state, receive_reliable},
    {msg_server_ack, k_any_state, handle_server_ack},
    {msg_redirect, states_of(state_contacting), handle_redirect},
};
static_assert(types_unique(k_message_handlers), "one record per message type");
static_assert(sizeof k_message_handlers / sizeof k_message_handlers[0] == 14,
              "every message a server sends");

void handle_message(const server_message& m, double now) {
    const message_handler* h = find_type(k_message_handlers, m.type);
    if (h && (h->states & states_of(g_client.state)) != 0) h->handle(m, now);
}

// The state message every fourth tic, the local rider's crossings, and its descriptor when the
// player changed it.
void racing_duties() {
    net_client& c = g_client;
    const int slot = c.racing_slot;
    if (slot == k_no_slot) return;
    const rider_slot& s = race_slot(slot);
    if (s.bike < 0 || s.kind != rider_local) return;
    const int position = timing_of(slot).position;
    if (position != c.reported_position) {
        c.reported_position = position;
        if (position > 0) {
            datagram d;
            put_client_timing(d, client_timing{c.race, position - 1,
                                               crossing_tic(timing_of(slot), position - 1)});
            client_queue_reliable(sub_timing, d.bytes, d.length);
        }
    }
    const int clock = race_clock();
    if (clock % 4 == 0 && clock != c.last_state_tic) {
        c.last_state_tic = clock;
        client_send(build_state(c.my_slot, c.client_id, c.race, c.latest_server_tic, clock,
                                compact_state_encode(s.bike)));
    }
    std::string descriptor = local_descriptor();
    if (descriptor != c.descriptor_sent) {
        c.descriptor_sent = descriptor;
        client_queue_text(sub_descriptor, descriptor);
    }
}

// What each joining and leaving state sends once per second: the message, how many of the race
// id and the last bike acknowledged it carries, and its log line.
struct periodic_message {
    int state;
    client_message_type type;
    int values;
    const char* log_line;
};

constexpr periodic_message k_periodic[] = {
    {state_track, msg_track_ack, 1, "Sending track acknowledgment\n"},
    {state_riders, msg_bike_ack, 2, nullptr},
    {state_ready, msg_ready, 1, nullptr},
    {state_restarting, msg_restart_ack, 1, "Sending restart\n"},
    {state_ending, msg_disconnect, 0, "Disconnecting\n"},
};

void periodic_send(double now) {
    net_client& c = g_client;
    if (c.state == state_racing) {
        racing_duties();
        // Said in a race, not the warm-up, so that every rider of the race hears it.
        if (!c.params.say.empty() && !c.said && c.racing_slot != k_no_slot) {
            c.said = true;
            net_chat(c.params.say.c_str(), now);
        }
        return;
    }
    if (now - c.last_send < k_periodic_interval) return;
    if (c.state == state_ending && c.last_send < -1e29) c.ending_since = now;
    c.last_send = now;
    if (c.state == state_riders) log("Sending bike acknowledgment %d\n", c.last_bike);
    for (const periodic_message& p : k_periodic) {
        if (p.state != c.state) continue;
        if (p.log_line) log("%s", p.log_line);
        client_send(
            build_client_values(p.type, c.my_slot, c.client_id, p.values, c.race, c.last_bike));
        return;
    }
    switch (c.state) {
    case state_contacting:
        client_send(build_contact(!c.params.password.empty(), c.nonce));
        break;
    case state_identifying: {
        uint32_t proof =
            c.params.password.empty() ? 0 : password_proof(c.params.password.c_str(), c.client_id);
        c.descriptor_sent = local_descriptor();
        client_send(
            build_client_info(c.my_slot, c.client_id, proof, c.nonce, c.descriptor_sent.c_str()));
        break;
    }
    default:
        break;
    }
}

// "--fake-loss": a received datagram is dropped with the given chance.
bool lost(net_client& c) {
    if (c.params.fake_loss <= 0) return false;
    uint32_t draw = mt_next(c.loss_random) >> 17; // 0..32767
    return draw * 100 < static_cast<uint32_t>(c.params.fake_loss) * 32768;
}

void receive_all(double now) {
    net_client& c = g_client;
    const bool fake = c.params.fake_lag > 0 || c.params.fake_loss > 0;
    uint8_t buffer[k_datagram_max + 1];
    for (;;) {
        if (!c.connected) return;
        udp_address from;
        int n = udp_receive(c.socket, buffer, sizeof buffer, &from);
        if (n < 0) break;
        // Only the server speaks to the client, and never more than a datagram's worth; even a
        // datagram too long to read shows the server is there.
        if (!udp_address_equal(from, c.server)) continue;
        if (n > k_datagram_max) {
            c.last_heard = now;
            continue;
        }
        if (!fake) {
            net_handle_datagram(buffer, n, now);
            continue;
        }
        if (lost(c) || static_cast<int>(c.delayed.size()) >= k_fake_queue_max) continue;
        delayed_datagram& d = c.delayed.emplace_back();
        d.stamp = now;
        d.length = n;
        std::memcpy(d.bytes, buffer, static_cast<size_t>(n));
    }
    const char* error = udp_error_name();
    if (error[0]) show_message("%s", error);
    while (c.connected && !c.delayed.empty() &&
           now >= c.delayed.front().stamp + c.params.fake_lag) {
        delayed_datagram d = c.delayed.front();
        c.delayed.pop_front();
        net_handle_datagram(d.bytes, d.length, now);
    }
}

// The rider the server named for a slot, as race control builds the grid.
int create_network_rider(int slot) {
    const net_client& c = g_client;
    if (!c.connected || slot < 0 || slot >= k_max_riders) return -1;
    const rider_descriptor& d = c.slots[slot].descriptor;
    return race_remote_rider_create(slot, d.bike, d.name, d.number, d.fields);
}
} // namespace

net_client& net() { return g_client; }

void client_reset() {
    net_client& c = g_client;
    client_file_close();
    if (c.socket >= 0) udp_close(c.socket);
    net_client fresh;
    fresh.params = c.params;
    fresh.said = c.said;
    fresh.build_label = c.build_label;
    fresh.renderer = c.renderer;
    fresh.gl_version = c.gl_version;
    const bool held = c.holds_erosion;
    const int own = c.own_erosion;
    c = std::move(fresh);
    g_estimate = clock_estimate{};
    race_server_command("off_course_bias 10");
    race_server_command("off_course_scale 1.5");
    terrain_edit_set_sender(nullptr);
    ground_set_locked(false);
    // Offline races rut at the player's own rate again, and nothing the server's race left
    // queued digs into them.
    if (held) {
        erosion_reset();
        erosion_set_setting(own);
    }
}

bool client_send(const datagram& d) {
    net_client& c = g_client;
    if (c.socket < 0 || d.overflow) return false;
    if (udp_send(c.socket, d.bytes, d.length, c.server) >= 0) return true;
    show_message("sendto error (%.100s)", udp_error_name());
    return false;
}

void client_queue_reliable(int sub_type, const uint8_t* payload, int length) {
    net_client& c = g_client;
    if (static_cast<int>(c.out.queue.size()) >= k_outgoing_max) {
        c.outgoing_full = true;
        return;
    }
    reliable_queue(c.out, sub_type, payload, std::min(length, k_client_payload_max));
}

void client_queue_text(int sub_type, const std::string& text) {
    client_queue_reliable(sub_type, reinterpret_cast<const uint8_t*>(text.data()),
                          static_cast<int>(text.size()));
}

std::string local_descriptor() {
    const setup_values& v = setup();
    rider_descriptor d;
    d.bike = bike_info_at(v.choice[key_bike]).name;
    d.fields[descriptor_body] = v.text[key_rider_texture];
    d.fields[descriptor_bike] = v.text[key_bike_texture];
    d.fields[descriptor_wheels] = v.text[key_wheel_texture];
    d.fields[descriptor_head] = v.text[key_head_texture];
    d.number = v.text[key_number].substr(0, 3);
    d.name = v.text[key_name];
    return descriptor_text(d, k_descriptor_max);
}

void net_init() { race_set_network_rider(create_network_rider); }

void net_shutdown() {
    net_disconnect();
    race_set_network_rider(nullptr);
    net_client fresh;
    g_client = std::move(fresh);
    g_link_ended = false;
    udp_shutdown();
}

bool net_connect(const char* address, const net_connect_params& params, double now) {
    net_client& c = g_client;
    if (c.connected) net_disconnect();
    c.params = params;
    if (!params.fixed_shapes_match) {
        show_message("Fixed file mismatch\n");
        return false;
    }
    std::string text = address ? address : "";
    if (text.rfind(k_link_prefix, 0) == 0) text.erase(0, strlen(k_link_prefix));
    udp_address server;
    if (!udp_resolve(text.c_str(), k_default_port, &server)) {
        show_message("Can't resolve address\n");
        return false;
    }
    int socket = udp_open();
    if (socket < 0) {
        show_message("Can't create socket\n");
        return false;
    }
    c.address = text;
    c.server = server;
    c.socket = socket;
    c.connected = true;
    // While connected only the server's setting counts, unset until it sends one.
    c.own_erosion = erosion_setting();
    c.holds_erosion = true;
    erosion_set_setting(-1);
    double f = now - std::floor(now);
    c.nonce = static_cast<uint32_t>(f * 1000000) * 1103515245u + 12345u;
    mt_seed(c.loss_random, c.nonce);
    c.state = state_contacting;
    c.last_send = now;
    c.last_heard = now;
    g_link_ended = false;
    client_send(build_contact(!params.password.empty(), c.nonce));
    show_message("Contacting server\n");
    return true;
}

void net_tic(double now) {
    net_client& c = g_client;
    if (!c.connected) return;
    if (c.server_tic_received)
        c.latest_server_tic = std::max(
            c.latest_server_tic,
            g_estimate.tic + static_cast<int>((now - g_estimate.time) * k_tics_per_second));
    receive_all(now);
    if (!c.connected) return;
    if (c.state != state_ending && now - c.last_heard > k_silence_limit) {
        leave_server(c.state == state_contacting ? "No answer from server\n"
                                                 : "Connection to server lost\n");
        return;
    }
    if (c.outgoing_full) {
        leave_server("Server stopped acknowledging messages\n");
        return;
    }
    client_file_tic(now);
    if (const reliable_message* m = reliable_due(c.out, now))
        client_send(build_client_reliable(c.my_slot, c.client_id, m->sequence, m->sub_type,
                                          m->payload.data(), static_cast<int>(m->payload.size())));
    periodic_send(now);
    // A server that never answers the disconnect is left behind.
    if (c.state == state_ending && c.last_send > -1e29 && now - c.ending_since > k_ending_give_up)
        leave_server("Disconnected\n");
}

void net_handle_datagram(const unsigned char* bytes, int length, double now) {
    if (!g_client.connected) return;
    // Whatever the server sends shows it is still there, in any state and read or not.
    g_client.last_heard = now;
    server_message m;
    if (!parse_server_message(bytes, length, &m)) return;
    handle_message(m, now);
}

bool net_connected() { return g_client.connected; }
int net_state() { return g_client.connected ? g_client.state : -1; }
int net_server_tic() { return g_client.latest_server_tic; }
bool net_server_sent_tic() { return g_client.connected && g_client.server_tic_received; }
bool net_in_warmup() { return g_client.connected && g_client.racing_slot == k_no_slot; }

void net_disconnect() {
    net_client& c = g_client;
    if (!c.connected) return;
    datagram d = build_client_values(msg_disconnect, c.my_slot, c.client_id, 0);
    if (udp_send(c.socket, d.bytes, d.length, c.server) >= 0)
        show_message("Disconnecting\n");
    else
        show_message("sendto error (%.100s)", udp_error_name());
    client_reset();
}

int net_take_started_slot() {
    int slot = g_client.started_slot;
    g_client.started_slot = -1;
    return slot;
}

bool net_take_link_ended() {
    const bool ended = g_link_ended;
    g_link_ended = false;
    return ended;
}

int net_ping_ms() { return static_cast<int>(g_client.ping * k_tic_length * 1000); }
int net_offset_ms() {
    return static_cast<int>((g_client.latest_server_tic - race_clock()) * k_tic_length * 1000);
}
int net_slot_state_tic(int slot) {
    return slot >= 0 && slot < k_max_riders ? g_client.slots[slot].state_tic : -1;
}
int net_slot_ping(int slot) {
    return slot >= 0 && slot < k_max_riders ? g_client.slots[slot].ping : 0;
}
int net_erosion_setting() { return g_client.erosion; }

net_queue_sizes net_queues() {
    const net_client& c = g_client;
    return net_queue_sizes{static_cast<int>(c.out.queue.size()),
                           static_cast<int>(c.in.early.size()), static_cast<int>(c.delayed.size())};
}

void net_set_identity(const char* build_label, const char* renderer, const char* gl_version) {
    g_client.build_label = build_label ? build_label : "";
    g_client.renderer = renderer ? renderer : "";
    g_client.gl_version = gl_version ? gl_version : "";
}
