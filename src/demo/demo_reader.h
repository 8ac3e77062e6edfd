// Reading a demo's blocks (version 6) or per-tic records (versions 4 and 5) as the clock moves,
// handing what it reads to a table of receivers. The game's playback, the demo tool and the
// fuzzer share it.
#pragma once

#include "demo/demo_format.h"

#include <cstdint>

// Where the reader's findings go; any entry may be null.
struct demo_sink {
    void* context = nullptr;
    // A rider's snapshot at a tic (the tic offset already added).
    void (*state)(void* context, int rider, int tic, const compact_state& state) = nullptr;
    void (*message)(void* context, const char* text) = nullptr;
    void (*erode)(void* context, int value) = nullptr;
    void (*terrain_edit)(void* context, const uint8_t* bytes, int size) = nullptr;
    // The first block of states, at `tic`: returns the tic offset to add to every tic read.
    int (*first_tic)(void* context, int tic) = nullptr;
    // A damaged place: the file offset of the block (or record) and what is wrong.
    void (*damage)(void* context, uint32_t offset, const char* what) = nullptr;
};

constexpr int k_demo_blocks_per_tic = 128;
constexpr int k_demo_look_ahead = 64;        // tics of blocks read ahead of the clock
constexpr int k_demo_record_look_ahead = 8;  // tics of records read ahead (versions 4 and 5)
constexpr int k_demo_erode_payload_max = 64; // bytes of an "erode %d" block
// No block's tic lies further than this from the one before it, nor an entry's from its block's:
// a recording writes a block every 16 tics. Tics further off are damage.
constexpr int64_t k_demo_tic_slack = 1 << 20;
// The largest terrain edit record: 64 path points.
constexpr int k_demo_terrain_edit_max = 17 + 4 * 63;

struct demo_reader {
    data_file* file = nullptr;
    demo_header header;
    std::string header_damage; // what ended the header early, empty when it is whole
    uint64_t next_block = 0;   // file offset of the next block (or record)
    uint32_t previous_length = 0;
    int first_tic = -1; // tic of the first block of states, -1 before it
    int tic_offset = 0;
    int read_to = 0;           // the tic up to which blocks (records) have been read
    uint64_t applied_edit = 0; // the highest offset whose terrain edit was applied
    bool ended = false;        // the file has nothing more to give
    bool has_block_tic = false;
    int last_block_tic = 0; // the tic of the block read before
    // The head of the next block, read but not yet due.
    bool head_waiting = false;
    demo_block_head head;
    // Versions 4 and 5: whether each rider's last record could be read.
    bool rider_has_data[k_max_riders] = {};
};

// Opens a file (a data-file name or a path) and reads its header; false when it is missing or
// not a demo, with the reason in `error`.
bool demo_reader_open(demo_reader& r, const char* name, std::string* error);
void demo_reader_close(demo_reader& r);
// Reads what is due by `clock`: blocks up to 64 tics ahead (at most 128 of them), or records up
// to 8 tics ahead.
void demo_reader_tic(demo_reader& r, int clock, const demo_sink& sink);
// Reads the whole rest of the file, whatever its tics.
void demo_reader_drain(demo_reader& r, const demo_sink& sink);
// Moves the reader back (or forward) so that reading goes on from tic t: version 6 walks back
// block by block to one at least 64 tics before t; versions 4 and 5 jump to the record of t.
// False when the file cannot be positioned.
bool demo_reader_rewind(demo_reader& r, int t);
