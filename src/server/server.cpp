// The race server's clients: contacts, identification, every message a client sends in the
// phases that accept it, the reliable channel, chat, file uploads, and clients that go silent.
#include "server/server_local.h"

#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "race/race.h"
#include "track/track.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace {
// s without a datagram before a client is dropped: long enough for a slow machine to load the
// track or stall on a frame without losing its place
constexpr double k_silence_limit = 30.0;
constexpr double k_chat_interval = 2.0;  // s between one client's chat lines
constexpr int k_chat_max = 200;          // characters of one chat line
constexpr size_t k_upload_max = 4 << 20; // bytes of one uploaded file
constexpr const char* k_part_head = "sendpart -";
constexpr double k_edits_per_second = 32; // terrain edits one rider may send, on average
constexpr double k_edit_burst = 64;

server_state g_server;

void log_to_stdout(const char* line) {
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::printf("[%s] %s\n", stamp, line);
    std::fflush(stdout);
}

void send_race_info(server_client& c) {
    const server_race& r = g_server.race;
    c.race = r.id;
    c.phase = client_joining;
    server_send(c, build_race_info(r.id, r.finish_time, r.finish_laps, r.gate_drop, track_digest(),
                                   g_server.options.track.c_str()));
}

bool is_client(const server_client* c, const client_message& m, const udp_address& from) {
    return c && c->used && c->id == m.client_id && udp_address_equal(c->address, from);
}

// Only one client may speak for a slot: its id and its address must both match.
server_client* client_for(const client_message& m, const udp_address& from) {
    if (m.slot < 0 || m.slot >= k_max_riders) return nullptr;
    server_client* c = &g_server.clients[m.slot];
    return is_client(c, m, from) ? c : nullptr;
}

int clients_present() {
    int n = 0;
    for (const server_client& c : g_server.clients) n += c.used;
    return n;
}

} // namespace

bool client_identify(server_client& c, const client_message& m, double now) {
    server_state& s = g_server;
    // Repeated while the race info is lost on its way: the current race's goes, even when a
    // new race began since the first. The password was proved when the client was admitted.
    bool again = c.phase == client_joining && c.identified;
    if ((c.phase != client_contacted && !again) || m.nonce != c.nonce) return false;
    std::string text = wire_text(m.data, m.data_length);
    rider_descriptor d = parse_descriptor(text);
    if (d.bike.empty()) {
        server_send(c, build_error("No bike given\n"));
        server_drop_client(c, "described no bike");
        return true;
    }
    c.descriptor_text = text;
    c.descriptor = d;
    if (!c.identified) {
        c.identified = true;
        s.last_join = now;
        server_log("%s joined in slot %d on %s", client_name(c).c_str(), c.slot, d.bike.c_str());
        server_queue(c, sub_command, "version");
    }
    send_race_info(c);
    return true;
}

namespace {
// Where an upload is kept: "SLOT-NAME" in the folder, numbered when a file of that name is there
// already, so nothing a rider sends replaces what another sent. Empty when no name is free.
std::string upload_path(const std::string& folder, int slot, const std::string& name) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string base = folder + "/" + std::to_string(slot) + "-";
    for (int n = 0; n < 1000; n++) {
        const std::string path = base + (n ? std::to_string(n) + "-" : "") + name;
        if (!std::filesystem::exists(path, error)) return path;
    }
    return "";
}

// A file a rider sends: offered, sent in parts, then named; kept only where the operator said.
void handle_upload(server_client& c, const std::string& payload) {
    server_state& s = g_server;
    if (payload == "sendfile") {
        c.upload.clear();
        c.upload_open = !s.options.uploads_dir.empty();
        server_queue(c, sub_command, c.upload_open ? "sendready" : "senddenied");
        return;
    }
    if (!c.upload_open) return;
    if (payload.rfind(k_part_head, 0) == 0) {
        c.upload.append(payload, strlen(k_part_head), std::string::npos);
        if (c.upload.size() > k_upload_max) {
            c.upload_open = false;
            c.upload.clear();
            server_queue(c, sub_command, "senddenied");
        }
        return;
    }
    std::string name = payload.substr(9);
    bool plain = !name.empty() && name.size() < 256 && name[0] != '.';
    for (char ch : name)
        plain &= std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '.';
    c.upload_open = false;
    if (!plain) return;
    const std::string path = upload_path(s.options.uploads_dir, c.slot, name);
    if (path.empty() || !data_file_replace_with(path.c_str(), c.upload.data(), c.upload.size())) {
        server_log("%s sent %s (%zu bytes), but it can't be kept in %s", client_name(c).c_str(),
                   name.c_str(), c.upload.size(), s.options.uploads_dir.c_str());
        server_queue(c, sub_text, "The server could not keep " + name);
    } else {
        server_log("%s sent %s (%zu bytes)", client_name(c).c_str(), path.c_str(), c.upload.size());
        server_queue(c, sub_text, "The server keeps " + name);
    }
    c.upload.clear();
}

