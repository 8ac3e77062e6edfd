// Reading and writing the demo header, block heads and state entries.
#include "demo/demo_format.h"

#include "files/data_file.h"

#include <cstdio>
#include <cstring>

namespace {
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const uint8_t* p) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

// One line without its end, at most k_demo_line_max characters of it kept; false at the end of
// the file when nothing was left.
bool read_line(data_file* f, std::string* out) {
    out->clear();
    int c = data_file_get_char(f);
    if (c == k_data_file_end) return false;
    while (c != k_data_file_end && c != '\n') {
        if (out->size() < static_cast<size_t>(k_demo_line_max))
            out->push_back(static_cast<char>(c));
        c = data_file_get_char(f);
    }
    if (!out->empty() && out->back() == '\r') out->pop_back();
    return true;
}

// "bike|body|bike graphics|wheels|head": the last field keeps any further marks unchanged.
void split_descriptor(const std::string& line, demo_rider* rider) {
    size_t at = 0;
    for (int field = -1; field < k_descriptor_fields; field++) {
        size_t bar = field + 1 < k_descriptor_fields ? line.find('|', at) : std::string::npos;
        std::string part = line.substr(at, bar == std::string::npos ? std::string::npos : bar - at);
        if (field < 0)
            rider->bike = part;
        else
            rider->descriptor[field] = part;
        if (bar == std::string::npos) return;
        at = bar + 1;
    }
}
} // namespace

bool demo_header_read(data_file* f, demo_header* out, std::string* error) {
    *out = demo_header{};
    error->clear();
    std::string line;
    if (!read_line(f, &line)) {
        *error = "the file is empty";
        return false;
    }
    int v[5] = {0, 0, 0, 0, k_demo_default_gate_drop};
    int n = sscanf(line.c_str(), "QV%d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n < 3) {
        *error = "no demo header";
        return false;
    }
    if (v[0] < k_demo_oldest_version || v[0] > k_demo_version) {
        *error = "version " + std::to_string(v[0]) + " is not a version read";
        return false;
    }
    if (v[1] < 0 || v[1] > k_max_riders) {
        *error = std::to_string(v[1]) + " riders is not a rider count";
        return false;
    }
    out->version = v[0];
    out->finish_time = v[2];
    out->finish_laps = n >= 4 ? v[3] : 0;
    out->gate_drop_tic = n >= 5 ? v[4] : k_demo_default_gate_drop;
    if (!read_line(f, &out->track)) {
        *error = "the header ends before the track";
        return false;
    }
    for (int i = 0; i < v[1]; i++) {
        demo_rider rider;
        std::string descriptor;
        bool whole = read_line(f, &descriptor) && read_line(f, &rider.number) &&
                     (out->version < 6 || read_line(f, &rider.name));
        if (!whole) {
            *error = "the header ends inside rider block " + std::to_string(i);
            break;
        }
        // Older versions may hold further lines; the rider block ends at an empty line.
        for (std::string rest; read_line(f, &rest) && !rest.empty();) {
        }
        split_descriptor(descriptor, &rider);
        if (rider.number.size() > 3) rider.number.resize(3);
        out->riders.push_back(rider);
    }
    out->length = data_file_position(f);
    return true;
}

std::string demo_header_text(const char* text, bool descriptor_field) {
    std::string out = text ? text : "";
    for (char& c : out)
        if (c == '\n' || c == '\r' || (descriptor_field && c == '|')) c = ' ';
    return out;
}

bool demo_header_write(data_file* f, const demo_header& h) {
    bool ok = data_file_print(f, "QV%02d %d %d %d %d\n", k_demo_version,
                              static_cast<int>(h.riders.size()), h.finish_time, h.finish_laps,
                              h.gate_drop_tic);
    ok = ok && data_file_print(f, "%s\n", demo_header_text(h.track.c_str(), false).c_str());
    for (const demo_rider& r : h.riders) {
        std::string line = demo_header_text(r.bike.c_str(), true);
        for (const std::string& field : r.descriptor)
            line += "|" + demo_header_text(field.c_str(), true);
        ok = ok && data_file_print(f, "%s\n%s\n%s\n\n", line.c_str(),
                                   demo_header_text(r.number.c_str(), false).c_str(),
                                   demo_header_text(r.name.c_str(), false).c_str());
    }
    return ok;
}

int demo_record_size(int version) {
    return version == 4 ? k_demo_record_size_v4 : k_demo_record_size_v5;
}

void demo_block_head_pack(const demo_block_head& head, uint8_t out[k_demo_block_head_size]) {
    put32(out, head.stored_length);
    put32(out + 4, static_cast<uint32_t>(head.tic));
    out[8] = head.type;
}

demo_block_head demo_block_head_unpack(const uint8_t bytes[k_demo_block_head_size]) {
    demo_block_head head;
    head.stored_length = get32(bytes);
    head.tic = static_cast<int32_t>(get32(bytes + 4));
    head.type = bytes[8];
    return head;
}

void demo_entry_pack(const demo_entry& entry, uint8_t out[k_demo_entry_size]) {
    out[0] = static_cast<uint8_t>(entry.rider);
    put32(out + 1, static_cast<uint32_t>(entry.tic));
    memcpy(out + 5, entry.state.bytes, k_compact_state_size);
}

demo_entry demo_entry_unpack(const uint8_t bytes[k_demo_entry_size]) {
    demo_entry entry;
    entry.rider = bytes[0];
    entry.tic = static_cast<int32_t>(get32(bytes + 1));
    memcpy(entry.state.bytes, bytes + 5, k_compact_state_size);
    return entry;
}

bool demo_write_block(data_file* f, uint32_t* previous_length, int tic, int type,
                      const void* payload, uint32_t length) {
    uint8_t head[k_demo_block_head_size];
    demo_block_head_pack({length ^ *previous_length, tic, static_cast<uint8_t>(type)}, head);
    *previous_length = length;
    bool ok = data_file_write(f, head, sizeof head);
    ok = ok && (length == 0 || data_file_write(f, payload, length));
    return data_file_flush(f) && ok;
}

compact_state demo_record_widen(const compact_state& record, int version) {
    if (version != 4) return record;
    compact_state full{};
    memcpy(full.bytes, record.bytes, k_demo_v4_tail - 1);
    memcpy(full.bytes + k_demo_full_tail, record.bytes + k_demo_v4_tail, k_demo_tail_bytes);
    return full;
}
