// What the client's own files share: the connection record and its helpers.
#pragma once

#include "net/net.h"
#include "net/net_reliable.h"
#include "net/net_wire.h"
#include "net/udp.h"

#include "common/common.h"
#include "common/random.h"

#include <deque>
#include <string>
#include <vector>

struct data_file;

enum connection_state {
    state_contacting = 0,
    state_identifying = 3,
    state_track = 5,
    state_riders = 7,
    state_ready = 9,
    state_racing = 11,
    state_restarting = 14,
    state_ending = 15,
};

// What the client knows of one rider slot in the current race.
struct net_slot {
    int state_tic = -1; // tic of the newest state received
    int ping = 0;       // tics, as the server measured it
    rider_descriptor descriptor;
    bool named = false; // the server named a rider for the slot in this race
};

// A received datagram held back by "--fake-lag".
struct delayed_datagram {
    double stamp = 0; // s, when it arrived
    int length = 0;
    uint8_t bytes[k_datagram_max] = {};
};

struct net_client {
    bool connected = false;
    std::string address;
    udp_address server;
    int socket = -1;
    int state = state_contacting;
    int my_slot = k_no_slot;
    uint32_t client_id = 0;
    uint32_t nonce = 0;
    int race = 0; // 0: none yet
    int racing_slot = k_no_slot;
    int last_bike = k_no_slot; // highest rider acknowledged
    int finish_time = 0;       // tics
    int finish_laps = 0;
    int gate_drop = 0; // tic
    uint8_t digest[20] = {};
    std::string track;
    int latest_server_tic = 0; // also the running estimate of the server's clock
    bool server_tic_received = false;
    double last_send = -1e30;   // s, the last periodic send
    double ending_since = 0;    // s, when state 15 began
    double last_heard = 0;      // s, when anything last came from the server
    bool outgoing_full = false; // a reliable message found the queue at its bound
    net_slot slots[k_max_riders];
    reliable_sender out;
    reliable_receiver in;
    net_connect_params params;
    std::deque<delayed_datagram> delayed;
    mt19937_state loss_random = {};
    int ping = 0; // tics
    int server_value = 0;
    int reported_position = 0; // timing position last reported
    int last_state_tic = -1;   // tic of the last state sent
    std::string descriptor_sent;
    double last_chat = -1e30;   // s
    bool said = false;          // the run's "--say" line went out
    int started_slot = -1;      // a race started, for the frame loop to follow its rider
    int erosion = -1;           // 1/1024 units; -1 unset
    int own_erosion = -1;       // 1/1024 units: the player's setting, back when the link ends
    bool holds_erosion = false; // the server's setting stands in for the player's
    bool no_arcade = false;
    // "sendfile"
    data_file* file = nullptr;
    bool file_sending = false;
    std::string namefile;
    double next_part = 0; // s
    // the "version" reply
    std::string build_label;
    std::string renderer;
    std::string gl_version;
};

net_client& net();
// Resets the connection record and closes the socket; the settings of the run stay.
void client_reset();
bool client_send(const datagram& d); // false when it did not go out
void client_queue_reliable(int sub_type, const uint8_t* payload, int length);
void client_queue_text(int sub_type, const std::string& text);
// The local rider's descriptor text as the setup describes it.
std::string local_descriptor();
// "no_arcade": arcade physics off for every local rider.
void client_disable_arcade();
// Server sub-type 24.
void client_text_command(const std::string& text);
// Queues the next part of a file being sent, every quarter second.
void client_file_tic(double now);
void client_file_close();