void handle_command(server_client& c, const std::string& payload) {
    if (payload.rfind("version ", 0) == 0) {
        server_log("%s runs %s", client_name(c).c_str(),
                   wire_text(reinterpret_cast<const uint8_t*>(payload.data()),
                             static_cast<int>(payload.size()))
                           .c_str() +
                       8);
        return;
    }
    if (payload == "sendfile" || payload.rfind(k_part_head, 0) == 0 ||
        payload.rfind("namefile ", 0) == 0)
        handle_upload(c, payload);
}

void handle_chat(server_client& c, const std::string& payload, double now) {
    if (!c.identified || now - c.last_chat < k_chat_interval) return;
    c.last_chat = now;
    std::string text = wire_text(reinterpret_cast<const uint8_t*>(payload.data()),
                                 static_cast<int>(payload.size()));
    for (char& ch : text)
        if (static_cast<unsigned char>(ch) < 32) ch = ' ';
    if (text.size() > static_cast<size_t>(k_chat_max)) text.resize(k_chat_max);
    if (text.empty()) return;
    server_say("%s: %s", client_name(c).c_str(), text.c_str());
}

void handle_reliable(server_client& c, int sub_type, const uint8_t* payload, int length,
                     double now) {
    std::string bytes(reinterpret_cast<const char*>(payload), static_cast<size_t>(length));
    switch (sub_type) {
    case sub_descriptor: {
        rider_descriptor d = parse_descriptor(wire_text(payload, length));
        if (d.bike.empty()) break;
        c.descriptor_text = wire_text(payload, length);
        c.descriptor = d;
        break;
    }
    case sub_text:
        handle_chat(c, bytes, now);
        break;
    case sub_timing: {
        client_timing t;
        if (parse_client_timing(payload, length, &t)) race_take_timing(c, t, now);
        break;
    }
    case sub_command:
        handle_command(c, bytes);
        break;
    case sub_terrain_edit: {
        int32_t race = 0;
        const uint8_t* edit = nullptr;
        int edit_length = 0;
        // Only a racing rider's wheels dig; a watcher has none.
        if (!parse_terrain_edit(payload, length, &race, &edit, &edit_length) ||
            race != g_server.race.id || c.phase != client_running ||
            !g_server.race.riders[c.slot].racing || !terrain_edit_well_formed(edit, edit_length))
            break;
        // Two wheels dig a few paths a second; more than a bike makes would fill every queue.
        c.edit_allowance =
            std::min(k_edit_burst, c.edit_allowance + (now - c.edit_refilled) * k_edits_per_second);
        c.edit_refilled = now;
        if (c.edit_allowance < 1) {
            g_server.stats.refused_edits++;
            break;
        }
        c.edit_allowance -= 1;
        race_relay_terrain_edit(payload, length);
        break;
    }
    default:
        break;
    }
}

bool receive_reliable(server_client& c, const client_message& m, double now) {
    if (!c.identified) return false;
    reliable_arrival a = reliable_arrive(c.in, m.value, m.sub_type, m.data, m.data_length);
    if (a == arrival_refused) return true;
    server_send(c, build_server_value(msg_server_ack, m.value));
    if (a != arrival_handle) return true;
    const int slot = c.slot;
    handle_reliable(c, m.sub_type, m.data, m.data_length, now);
    reliable_message early;
    while (g_server.clients[slot].used && reliable_next_early(c.in, &early))
        handle_reliable(c, early.sub_type, early.payload.data(),
                        static_cast<int>(early.payload.size()), now);
    return true;
}

// Messages 5 and 7: the track, or the riders up to one, acknowledged.
bool handle_join_ack(server_client& c, const client_message& m, double) {
    if (m.race != c.race) return false;
    if (m.race == g_server.race.id) {
        race_send_join_step(c, m.type == msg_bike_ack ? m.value : -1);
    } else {
        // Joining a race that has ended: the client watches it until the restart.
        server_send(c, build_start(m.race, k_no_slot, c.descriptor_text.c_str()));
    }
    return true;
}

