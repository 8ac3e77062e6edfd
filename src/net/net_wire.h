// The race-server protocol on the wire: message types and sizes, little-endian fields, and the
// building and reading of every message in both directions. Nothing here keeps state.
#pragma once

#include "bike/bike.h"
#include "common/common.h"

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int k_protocol_number = 34;  // the client's, sent with the contact
constexpr int k_server_version = 6;    // the server's, sent with the connect reply
constexpr int k_datagram_max = 1023;   // bytes of one datagram at most
constexpr int k_reliable_max = 480;    // bytes of one reliable message at most
constexpr int k_no_slot = 160;         // "no slot" on the wire
constexpr int k_descriptor_max = 982;  // bytes of rider descriptor text in a client info
constexpr int k_track_name_max = 150;  // bytes of a track name the client takes
constexpr int k_redirect_max = 127;    // bytes of a redirect's address
constexpr int k_state_entry_size = 47; // one rider in a states message
constexpr int k_states_header = 17;
constexpr int k_states_per_datagram = (k_datagram_max - k_states_header) / k_state_entry_size;
constexpr int k_client_reliable_header = 14;
constexpr int k_server_reliable_header = 6;
constexpr int k_client_payload_max = k_reliable_max - k_client_reliable_header;
constexpr int k_server_payload_max = k_reliable_max - k_server_reliable_header;
constexpr int k_timing_entry_size = 12;
constexpr int k_timing_entries_max = (k_server_payload_max - 8) / k_timing_entry_size;
constexpr int k_terrain_edit_min = 17; // bytes of a one-point path
constexpr int k_terrain_edit_max = 17 + 4 * 63;
// The longest finish time and latest gate drop a race info may carry (a day), and the most laps;
// beyond them the race clock's sums would not fit.
constexpr int k_race_info_tics_most = 24 * 3600 * k_tics_per_second;
constexpr int k_race_info_laps_most = 1000;
// A server's tic, and a tic echoed back, lie within three such days: the race is given up long
// before.
constexpr int k_server_tic_most = 3 * k_race_info_tics_most;

// What a client sends.
enum client_message_type {
    msg_contact = 0,
    msg_client_info = 3,
    msg_track_ack = 5,
    msg_bike_ack = 7,
    msg_ready = 9,
    msg_state = 11,
    msg_restart_request = 13,
    msg_restart_ack = 14,
    msg_disconnect = 15,
    msg_reliable = 17,
    msg_ack = 18,
};

// What a server sends.
enum server_message_type {
    msg_server_full = 1,
    msg_connect_reply = 2,
    msg_race_info = 4,
    msg_rider = 6,
    msg_start = 8,
    msg_time = 10,
    msg_states = 11,
    msg_value = 13,
    msg_restart = 14,
    msg_server_disconnect = 15,
    msg_error = 16,
    msg_server_reliable = 17,
    msg_server_ack = 18,
    msg_redirect = 25,
};

// What a reliable message carries.
enum reliable_sub_type {
    sub_descriptor = 3,    // client: the rider descriptor text
    sub_text = 19,         // chat from a client, a text message from the server
    sub_timing = 21,       // client: one crossing; server: a list of crossings
    sub_command = 24,      // text commands both ways (and file parts)
    sub_terrain_edit = 27, // race id and a terrain edit record
};

// A table of records keyed by message or sub-type, `type`: the record for one, or null.
template <class record, size_t n>
constexpr const record* find_type(const record (&table)[n], int type) {
    for (const record& r : table)
        if (r.type == type) return &r;
    return nullptr;
}

// Each type has one record at most, so the lookup above finds the only one.
template <class record, size_t n> constexpr bool types_unique(const record (&table)[n]) {
    for (size_t i = 0; i < n; i++)
        for (size_t j = i + 1; j < n; j++)
            if (table[i].type == table[j].type) return false;
    return true;
}

// One datagram being built; a field that would not fit sets `overflow` and is dropped.
struct datagram {
    uint8_t bytes[k_datagram_max] = {};
    int length = 0;
    bool overflow = false;
};

void put_u8(datagram& d, unsigned value);
void put_u16(datagram& d, unsigned value);
void put_u32(datagram& d, uint32_t value);
void put_bytes(datagram& d, const void* bytes, int length);
// The text's bytes without a terminator, at most `max` of them.
void put_text(datagram& d, const char* text, int max);
uint32_t get_u32(const uint8_t* p);
uint16_t get_u16(const uint8_t* p);
// Text up to the first zero byte or the end.
std::string wire_text(const uint8_t* bytes, int length);

// The 4 proof bytes of the password for a client id, as the little-endian value the client
// info carries.
uint32_t password_proof(const char* password, uint32_t client_id);

// One rider's state in a states message.
struct state_entry {
    int slot = 0;
    int ping = 0; // tics
    int tic = 0;
    compact_state state = {};
};
void put_state_entry(datagram& d, const state_entry& e);
state_entry get_state_entry(const uint8_t* p);

