// The race-server client: joining a server, the network step of every tic, and what the rest of
// the game asks of the connection. Times are seconds on the frame loop's clock.
#pragma once

#include <string>

struct net_connect_params {
    std::string password;           // "--password", empty for none
    float fake_lag = 0;             // s, "--fake-lag"
    int fake_loss = 0;              // percent, "--fake-loss"
    bool fixed_shapes_match = true; // the start-up check of the fixed bike shape files
    int record_mode = 0;            // races the server starts are recorded as offline ones are
    int demo_backups = 0;
    int skill = 0;
    std::string say; // said on the chat line once racing (a test aid)
};

// Registers the riders the server names with race control; net_shutdown disconnects and
// returns the client to its start-up state.
void net_init();
void net_shutdown();

// Starts joining the server at "host[:port]" (the default port 19800); false when no contact
// could be made (the reason is shown).
bool net_connect(const char* address, const net_connect_params& params, double now);
// One network step: every waiting datagram handled, then what is due is sent.
void net_tic(double now);
bool net_connected();
// The connection state: 0 contacting, 3 identifying, 5 track acknowledged, 7 riders, 9 ready,
// 11 racing, 14 restarting, 15 ending; -1 when not connected.
int net_state();
// The estimate of the server's clock, and whether the server has sent its clock in this race.
int net_server_tic();
bool net_server_sent_tic();
// Connected, but not racing: the server gave the local rider no place in the race.
bool net_in_warmup();
// Sends the disconnect message when connected and resets the client.
void net_disconnect();
// Once for each race the server starts: the local rider's slot; -1 otherwise.
int net_take_started_slot();
// Once after the server ended the connection, fell silent or was given up on: true, and the
// frame loop leaves for the menus. The race stays as it stood, its recording closed and kept.
bool net_take_link_ended();

// "Ping - %dms (%dms offset)": the round trip and how far the local clock is behind the server.
int net_ping_ms();
int net_offset_ms();
// The tic of the newest state received for a slot (-1 for none) and that rider's ping in tics.
int net_slot_state_tic(int slot);
int net_slot_ping(int slot);
// The erosion setting the server gave (1/1024 units), -1 while unset.
int net_erosion_setting();

// Reliable messages the client keeps for a server that has not acknowledged them; a server that
// lets more pile up has stopped taking them, and the client leaves it.
constexpr int k_outgoing_max = 1024;
// What the client holds for the server: reliable messages not yet acknowledged, ones received
// ahead of their turn, and datagrams held back by "--fake-lag". Each stays within its bound.
struct net_queue_sizes {
    int outgoing = 0;
    int early = 0;
    int delayed = 0;
};
net_queue_sizes net_queues();

// The chat line's text, at most one line every 2 seconds.
void net_chat(const char* text, double now);
// "sendfile NAME": offers "@outgoing/NAME" to the server.
void net_send_file(const char* name);
// "Request Restart" while racing.
void net_request_restart();
// What the "version" reply reports: the build's label and the drawing's renderer and version.
void net_set_identity(const char* build_label, const char* renderer, const char* gl_version);

// The datagram handler the network step runs for each datagram from the server (tests and the
// fuzzer feed it directly).
void net_handle_datagram(const unsigned char* bytes, int length, double now);