bool handle_ready(server_client& c, const client_message& m, double now) {
    const int race = g_server.race.id;
    // Repeated while the restart is lost on its way: it goes again.
    if (c.phase == client_restarting) {
        server_send_restart(c, now);
        return true;
    }
    if (m.race == race && c.race == race) {
        race_client_ready(c);
    } else {
        server_send_restart(c, now);
    }
    return true;
}

bool handle_state(server_client& c, const client_message& m, double now) {
    if (c.phase == client_running && m.race == g_server.race.id)
        race_take_state(c, m);
    else
        server_send_restart(c, now);
    return true;
}

bool handle_restart_request(server_client& c, const client_message& m, double now) {
    if (m.value != 1) return false;
    race_restart_vote(c, now);
    return true;
}

bool handle_restart_ack(server_client& c, const client_message& m, double now) {
    const int race = g_server.race.id;
    // Repeated while the race info is lost on its way, the race info goes again.
    if (c.phase == client_joining) {
        if (m.race != race || c.race != race) return false;
        send_race_info(c);
        return true;
    }
    if (m.race == race) {
        send_race_info(c);
    } else {
        server_send_restart(c, now);
    }
    return true;
}

bool handle_disconnect(server_client& c, const client_message&, double) {
    server_send(c, build_server_byte(msg_server_disconnect));
    server_drop_client(c, "left");
    return true;
}

bool handle_ack(server_client& c, const client_message& m, double) {
    reliable_acknowledged_in_window(c.out, m.value, k_reliable_window);
    return true;
}

// A set of client phases, one bit a phase.
using phase_set = uint32_t;
template <class... ids> constexpr phase_set phases_of(ids... p) {
    return ((phase_set{1} << p) | ...);
}
constexpr phase_set k_any_phase = ~phase_set{0};

// Each message a known client sends (its contact comes before it is known): the phases it is
// taken in, and what it runs. A message in any other phase, or one its handler turns down
// (false), counts as refused.
struct message_handler {
    client_message_type type;
    phase_set phases;
    bool (*handle)(server_client& c, const client_message& m, double now);
};

constexpr message_handler k_message_handlers[] = {
    {msg_client_info, phases_of(client_contacted, client_joining), client_identify},
    {msg_track_ack, phases_of(client_joining), handle_join_ack},
    {msg_bike_ack, phases_of(client_joining), handle_join_ack},
    {msg_ready, phases_of(client_joining, client_running, client_restarting), handle_ready},
    {msg_state, phases_of(client_running, client_restarting), handle_state},
    {msg_restart_request, phases_of(client_running), handle_restart_request},
    {msg_restart_ack, phases_of(client_joining, client_restarting), handle_restart_ack},
    {msg_disconnect, k_any_phase, handle_disconnect},
    {msg_reliable, k_any_phase, receive_reliable},
    {msg_ack, k_any_phase, handle_ack},
};
static_assert(types_unique(k_message_handlers), "one record per message type");
static_assert(sizeof k_message_handlers / sizeof k_message_handlers[0] == 10,
              "every message a client sends but its contact");

void handle_message(server_client& c, const client_message& m, double now) {
    const message_handler* h = find_type(k_message_handlers, m.type);
    if (h && (h->phases & phases_of(c.phase)) != 0 && h->handle(c, m, now)) return;
    server_refuse(refused_out_of_state);
}

// Sends what each client's reliable channel has due, and drops clients that went silent.
void clients_tic(double now) {
    contacts_tic(now);
    for (server_client& c : g_server.clients) {
        if (!c.used) continue;
        if (now - c.last_heard > k_silence_limit) {
            server_send(c, build_server_byte(msg_server_disconnect));
            server_drop_client(c, "went silent");
            continue;
        }
        // The restart goes again each second until it is acknowledged: a game that only
        // watches sends nothing that would otherwise bring it.
        if (c.phase == client_restarting && now - c.restart_sent >= 1.0)
            server_send_restart(c, now);
        // A game that watches (in the warm-up, or joined too late to ride) sends nothing of
        // its own; an empty timing list asks for an acknowledgment, which shows it is still there.
        if (now - c.last_heard > k_silence_limit / 2 && c.out.queue.empty() && c.identified) {
            datagram d;
            put_u32(d, static_cast<uint32_t>(g_server.race.id));
            put_u32(d, 0);
            reliable_queue(c.out, sub_timing, d.bytes, d.length);
        }
        if (c.out.queue.size() > k_reliable_queue_most) {
            server_send(c, build_error("Too far behind the server\n"));
            server_drop_client(c, "fell too far behind");
            continue;
        }
        while (const reliable_message* m = reliable_due_in_window(c.out, now, k_reliable_window))
            server_send(c, build_server_reliable(m->sequence, m->sub_type, m->payload.data(),
                                                 static_cast<int>(m->payload.size())));
        // A game that hears nothing for long takes the server for gone.
        if (c.identified && now - c.last_keep_alive >= k_keep_alive_interval) {
            c.last_keep_alive = now;
            server_send(c, build_server_value(msg_value, g_server.race.id));
        }
    }
}
} // namespace