// One crossing: the rider's slot, the crossing's index and its tic.
struct timing_entry {
    int32_t slot = 0;
    int32_t crossing = 0;
    int32_t tic = 0;
};

// ---- Client to server

datagram build_contact(bool password, uint32_t nonce);
datagram build_client_info(int slot, uint32_t client_id, uint32_t proof, uint32_t nonce,
                           const char* descriptor);
// Messages 5, 7, 9, 13, 14, 15 and 18: slot, client id and up to two more values.
datagram build_client_values(client_message_type type, int slot, uint32_t client_id, int count,
                             int32_t first = 0, int32_t second = 0);
datagram build_state(int slot, uint32_t client_id, int race, int server_tic, int tic,
                     const compact_state& state);
datagram build_client_reliable(int slot, uint32_t client_id, int32_t sequence, int sub_type,
                               const uint8_t* payload, int length);

// A message as read, from either side; the fields its type does not carry stay 0. Which
// messages carry what:
//   slot: client messages after the contact; 2 my slot, 6 the rider's, 8 my racing slot
//   client_id: client messages after the contact, 2
//   race: 5, 7, 9, 11 and 14 from a client; 4, 6, 8, 10, 11 and 14 (the new race) from a server
//   value: 0 protocol number, 7 last bike, 11 latest server tic, 13 request or value, 17 and 18
//          sequence
//   tic: 11 from a client; proof: 3; nonce: 0, 3, 25; password: 0; sub_type: 17
//   version: 2; finish_time, finish_laps, gate_drop, digest (20 bytes): 4
//   server_tic, echo_tic: 10 and 11 from a server; count: 11 from a server (entries declared)
//   data: 3 descriptor text, 11 compact state or entries, 17 payload; 4 track name, 6 and 8
//         descriptor, 16 text, 25 address
struct net_message {
    int type = -1;
    int32_t slot = 0;
    uint32_t client_id = 0;
    int32_t race = 0;
    int32_t value = 0;
    int32_t tic = 0;
    uint32_t proof = 0;
    uint32_t nonce = 0;
    bool password = false;
    int sub_type = 0;
    int32_t version = 0;
    int32_t finish_time = 0, finish_laps = 0, gate_drop = 0;
    const uint8_t* digest = nullptr;
    int32_t server_tic = 0, echo_tic = 0;
    int32_t count = 0;
    const uint8_t* data = nullptr;
    int data_length = 0;
};
using client_message = net_message;
using server_message = net_message;

// False for an unknown type or a length that type never has.
bool parse_client_message(const uint8_t* bytes, int length, client_message* out);

// ---- Server to client

datagram build_server_byte(server_message_type type); // 1 and 15
datagram build_connect_reply(int slot, uint32_t client_id, int version);
datagram build_race_info(int race, int finish_time, int finish_laps, int gate_drop_tic,
                         const uint8_t digest[20], const char* track);
datagram build_rider(int race, int slot, const char* descriptor);
datagram build_start(int race, int racing_slot, const char* descriptor);
datagram build_time(int race, int server_tic, int echo_tic);
// The header of a states message; entries are appended with put_state_entry and counted with
// states_set_count.
datagram build_states_header(int race, int server_tic, int echo_tic);
void states_set_count(datagram& d, int count);
datagram build_server_value(server_message_type type, int32_t value); // 13, 14, 18
datagram build_error(const char* text);
datagram build_server_reliable(int32_t sequence, int sub_type, const uint8_t* payload, int length);
datagram build_redirect(uint32_t nonce, const char* address);

bool parse_server_message(const uint8_t* bytes, int length, server_message* out);

// ---- Reliable payloads

// Client sub-type 21: one crossing of the sender's rider.
struct client_timing {
    int32_t race = 0, crossing = 0, tic = 0;
};
bool parse_client_timing(const uint8_t* payload, int length, client_timing* out);
void put_client_timing(datagram& d, const client_timing& t);
// Server sub-type 21: the race and a list of crossings; `entries` points at count * 12 bytes.
bool parse_timing_list(const uint8_t* payload, int length, int32_t* race, int* count,
                       const uint8_t** entries);
timing_entry get_timing_entry(const uint8_t* p);
// Sub-type 27: the race and a terrain edit record of a plausible shape.
bool parse_terrain_edit(const uint8_t* payload, int length, int32_t* race, const uint8_t** edit,
                        int* edit_length);
bool terrain_edit_well_formed(const uint8_t* edit, int length);

// A rider descriptor: the bike, its four descriptor fields (body, bike, wheels, head graphics),
// number and name.
struct rider_descriptor {
    std::string bike;
    std::string fields[4];
    std::string number;
    std::string name;
};
// "bike|body|bike|wheels|head\nnumber\nname"; "bike\nnumber\nname" when that does not fit in
// `max` bytes.
std::string descriptor_text(const rider_descriptor& d, int max);
// Reads either form; missing parts stay empty.
rider_descriptor parse_descriptor(const std::string& text);
