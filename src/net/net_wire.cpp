// Building and reading the protocol's messages; every length and count read is checked against
// the bytes that arrived before anything is taken from them.
#include "net/net_wire.h"

#include "common/ripemd160.h"

#include <algorithm>
#include <cstring>

namespace {
// The fields a message may carry, read as 32-bit little-endian values.
enum field_id {
    field_slot,
    field_client_id,
    field_race,
    field_value,
    field_tic,
    field_proof,
    field_nonce,
    field_version,
    field_finish_time,
    field_finish_laps,
    field_gate_drop,
    field_server_tic,
    field_echo_tic,
    field_count,
};

struct field_at {
    field_id field;
    int offset;
};

// One message type: the lengths it may have, where its fields lie, and where its bytes
// (descriptor, text, state, entries, payload), digest, sub-type and password flag begin (-1:
// none).
struct message_layout {
    int type;
    int min;
    int max;
    field_at fields[5];
    int field_count;
    int data = -1;
    int digest = -1;
    int sub_type = -1;
    int password = -1;
};

constexpr field_at k_slot_id[] = {{field_slot, 1}, {field_client_id, 5}};
constexpr int k_state_length = 21 + k_compact_state_size;

constexpr message_layout k_client_layouts[] = {
    {msg_contact, 21, 21, {{field_value, 9}, {field_nonce, 13}}, 2, -1, -1, -1, 1},
    {msg_client_info,
     41,
     41 + k_descriptor_max,
     {k_slot_id[0], k_slot_id[1], {field_proof, 9}, {field_nonce, 17}},
     4,
     41},
    {msg_track_ack, 13, 13, {k_slot_id[0], k_slot_id[1], {field_race, 9}}, 3},
    {msg_bike_ack, 17, 17, {k_slot_id[0], k_slot_id[1], {field_race, 9}, {field_value, 13}}, 4},
    {msg_ready, 13, 13, {k_slot_id[0], k_slot_id[1], {field_race, 9}}, 3},
    {msg_state,
     k_state_length,
     k_state_length,
     {k_slot_id[0], k_slot_id[1], {field_race, 9}, {field_value, 13}, {field_tic, 17}},
     5,
     21},
    {msg_restart_request, 13, 13, {k_slot_id[0], k_slot_id[1], {field_value, 9}}, 3},
    {msg_restart_ack, 13, 13, {k_slot_id[0], k_slot_id[1], {field_race, 9}}, 3},
    {msg_disconnect, 9, 9, {k_slot_id[0], k_slot_id[1]}, 2},
    {msg_reliable,
     k_client_reliable_header,
     k_reliable_max,
     {k_slot_id[0], k_slot_id[1], {field_value, 9}},
     3,
     k_client_reliable_header,
     -1,
     13},
    {msg_ack, 13, 13, {k_slot_id[0], k_slot_id[1], {field_value, 9}}, 3},
};

constexpr message_layout k_server_layouts[] = {
    {msg_server_full, 1, 1, {}, 0},
    {msg_connect_reply, 13, 13, {{field_slot, 1}, {field_client_id, 5}, {field_version, 9}}, 3},
    {msg_race_info,
     38,
     k_datagram_max,
     {{field_race, 1}, {field_finish_time, 5}, {field_finish_laps, 9}, {field_gate_drop, 13}},
     4,
     37,
     17},
    {msg_rider, 9, k_datagram_max, {{field_race, 1}, {field_slot, 5}}, 2, 9},
    {msg_start, 9, k_datagram_max, {{field_race, 1}, {field_slot, 5}}, 2, 9},
    {msg_time, 13, 13, {{field_race, 1}, {field_server_tic, 5}, {field_echo_tic, 9}}, 3},
    {msg_states,
     k_states_header,
     k_datagram_max,
     {{field_race, 1}, {field_server_tic, 5}, {field_echo_tic, 9}, {field_count, 13}},
     4,
     k_states_header},
    {msg_value, 5, 5, {{field_value, 1}}, 1},
    {msg_restart, 5, 5, {{field_race, 1}}, 1},
    {msg_server_disconnect, 1, 1, {}, 0},
    {msg_error, 1, k_datagram_max, {}, 0, 1},
    {msg_server_reliable,
     k_server_reliable_header,
     k_datagram_max,
     {{field_value, 1}},
     1,
     k_server_reliable_header,
     -1,
     5},
    {msg_server_ack, 5, 5, {{field_value, 1}}, 1},
    {msg_redirect, 6, 5 + k_redirect_max + 1, {{field_nonce, 1}}, 1, 5},
};

void set_field(net_message& m, field_id field, uint32_t v) {
    const int32_t signed_v = static_cast<int32_t>(v);
    switch (field) {
    case field_slot:
        m.slot = signed_v;
        break;
    case field_client_id:
        m.client_id = v;
        break;
    case field_race:
        m.race = signed_v;
        break;
    case field_value:
        m.value = signed_v;
        break;
    case field_tic:
        m.tic = signed_v;
        break;
    case field_proof:
        m.proof = v;
        break;
    case field_nonce:
        m.nonce = v;
        break;
    case field_version:
        m.version = signed_v;
        break;
    case field_finish_time:
        m.finish_time = signed_v;
        break;
    case field_finish_laps:
        m.finish_laps = signed_v;
        break;
    case field_gate_drop:
        m.gate_drop = signed_v;
        break;
    case field_server_tic:
        m.server_tic = signed_v;
        break;
    case field_echo_tic:
        m.echo_tic = signed_v;
        break;
    case field_count:
        m.count = signed_v;
        break;
    }
}

// Reads a message by its type's layout; false for a type not in the table or a length the type
// never has, before anything is read.
template <size_t N>
bool parse_by_layout(const message_layout (&layouts)[N], const uint8_t* bytes, int length,
                     net_message* out) {
    *out = net_message{};
    if (!bytes || length < 1) return false;
    for (const message_layout& l : layouts) {
        if (l.type != bytes[0]) continue;
        if (length < l.min || length > l.max) return false;
        net_message& m = *out;
        m.type = l.type;
        for (int i = 0; i < l.field_count; i++)
            set_field(m, l.fields[i].field, get_u32(bytes + l.fields[i].offset));
        if (l.data >= 0) {
            m.data = bytes + l.data;
            m.data_length = length - l.data;
        }
        if (l.digest >= 0) m.digest = bytes + l.digest;
        if (l.sub_type >= 0) m.sub_type = bytes[l.sub_type];
        if (l.password >= 0) m.password = bytes[l.password] != 0;
        return true;
    }
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
    return parse_by_layout(k_client_layouts, bytes, length, out);
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

namespace {
// Messages 6 and 8: the race, a slot and a rider's descriptor.
datagram build_race_slot(server_message_type type, int race, int slot, const char* descriptor) {
    datagram d = begin(type);
    put_u32(d, static_cast<uint32_t>(race));
    put_u32(d, static_cast<uint32_t>(slot));
    put_text(d, descriptor, k_descriptor_max);
    return d;
}
} // namespace

datagram build_rider(int race, int slot, const char* descriptor) {
    return build_race_slot(msg_rider, race, slot, descriptor);
}

datagram build_start(int race, int racing_slot, const char* descriptor) {
    return build_race_slot(msg_start, race, racing_slot, descriptor);
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
    return parse_by_layout(k_server_layouts, bytes, length, out);
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