server_state& server() { return g_server; }

server_client* server_client_at(const udp_address& from) {
    for (server_client& c : g_server.clients)
        if (c.used && udp_address_equal(c.address, from)) return &c;
    return nullptr;
}

const char* refusal_name(refusal_reason why) {
    static constexpr const char* k_names[refused_reason_count] = {
        "malformed", "from strangers", "out of state", "other protocol", "password"};
    return why >= 0 && why < refused_reason_count ? k_names[why] : "?";
}

void server_refuse(refusal_reason why) {
    g_server.stats.refused++;
    g_server.stats.refused_by[why]++;
}

void server_log(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log("%s\n", line);
    if (g_server.options.quiet) return;
    (g_server.log ? g_server.log : log_to_stdout)(line);
}

void server_set_log(void (*write)(const char* line)) { g_server.log = write; }

std::string client_name(const server_client& c) {
    const rider_descriptor& d = c.descriptor;
    std::string name = d.name.empty() ? "Rider" : d.name;
    return d.number.empty() ? name : name + " #" + d.number;
}

void server_send_to(const udp_address& to, const datagram& d) {
    server_state& s = g_server;
    if (s.socket < 0 || d.overflow) return;
    if (udp_send(s.socket, d.bytes, d.length, to) < 0) return;
    s.stats.datagrams_sent++;
    s.stats.bytes_sent += d.length;
}

void server_send(const server_client& c, const datagram& d) { server_send_to(c.address, d); }

void server_send_restart(server_client& c, double now) {
    c.phase = client_restarting;
    c.restart_sent = now;
    server_send(c, build_server_value(msg_restart, g_server.race.id));
}

void server_queue(server_client& c, int sub_type, const std::string& payload) {
    reliable_queue(c.out, sub_type, reinterpret_cast<const uint8_t*>(payload.data()),
                   std::min(static_cast<int>(payload.size()), k_server_payload_max));
}

