// Building and reading the protocol's messages; every length and count read is checked against
// the bytes that arrived before anything is taken from them.
#include "net/net_wire.h"

#include "common/ripemd160.h"

#include <algorithm>
#include <cstring>

namespace {
// The lengths each message type may have.
struct message_size {
    int type;
    int min;
    int max;
};

constexpr message_size k_client_sizes[] = {
    {msg_contact, 21, 21},
    {msg_client_info, 41, 41 + k_descriptor_max},
    {msg_track_ack, 13, 13},
    {msg_bike_ack, 17, 17},
    {msg_ready, 13, 13},
    {msg_state, 21 + k_compact_state_size, 21 + k_compact_state_size},
    {msg_restart_request, 13, 13},
    {msg_restart_ack, 13, 13},
    {msg_disconnect, 9, 9},
    {msg_reliable, k_client_reliable_header, k_reliable_max},
    {msg_ack, 13, 13},
};

constexpr message_size k_server_sizes[] = {
    {msg_server_full, 1, 1},
    {msg_connect_reply, 13, 13},
    {msg_race_info, 38, k_datagram_max},
    {msg_rider, 9, k_datagram_max},
    {msg_start, 9, k_datagram_max},
    {msg_time, 13, 13},
    {msg_states, k_states_header, k_datagram_max},
    {msg_value, 5, 5},
    {msg_restart, 5, 5},
    {msg_server_disconnect, 1, 1},
    {msg_error, 1, k_datagram_max},
    {msg_server_reliable, k_server_reliable_header, k_datagram_max},
    {msg_server_ack, 5, 5},
    {msg_redirect, 6, 5 + k_redirect_max + 1},
};

template <size_t N>
bool size_fits(const message_size (&sizes)[N], const uint8_t* bytes, int length) {
    if (!bytes || length < 1) return false;
    for (const message_size& s : sizes)
        if (s.type == bytes[0]) return length >= s.min && length <= s.max;
    return false;
}

int32_t get_i32(const uint8_t* p) { return static_cast<int32_t>(get_u32(p)); }

datagram begin(int type) {
    datagram d;
    put_u8(d, static_cast<unsigned>(type));
    return d;
}

// The slot and client id every client message after the contact starts with.
datagram begin_client(int type, int slot, uint32_t client_id) {
    datagram d = begin(type);
    put_u32(d, static_cast<uint32_t>(slot));
    put_u32(d, client_id);
    return d;
}
} // namespace

void put_u8(datagram& d, unsigned value) {
    if (d.length >= k_datagram_max) {
        d.overflow = true;
        return;
    }
    d.bytes[d.length++] = static_cast<uint8_t>(value);
}

void put_u16(datagram& d, unsigned value) {
    put_u8(d, value & 255);
    put_u8(d, (value >> 8) & 255);
}

void put_u32(datagram& d, uint32_t value) {
    for (int i = 0; i < 4; i++) put_u8(d, (value >> (8 * i)) & 255);
}

void put_bytes(datagram& d, const void* bytes, int length) {
    if (length <= 0) return;
    if (length > k_datagram_max - d.length) {
        d.overflow = true;
        return;
    }
    std::memcpy(d.bytes + d.length, bytes, static_cast<size_t>(length));
    d.length += length;
}

void put_text(datagram& d, const char* text, int max) {
    if (!text) return;
    put_bytes(d, text, static_cast<int>(strnlen(text, static_cast<size_t>(max))));
}

uint32_t get_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t get_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

std::string wire_text(const uint8_t* bytes, int length) {
    if (!bytes || length <= 0) return {};
    const char* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, static_cast<size_t>(length)));
}

uint32_t password_proof(const char* password, uint32_t client_id) {
    ripemd160_state s;
    ripemd160_init(s);
    ripemd160_update(s, password, strlen(password));
    uint8_t id[4] = {static_cast<uint8_t>(client_id), static_cast<uint8_t>(client_id >> 8),
                     static_cast<uint8_t>(client_id >> 16), static_cast<uint8_t>(client_id >> 24)};
    ripemd160_update(s, id, 4);
    uint8_t digest[20];
    ripemd160_final(s, digest);
    // The message carries digest bytes 3, 2, 1, 0 in that order.
    const uint8_t carried[4] = {digest[3], digest[2], digest[1], digest[0]};
    return get_u32(carried);
}

