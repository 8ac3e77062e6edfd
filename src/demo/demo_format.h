// The demo file: its header and rider blocks, the 9-byte block head and the 44-byte state entry.
#pragma once

#include "bike/bike.h"
#include "common/common.h"
#include "race/race.h"

#include <cstdint>
#include <string>
#include <vector>

struct data_file;

constexpr int k_demo_version = 6;              // the version written
constexpr int k_demo_oldest_version = 4;       // the oldest version read
constexpr int k_demo_default_gate_drop = 1792; // tics, 14 s, when a header has none
constexpr int k_demo_block_head_size = 9;
constexpr int k_demo_entry_size = 5 + k_compact_state_size; // rider index, tic, state
constexpr int k_demo_message_max = 1023;                    // characters shown of a message
constexpr int k_demo_line_max = 1023;                       // characters kept of a header line
// Versions 4 and 5 hold one record per rider and tic instead of blocks.
constexpr int k_demo_record_size_v4 = 26;
constexpr int k_demo_record_size_v5 = k_compact_state_size;
// The short version-4 record keeps the full form's last five bytes (wheels, drive, engine) here.
constexpr int k_demo_v4_tail = 21;
constexpr int k_demo_full_tail = 34;
constexpr int k_demo_tail_bytes = 5;

enum demo_block_type : uint8_t {
    demo_block_states = 1,       // 44-byte entries
    demo_block_message = 2,      // a message from the server
    demo_block_erode = 3,        // "erode %d"
    demo_block_terrain_edit = 5, // a terrain edit record as the server sent it
};

// One rider block of the header.
struct demo_rider {
    std::string bike;                            // catalogue name
    std::string descriptor[k_descriptor_fields]; // the four further descriptor fields
    std::string number;                          // at most 3 characters
    std::string name;                            // empty in versions 4 and 5
};

struct demo_header {
    int version = k_demo_version;
    int finish_time = 0; // tics, the timed part of the race
    int finish_laps = 0;
    int gate_drop_tic = k_demo_default_gate_drop;
    std::string track; // folder of the track
    std::vector<demo_rider> riders;
    uint32_t length = 0; // bytes up to the first block (or record)
};

// Reads the header and the rider blocks; false (with the reason in `error`) when the file is
// not a demo. A header that ends inside its rider blocks keeps the riders read whole and says
// where it ended in `error` while still returning true.
bool demo_header_read(data_file* f, demo_header* out, std::string* error);
// Writes the version-6 header and rider blocks; false when a write failed.
bool demo_header_write(data_file* f, const demo_header& header);
// A descriptor field, number or name as one line of the header: no line breaks, no field marks.
std::string demo_header_text(const char* text, bool descriptor_field);

// The bytes of one state record in a file of the given version.
int demo_record_size(int version);

struct demo_block_head {
    uint32_t stored_length = 0; // the payload length XOR the previous block's
    int32_t tic = 0;
    uint8_t type = 0;
};
void demo_block_head_pack(const demo_block_head& head, uint8_t out[k_demo_block_head_size]);
demo_block_head demo_block_head_unpack(const uint8_t bytes[k_demo_block_head_size]);

// One state of a type-1 block.
struct demo_entry {
    int rider = 0; // index of the rider block, from 0
    int32_t tic = 0;
    compact_state state{};
};
void demo_entry_pack(const demo_entry& entry, uint8_t out[k_demo_entry_size]);
demo_entry demo_entry_unpack(const uint8_t bytes[k_demo_entry_size]);

// Writes one block (head and payload) and flushes it; `previous_length` is the last block's
// payload length and becomes this one's. False when a write failed.
bool demo_write_block(data_file* f, uint32_t* previous_length, int tic, int type,
                      const void* payload, uint32_t length);

// A version-4 record widened to the full form's layout (the rider's own offset and orientation
// stay zero: the short form has none).
compact_state demo_record_widen(const compact_state& record, int version);