void server_say(const char* format, ...) {
    char text[k_server_payload_max + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    server_log("%s", text);
    for (server_client& c : g_server.clients)
        if (c.used && c.identified) server_queue(c, sub_text, text);
}

void server_drop_client(server_client& c, const char* why) {
    server_log("%s %s", client_name(c).c_str(), why);
    bool was_identified = c.identified;
    std::string name = client_name(c);
    c = server_client{};
    if (was_identified) server_say("%s %s", name.c_str(), why);
}

bool server_start(const server_options& options, double now, std::string* error) {
    server_state& s = g_server;
    void (*keep_log)(const char*) = s.log;
    s = server_state{};
    s.log = keep_log;
    contacts_clear();
    s.options = options;
    if (!find_game_data()) {
        *error = "Can't find game data";
        return false;
    }
    file_index();
    if (track_list_scan() == 0 || track_list_find(options.track.c_str()) < 0) {
        *error = "No track named '" + options.track + "'";
        return false;
    }
    s.socket = udp_open();
    if (s.socket < 0 || !udp_bind(s.socket, options.port)) {
        *error = std::string("Can't open port ") + std::to_string(options.port) + " (" +
                 udp_error_name() + ")";
        if (s.socket >= 0) udp_close(s.socket);
        s.socket = -1;
        return false;
    }
    mt_seed(s.random,
            static_cast<uint32_t>(std::time(nullptr)) ^ static_cast<uint32_t>(now * 1000));
    s.running = true;
    s.next_tic = now;
    race_begin(false, now);
    if (!track_current()) {
        *error = "Can't load track '" + options.track + "'";
        server_stop();
        return false;
    }
    server_log("%s: %s on port %d, up to %d riders", options.name.c_str(), track_display_name(),
               server_port(), options.max_riders);
    return true;
}

void server_stop() {
    server_state& s = g_server;
    for (server_client& c : s.clients)
        if (c.used) server_send(c, build_server_byte(msg_server_disconnect));
    for (server_client& c : s.clients) c = server_client{};
    contacts_clear();
    if (s.socket >= 0) udp_close(s.socket);
    s.socket = -1;
    s.running = false;
    race_shutdown();
    track_unload();
}

int server_socket() { return g_server.socket; }
int server_port() { return g_server.socket >= 0 ? udp_local_port(g_server.socket) : 0; }

void server_poll(double now) {
    server_state& s = g_server;
    if (!s.running) return;
    uint8_t buffer[k_datagram_max + 1];
    for (int i = 0; i < 100000; i++) {
        udp_address from;
        int n = udp_receive(s.socket, buffer, sizeof buffer, &from);
        if (n < 0) break;
        server_handle_datagram(buffer, std::min(n, k_datagram_max + 1), from, now);
    }
    // A server held up for long does not race its clock to catch up.
    if (now - s.next_tic > 1.0) s.next_tic = now;
    while (s.running && s.next_tic <= now) {
        server_tic(s.next_tic);
        s.next_tic += k_tic_length;
    }
}

void server_handle_datagram(const uint8_t* bytes, int length, const udp_address& from, double now) {
    server_state& s = g_server;
    s.stats.datagrams_received++;
    s.stats.bytes_received += length;
    client_message m;
    if (length > k_datagram_max || !parse_client_message(bytes, length, &m)) {
        server_refuse(refused_malformed);
        return;
    }
    if (m.type == msg_contact) {
        contact_arrived(m, from, now);
        return;
    }
    server_client* c = client_for(m, from);
    if (!c) {
        if (m.type != msg_client_info || !contact_identifies(m, from, now))
            server_refuse(refused_stranger);
        return;
    }
    c->last_heard = now;
    handle_message(*c, m, now);
}

void server_tic(double now) {
    race_tic(now);
    if (race_clock() % 4 == 0) race_send_states();
    clients_tic(now);
}

void server_console(const char* line, double now) {
    std::string text = line ? line : "";
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    if (text.rfind("say ", 0) == 0) {
        server_say("%s", text.c_str() + 4);
    } else if (text == "restart") {
        server_log("Restarting the race");
        race_begin(true, now);
    } else if (text.rfind("kick ", 0) == 0) {
        char* end = nullptr;
        const char* number = text.c_str() + 5;
        long slot = std::strtol(number, &end, 10);
        if (!std::isdigit(static_cast<unsigned char>(*number)) || *end || slot >= k_max_riders ||
            !g_server.clients[slot].used) {
            server_log("No client in slot '%s' (status lists them)", number);
        } else {
            server_send(g_server.clients[slot], build_error("Removed by the server\n"));
            server_drop_client(g_server.clients[slot], "was removed");
        }
    } else if (text == "status") {
        const server_stats& st = g_server.stats;
        server_log("Race %d, tic %d, %d clients, %d contacts waiting", g_server.race.id,
                   race_clock(), clients_present(), contacts_waiting());
        for (const server_client& c : g_server.clients) {
            if (!c.used) continue;
            char where[32];
            udp_address_text(c.address, where, sizeof where);
            server_log("  slot %d: %s at %s, phase %d, race %d", c.slot, client_name(c).c_str(),
                       where, c.phase, c.race);
        }
        std::string refused;
        for (int r = 0; r < refused_reason_count; r++)
            refused += std::string(r ? ", " : "") + refusal_name(static_cast<refusal_reason>(r)) +
                       " " + std::to_string(st.refused_by[r]);
        server_log("Refused datagrams: %s; crossings refused %lld", refused.c_str(),
                   static_cast<long long>(st.refused_crossings));
    } else if (!text.empty()) {
        server_log("Commands: say TEXT, restart, kick SLOT, status");
    }
}

const server_stats& server_statistics() { return g_server.stats; }
int server_client_count() { return clients_present(); }
int server_race_id() { return g_server.race.id; }
server_phase server_race_phase() { return g_server.race.phase; }
int server_clock() { return race_clock(); }
int server_slot_of(const udp_address& address) {
    const server_client* c = server_client_at(address);
    return c ? c->slot : -1;
}
uint32_t server_client_id(int slot) {
    return slot >= 0 && slot < k_max_riders && g_server.clients[slot].used
               ? g_server.clients[slot].id
               : 0;
}
const std::string& server_last_results() { return g_server.last_results; }