void put_state_entry(datagram& d, const state_entry& e) {
    put_u16(d, static_cast<unsigned>(e.slot));
    put_u16(d, static_cast<unsigned>(std::clamp(e.ping, 0, 65535)));
    put_u32(d, static_cast<uint32_t>(e.tic));
    put_bytes(d, e.state.bytes, k_compact_state_size);
}

state_entry get_state_entry(const uint8_t* p) {
    state_entry e;
    e.slot = get_u16(p);
    e.ping = get_u16(p + 2);
    e.tic = get_i32(p + 4);
    std::memcpy(e.state.bytes, p + 8, k_compact_state_size);
    return e;
}

// ---- Client to server

datagram build_contact(bool password, uint32_t nonce) {
    datagram d = begin(msg_contact);
    put_u8(d, password ? 1 : 0);
    for (int i = 0; i < 3; i++) put_u8(d, 0);
    put_u32(d, 0); // reserved
    put_u32(d, k_protocol_number);
    put_u32(d, nonce);
    put_u32(d, 0); // reserved
    return d;
}

datagram build_client_info(int slot, uint32_t client_id, uint32_t proof, uint32_t nonce,
                           const char* descriptor) {
    datagram d = begin_client(msg_client_info, slot, client_id);
    put_u32(d, proof);
    put_u32(d, 0); // reserved
    put_u32(d, nonce);
    for (int i = 0; i < 5; i++) put_u32(d, 0); // reserved
    put_text(d, descriptor, k_descriptor_max);
    return d;
}

datagram build_client_values(client_message_type type, int slot, uint32_t client_id, int count,
                             int32_t first, int32_t second) {
    datagram d = begin_client(type, slot, client_id);
    if (count > 0) put_u32(d, static_cast<uint32_t>(first));
    if (count > 1) put_u32(d, static_cast<uint32_t>(second));
    return d;
}

datagram build_state(int slot, uint32_t client_id, int race, int server_tic, int tic,
                     const compact_state& state) {
    datagram d = begin_client(msg_state, slot, client_id);
    put_u32(d, static_cast<uint32_t>(race));
    put_u32(d, static_cast<uint32_t>(server_tic));
    put_u32(d, static_cast<uint32_t>(tic));
    put_bytes(d, state.bytes, k_compact_state_size);
    return d;
}

datagram build_client_reliable(int slot, uint32_t client_id, int32_t sequence, int sub_type,
                               const uint8_t* payload, int length) {
    datagram d = begin_client(msg_reliable, slot, client_id);
    put_u32(d, static_cast<uint32_t>(sequence));
    put_u8(d, static_cast<unsigned>(sub_type));
    put_bytes(d, payload, std::min(length, k_client_payload_max));
    return d;
}

bool parse_client_message(const uint8_t* bytes, int length, client_message* out) {
    *out = client_message{};
    if (!size_fits(k_client_sizes, bytes, length)) return false;
    client_message& m = *out;
    m.type = bytes[0];
    if (m.type == msg_contact) {
        m.password = bytes[1] != 0;
        m.value = get_i32(bytes + 9);
        m.nonce = get_u32(bytes + 13);
        return true;
    }
    m.slot = get_i32(bytes + 1);
    m.client_id = get_u32(bytes + 5);
    switch (m.type) {
    case msg_client_info:
        m.proof = get_u32(bytes + 9);
        m.nonce = get_u32(bytes + 17);
        m.data = bytes + 41;
        m.data_length = length - 41;
        break;
    case msg_track_ack:
    case msg_ready:
    case msg_restart_ack:
        m.race = get_i32(bytes + 9);
        break;
    case msg_bike_ack:
        m.race = get_i32(bytes + 9);
        m.value = get_i32(bytes + 13);
        break;
    case msg_state:
        m.race = get_i32(bytes + 9);
        m.value = get_i32(bytes + 13);
        m.tic = get_i32(bytes + 17);
        m.data = bytes + 21;
        m.data_length = k_compact_state_size;
        break;
    case msg_restart_request:
    case msg_ack:
        m.value = get_i32(bytes + 9);
        break;
    case msg_reliable:
        m.value = get_i32(bytes + 9);
        m.sub_type = bytes[13];
        m.data = bytes + k_client_reliable_header;
        m.data_length = length - k_client_reliable_header;
        break;
    default:
        break;
    }
    return true;
}

