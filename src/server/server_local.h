// What the server's own files share: the server state, its clients and its race.
#pragma once

#include "server/server.h"

#include "bike/bike.h"
#include "common/common.h"
#include "common/random.h"
#include "net/net_reliable.h"
#include "net/net_wire.h"

#include <string>
#include <vector>

// Reliable messages in flight to a client at once: a backlog drains this many a round trip.
constexpr int k_reliable_window = 32;
// Messages queued to one client at most; a client this far behind is dropped.
constexpr size_t k_reliable_queue_most = 4096;
// Crossings waiting to go to one client at most.
constexpr size_t k_timing_pending_most = 16384;
constexpr double k_keep_alive_interval = 1.0; // s

// How far a client has come in joining the current race.
enum client_phase {
    client_contacted,  // connect reply sent, waiting for the rider's description
    client_joining,    // race info sent: riders, then the start
    client_running,    // ready: time and states flow
    client_restarting, // restart sent, waiting for its acknowledgment
};

struct server_client {
    bool used = false;
    udp_address address;
    uint32_t id = 0;
    uint32_t nonce = 0;
    int slot = 0;
    client_phase phase = client_contacted;
    int race = 0; // the race the client was told about
    std::string descriptor_text;
    rider_descriptor descriptor;
    bool identified = false;     // its description arrived
    double last_heard = 0;       // s
    double restart_sent = -1e30; // s, when the restart last went out
    reliable_sender out;
    reliable_receiver in;
    int client_tic = 0;              // newest tic the client sent with a state
    int client_tic_at = 0;           // the server tic it arrived at
    int sent_tic[k_max_riders] = {}; // newest state of each rider sent to this client
    std::vector<timing_entry> timing_pending;
    size_t stored_edits_sent = 0;   // of the race's stored terrain edits, for a late joiner
    bool edits_caught_up = true;    // new edits go straight to its queue
    double last_keep_alive = -1e30; // s
    double edit_allowance = 64;     // terrain edits it may send now
    double edit_refilled = 0;       // s
    double last_chat = -1e30;       // s
    bool restart_vote = false;
    bool upload_open = false;
    std::string upload; // bytes of a file being received
    bool greeted = false;
    double last_refusal_logged = -1e30; // s
};

// One rider of the race: what it looks like and its newest state.
struct server_rider {
    bool racing = false;
    std::string descriptor_text;
    int tic = -1; // of the newest state
    int ping = 0; // tics the newest state arrived behind the server's clock
    compact_state state = {};
    int claimed = -1;    // the crossing last credited, -1 before the first
    int claimed_tic = 0; // its tic
};

// The most terrain edits a race keeps for riders who join it late.
constexpr int k_max_stored_edits = 1 << 16;

struct server_race {
    int id = 0;
    server_phase phase = phase_warmup;
    int gate_drop = 0; // tic
    int finish_time = 0;
    int finish_laps = 0;
    double phase_since = 0; // s
    server_rider riders[k_max_riders];
    // The terrain edits relayed in this race, in order, for riders who join it later.
    std::vector<std::string> terrain_edits;
};

struct server_state {
    bool running = false;
    server_options options;
    int socket = -1;
    double next_tic = 0; // s
    server_client clients[k_max_riders];
    server_race race;
    double last_join = 0; // s
    mt19937_state random = {};
    server_stats stats;
    std::string last_results;
    void (*log)(const char* line) = nullptr;
};

server_state& server();
void server_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void server_send(const server_client& c, const datagram& d);
// Sends the client to the current race: the restart, repeated until acknowledged.
void server_send_restart(server_client& c, double now);
void server_send_to(const udp_address& to, const datagram& d);
void server_queue(server_client& c, int sub_type, const std::string& payload);
// A text message to every client that has joined.
void server_say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void server_drop_client(server_client& c, const char* why);
std::string client_name(const server_client& c);
server_client* server_client_at(const udp_address& from);
// Counts a datagram the server would not take.
void server_refuse(refusal_reason why);
// A client's description of its rider: the race info follows (also when it comes again).
bool client_identify(server_client& c, const client_message& m, double now);

// Contacts: the connect reply, and the client made once the contact identifies itself.
void contact_arrived(const client_message& m, const udp_address& from, double now);
// False when the message is from no waiting contact.
bool contact_identifies(const client_message& m, const udp_address& from, double now);
// Forgets contacts that never identified themselves.
void contacts_tic(double now);
void contacts_clear();
int contacts_waiting();

// The race: starting one (a warm-up or a race with every rider present), joining a client to
// it, its tic, and what it relays.
void race_begin(bool racing, double now);
void race_send_join_step(server_client& c, int acknowledged);
void race_client_ready(server_client& c);
void race_take_state(server_client& c, const client_message& m);
void race_take_timing(server_client& c, const client_timing& t, double now);
void race_relay_terrain_edit(const uint8_t* payload, int length);
void race_restart_vote(server_client& c, double now);
void race_tic(double now);
void race_send_states();

// Why the server does not believe a rider's reported crossing, nullptr when it does.
const char* crossing_refusal(int slot, int crossing, int tic);
// Counts a refused crossing; the log and the rider hear of it at most once a second.
void crossing_refused(server_client& c, int crossing, int tic, const char* why, double now);
