// The race server: its options, its clients, the races it runs (warm-up, gate drop, race,
// results, the next race) and what it relays between the riders. Times are seconds on the
// server's clock; one server per process.
#pragma once

#include "net/udp.h"

#include <cstdint>
#include <string>

struct server_options {
    std::string track; // folder of the track raced on
    int port = k_default_port;
    int laps = 0;    // laps part of a race's length
    int minutes = 0; // timed part; with neither given a race is 3 laps
    int max_riders = 40;
    std::string password; // empty: anyone may join
    std::string name = "Trailbok race server";
    double warmup = 20;            // s of warm-up after the last rider joined before a race
    double gate_drop = 14;         // s from a race's start to its gate drop
    double results_time = 15;      // s the results stand before the next race
    int erode = -1;                // erosion setting sent with each race, 1/1024 units; -1 none
    bool no_arcade = false;        // riders race with arcade physics off
    std::string redirect;          // where contacts go while the server is full
    std::string results_dir = "."; // where each race's results file is written
    std::string uploads_dir;       // where files riders send are kept; empty refuses them
    bool quiet = false;            // no log lines on the standard output
};

// Where the password may come from instead of the command line.
constexpr const char* k_password_variable = "TRAILBOK_SERVER_PASSWORD";

// A parse either gives options, asks for the help, or gives the message for the error stream.
struct server_parse_result {
    bool ok = true;
    bool help = false;
    std::string error;
};
server_parse_result server_parse_options(int argc, const char* const* argv, server_options& o);
std::string server_help();

// Finds the game data, loads the track, opens and binds the socket and begins the warm-up;
// false with the reason.
bool server_start(const server_options& options, double now, std::string* error);
// Tells every client the server is going, closes the socket and forgets every client.
void server_stop();
int server_socket();
int server_port();
// Handles every waiting datagram, then runs the tics that are due by `now`.
void server_poll(double now);
// One datagram from an address, as the receive loop hands it over.
void server_handle_datagram(const uint8_t* bytes, int length, const udp_address& from, double now);
// One server tic: the race clock, the race's phase, the states relayed every fourth tic, the
// reliable messages, and clients that went silent.
void server_tic(double now);
// A line typed at the server: "say TEXT", "restart", "kick SLOT", "status".
void server_console(const char* line, double now);

enum server_phase { phase_warmup, phase_racing, phase_results };

// Why a datagram was not taken.
enum refusal_reason {
    refused_malformed,    // not a message, or too long
    refused_stranger,     // from no client and no waiting contact, or for another's slot
    refused_out_of_state, // a message the client's phase does not take
    refused_protocol,     // a contact of another protocol
    refused_password,     // a wrong password, or a host waiting after too many
    refused_reason_count
};
const char* refusal_name(refusal_reason why);

// What tests and the benchmark read of the server.
struct server_stats {
    int64_t datagrams_sent = 0;
    int64_t bytes_sent = 0;
    int64_t datagrams_received = 0;
    int64_t bytes_received = 0;
    int64_t refused = 0; // datagrams dropped as malformed, out of state or from a stranger
    int64_t refused_by[refused_reason_count] = {};
    int64_t refused_crossings = 0; // crossings a rider reported that the server did not believe
    int64_t refused_edits = 0;     // terrain edits beyond what a rider's wheels could dig
    int races = 0;                 // races started (warm-ups too)
};
const server_stats& server_statistics();
int server_client_count();
int server_race_id();
server_phase server_race_phase();
int server_clock();
// The slot of the client at an address, -1 when it has none, and the id the server gave it.
int server_slot_of(const udp_address& address);
uint32_t server_client_id(int slot);
// The path of the newest results file written, empty before any.
const std::string& server_last_results();
// Where log lines go (the standard output by default).
void server_set_log(void (*write)(const char* line));