// ---- Server to client

datagram build_server_byte(server_message_type type) { return begin(type); }

datagram build_connect_reply(int slot, uint32_t client_id, int version) {
    datagram d = begin(msg_connect_reply);
    put_u32(d, static_cast<uint32_t>(slot));
    put_u32(d, client_id);
    put_u32(d, static_cast<uint32_t>(version));
    return d;
}

datagram build_race_info(int race, int finish_time, int finish_laps, int gate_drop_tic,
                         const uint8_t digest[20], const char* track) {
    datagram d = begin(msg_race_info);
    put_u32(d, static_cast<uint32_t>(race));
    put_u32(d, static_cast<uint32_t>(finish_time));
    put_u32(d, static_cast<uint32_t>(finish_laps));
    put_u32(d, static_cast<uint32_t>(gate_drop_tic));
    put_bytes(d, digest, 20);
    put_text(d, track, k_datagram_max);
    return d;
}

datagram build_rider(int race, int slot, const char* descriptor) {
    datagram d = begin(msg_rider);
    put_u32(d, static_cast<uint32_t>(race));
    put_u32(d, static_cast<uint32_t>(slot));
    put_text(d, descriptor, k_descriptor_max);
    return d;
}

datagram build_start(int race, int racing_slot, const char* descriptor) {
    datagram d = begin(msg_start);
    put_u32(d, static_cast<uint32_t>(race));
    put_u32(d, static_cast<uint32_t>(racing_slot));
    put_text(d, descriptor, k_descriptor_max);
    return d;
}

datagram build_time(int race, int server_tic, int echo_tic) {
    datagram d = begin(msg_time);
    put_u32(d, static_cast<uint32_t>(race));
    put_u32(d, static_cast<uint32_t>(server_tic));
    put_u32(d, static_cast<uint32_t>(echo_tic));
    return d;
}

datagram build_states_header(int race, int server_tic, int echo_tic) {
    datagram d = build_time(race, server_tic, echo_tic);
    d.bytes[0] = msg_states;
    put_u32(d, 0);
    return d;
}

void states_set_count(datagram& d, int count) {
    for (int i = 0; i < 4; i++) d.bytes[13 + i] = static_cast<uint8_t>(count >> (8 * i));
}

datagram build_server_value(server_message_type type, int32_t value) {
    datagram d = begin(type);
    put_u32(d, static_cast<uint32_t>(value));
    return d;
}

datagram build_error(const char* text) {
    datagram d = begin(msg_error);
    put_text(d, text, k_datagram_max - 1);
    return d;
}

datagram build_server_reliable(int32_t sequence, int sub_type, const uint8_t* payload, int length) {
    datagram d = begin(msg_server_reliable);
    put_u32(d, static_cast<uint32_t>(sequence));
    put_u8(d, static_cast<unsigned>(sub_type));
    put_bytes(d, payload, std::min(length, k_server_payload_max));
    return d;
}

datagram build_redirect(uint32_t nonce, const char* address) {
    datagram d = begin(msg_redirect);
    put_u32(d, nonce);
    put_text(d, address, k_redirect_max);
    return d;
}

bool parse_server_message(const uint8_t* bytes, int length, server_message* out) {
    *out = server_message{};
    if (!size_fits(k_server_sizes, bytes, length)) return false;
    server_message& m = *out;
    m.type = bytes[0];
    switch (m.type) {
    case msg_connect_reply:
        m.slot = get_i32(bytes + 1);
        m.client_id = get_u32(bytes + 5);
        m.version = get_i32(bytes + 9);
        break;
    case msg_race_info:
        m.race = get_i32(bytes + 1);
        m.finish_time = get_i32(bytes + 5);
        m.finish_laps = get_i32(bytes + 9);
        m.gate_drop = get_i32(bytes + 13);
        m.digest = bytes + 17;
        m.data = bytes + 37;
        m.data_length = length - 37;
        break;
    case msg_rider:
    case msg_start:
        m.race = get_i32(bytes + 1);
        m.slot = get_i32(bytes + 5);
        m.data = bytes + 9;
        m.data_length = length - 9;
        break;
    case msg_time:
    case msg_states:
        m.race = get_i32(bytes + 1);
        m.server_tic = get_i32(bytes + 5);
        m.echo_tic = get_i32(bytes + 9);
        if (m.type == msg_time) break;
        m.count = get_i32(bytes + 13);
        m.data = bytes + k_states_header;
        m.data_length = length - k_states_header;
        break;
    case msg_value:
    case msg_server_ack:
        m.value = get_i32(bytes + 1);
        break;
    case msg_restart:
        m.race = get_i32(bytes + 1);
        break;
    case msg_error:
        m.data = bytes + 1;
        m.data_length = length - 1;
        break;
    case msg_server_reliable:
        m.value = get_i32(bytes + 1);
        m.sub_type = bytes[5];
        m.data = bytes + k_server_reliable_header;
        m.data_length = length - k_server_reliable_header;
        break;
    case msg_redirect:
        m.nonce = get_u32(bytes + 1);
        m.data = bytes + 5;
        m.data_length = length - 5;
        break;
    default:
        break;
    }
    return true;
}

// ---- Reliable payloads

bool parse_client_timing(const uint8_t* payload, int length, client_timing* out) {
    if (!payload || length != 12) return false;
    out->race = get_i32(payload);
    out->crossing = get_i32(payload + 4);
    out->tic = get_i32(payload + 8);
    return true;
}

void put_client_timing(datagram& d, const client_timing& t) {
    put_u32(d, static_cast<uint32_t>(t.race));
    put_u32(d, static_cast<uint32_t>(t.crossing));
    put_u32(d, static_cast<uint32_t>(t.tic));
}

bool parse_timing_list(const uint8_t* payload, int length, int32_t* race, int* count,
                       const uint8_t** entries) {
    if (!payload || length < 8) return false;
    int32_t n = get_i32(payload + 4);
    if (n < 0 || n > (length - 8) / k_timing_entry_size) return false;
    *race = get_i32(payload);
    *count = n;
    *entries = payload + 8;
    return true;
}

timing_entry get_timing_entry(const uint8_t* p) {
    return timing_entry{get_i32(p), get_i32(p + 4), get_i32(p + 8)};
}

bool terrain_edit_well_formed(const uint8_t* edit, int length) {
    return edit && length >= k_terrain_edit_min && length <= k_terrain_edit_max && edit[0] == 1 &&
           (length - k_terrain_edit_min) % 4 == 0;
}

bool parse_terrain_edit(const uint8_t* payload, int length, int32_t* race, const uint8_t** edit,
                        int* edit_length) {
    if (!payload || length < 4) return false;
    *race = get_i32(payload);
    *edit = payload + 4;
    *edit_length = length - 4;
    return true;
}

std::string descriptor_text(const rider_descriptor& d, int max) {
    std::string full = d.bike;
    for (const std::string& f : d.fields) full += "|" + f;
    full += "\n" + d.number + "\n" + d.name;
    if (static_cast<int>(full.size()) <= max) return full;
    std::string short_form = d.bike + "\n" + d.number + "\n" + d.name;
    return short_form.substr(0, static_cast<size_t>(std::max(max, 0)));
}

rider_descriptor parse_descriptor(const std::string& text) {
    rider_descriptor d;
    size_t first = text.find('\n');
    std::string head = text.substr(0, first);
    std::string rest = first == std::string::npos ? "" : text.substr(first + 1);
    size_t bar = head.find('|');
    d.bike = head.substr(0, bar);
    for (int i = 0; i < 4 && bar != std::string::npos; i++) {
        size_t next = head.find('|', bar + 1);
        d.fields[i] = head.substr(bar + 1, next == std::string::npos ? next : next - bar - 1);
        bar = next;
    }
    size_t second = rest.find('\n');
    d.number = rest.substr(0, second);
    if (second != std::string::npos) {
        std::string name = rest.substr(second + 1);
        d.name = name.substr(0, name.find('\n'));
    }
    return d;
}
