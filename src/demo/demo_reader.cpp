// The demo reader: blocks read as they fall due, every length checked against what the file
// gives before it is used, and the walk back along the chain of block lengths.
#include "demo/demo_reader.h"

#include "files/data_file.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <string>

namespace {
void report(const demo_sink& sink, uint64_t offset, const char* what) {
    if (sink.damage) sink.damage(sink.context, static_cast<uint32_t>(offset), what);
}

// A tic read from the file moved by the offset, kept inside the range of an int.
int shifted(int tic, int offset) {
    int64_t v = static_cast<int64_t>(tic) + offset;
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

bool read_exact(demo_reader& r, void* buffer, size_t count) {
    return data_file_read(r.file, buffer, count) == count;
}

// Reads and drops what is left of the current block; false when the file ends first.
bool skip_to_next_block(demo_reader& r) {
    uint64_t at = data_file_position(r.file);
    uint8_t scratch[1024];
    while (at < r.next_block) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof scratch, r.next_block - at));
        size_t got = data_file_read(r.file, scratch, want);
        at += got;
        if (got < want) return false;
    }
    return true;
}

// The head of the next block, read unless one is waiting; false at the end of the file.
bool next_head(demo_reader& r, const demo_sink& sink) {
    if (r.head_waiting) return true;
    if (r.ended) return false;
    uint8_t bytes[k_demo_block_head_size];
    size_t got = data_file_read(r.file, bytes, sizeof bytes);
    if (got < sizeof bytes) {
        if (got > 0) report(sink, r.next_block, "the block head is cut short");
        r.ended = true;
        return false;
    }
    r.head = demo_block_head_unpack(bytes);
    r.head_waiting = true;
    return true;
}

// Each block kind reads its payload; false when the file ended inside it.
bool play_states(demo_reader& r, uint32_t length, uint64_t at, const demo_sink& sink) {
    if (length % k_demo_entry_size != 0) {
        report(sink, at, "a block of states that is not a whole number of entries");
        return skip_to_next_block(r);
    }
    if (r.first_tic < 0) {
        r.first_tic = r.head.tic;
        r.tic_offset = sink.first_tic ? sink.first_tic(sink.context, r.head.tic) : 0;
    }
    bool stray_rider = false, stray_tic = false;
    for (uint32_t i = 0; i < length / k_demo_entry_size; i++) {
        uint8_t bytes[k_demo_entry_size];
        if (!read_exact(r, bytes, sizeof bytes)) return false;
        demo_entry e = demo_entry_unpack(bytes);
        if (e.rider >= static_cast<int>(r.header.riders.size())) {
            stray_rider = true;
            continue;
        }
        if (std::abs(static_cast<int64_t>(e.tic) - r.head.tic) > k_demo_tic_slack) {
            stray_tic = true;
            continue;
        }
        if (sink.state) sink.state(sink.context, e.rider, shifted(e.tic, r.tic_offset), e.state);
    }
    if (stray_rider) report(sink, at, "an entry names a rider the header does not have");
    if (stray_tic) report(sink, at, "an entry's tic lies far from its block's");
    return true;
}

bool play_message(demo_reader& r, uint32_t length, const demo_sink& sink) {
    char text[k_demo_message_max + 1];
    uint32_t shown = std::min<uint32_t>(length, k_demo_message_max);
    if (!read_exact(r, text, shown)) return false;
    text[shown] = 0;
    if (sink.message) sink.message(sink.context, text);
    return skip_to_next_block(r);
}

bool play_erode(demo_reader& r, uint32_t length, uint64_t at, const demo_sink& sink) {
    if (length > k_demo_erode_payload_max) {
        report(sink, at, "an erosion block too long to be one");
        return skip_to_next_block(r);
    }
    char text[k_demo_erode_payload_max + 1];
    if (!read_exact(r, text, length)) return false;
    text[length] = 0;
    int value = 0;
    if (sscanf(text, "erode %d", &value) != 1)
        report(sink, at, "an erosion block that does not read \"erode %d\"");
    else if (sink.erode)
        sink.erode(sink.context, value);
    return true;
}

bool play_terrain_edit(demo_reader& r, uint32_t length, uint64_t at, const demo_sink& sink) {
    if (length > k_demo_terrain_edit_max) {
        report(sink, at, "a terrain edit longer than any edit record");
        return skip_to_next_block(r);
    }
    uint8_t bytes[k_demo_terrain_edit_max];
    if (!read_exact(r, bytes, length)) return false;
    // A record of n path points: version 1 and 17 + 4 (n - 1) bytes.
    if (length < 17 || (length - 17) % 4 != 0 || bytes[0] != 1) {
        report(sink, at, "a terrain edit block that holds no edit record");
        return true;
    }
    // Walking back and reading again never applies an edit twice.
    if (at <= r.applied_edit) return true;
    r.applied_edit = at;
    if (sink.terrain_edit) sink.terrain_edit(sink.context, bytes, static_cast<int>(length));
    return true;
}

// Plays the waiting block and moves on to the next.
void play_block(demo_reader& r, const demo_sink& sink) {
    const uint64_t at = r.next_block;
    const uint32_t length = r.head.stored_length ^ r.previous_length;
    r.head_waiting = false;
    r.previous_length = length;
    r.next_block = at + k_demo_block_head_size + length;
    if (r.has_block_tic &&
        std::abs(static_cast<int64_t>(r.head.tic) - r.last_block_tic) > k_demo_tic_slack)
        report(sink, at, "the block's tic lies far from the one before it");
    r.has_block_tic = true;
    r.last_block_tic = r.head.tic;
    bool whole;
    switch (r.head.type) {
    case demo_block_states:
        whole = play_states(r, length, at, sink);
        break;
    case demo_block_message:
        whole = play_message(r, length, sink);
        break;
    case demo_block_erode:
        whole = play_erode(r, length, at, sink);
        break;
    case demo_block_terrain_edit:
        whole = play_terrain_edit(r, length, at, sink);
        break;
    default: {
        char what[64];
        snprintf(what, sizeof what, "unknown block type %d", r.head.type);
        report(sink, at, what);
        whole = skip_to_next_block(r);
        break;
    }
    }
    r.read_to = shifted(r.head.tic, r.tic_offset);
    if (!whole) {
        report(sink, at, "the block runs past the end of the file");
        r.ended = true;
    }
}

// Versions 4 and 5: one record per rider for the tic read up to; false when none could be read.
bool play_records(demo_reader& r, const demo_sink& sink) {
    const int size = demo_record_size(r.header.version);
    const int riders = static_cast<int>(r.header.riders.size());
    int read = 0;
    for (int rider = 0; rider < riders; rider++) {
        compact_state s{};
        r.rider_has_data[rider] = read_exact(r, s.bytes, static_cast<size_t>(size));
        if (!r.rider_has_data[rider]) continue;
        read++;
        if (sink.state) sink.state(sink.context, rider, r.read_to, s);
    }
    if (read > 0 && read < riders) report(sink, r.next_block, "the last record is cut short");
    if (read == 0) return false;
    r.next_block += static_cast<uint64_t>(size) * riders;
    r.read_to++;
    return read == riders;
}
} // namespace

bool demo_reader_open(demo_reader& r, const char* name, std::string* error) {
    demo_reader_close(r);
    r.file = data_file_open(name, "rb");
    if (!r.file) {
        *error = "can't open it";
        return false;
    }
    if (!demo_header_read(r.file, &r.header, &r.header_damage)) {
        *error = r.header_damage;
        demo_reader_close(r);
        return false;
    }
    r.next_block = r.header.length;
    // A header cut short has nothing after it.
    r.ended = !r.header_damage.empty();
    std::fill(std::begin(r.rider_has_data), std::end(r.rider_has_data), true);
    return true;
}

void demo_reader_close(demo_reader& r) {
    if (r.file) data_file_close(r.file);
    r = demo_reader{};
}

void demo_reader_tic(demo_reader& r, int clock, const demo_sink& sink) {
    if (!r.file) return;
    if (r.header.version < 6) {
        while (!r.ended && r.read_to <= static_cast<int64_t>(clock) + k_demo_record_look_ahead)
            if (!play_records(r, sink)) r.ended = true;
        return;
    }
    for (int n = 0; n < k_demo_blocks_per_tic && next_head(r, sink); n++) {
        // Until the first states arrive there is no offset to measure a block's tic by.
        if (r.first_tic >= 0 && static_cast<int64_t>(r.head.tic) + r.tic_offset >
                                    static_cast<int64_t>(clock) + k_demo_look_ahead)
            return;
        play_block(r, sink);
    }
}

void demo_reader_drain(demo_reader& r, const demo_sink& sink) {
    if (!r.file) return;
    while (!r.ended) {
        if (r.header.version < 6) {
            if (!play_records(r, sink)) r.ended = true;
        } else if (next_head(r, sink)) {
            play_block(r, sink);
        }
    }
}

bool demo_reader_rewind(demo_reader& r, int t) {
    if (!r.file) return false;
    t = std::max(t, 0);
    if (r.header.version < 6) {
        uint64_t at = r.header.length + static_cast<uint64_t>(t) * r.header.riders.size() *
                                            demo_record_size(r.header.version);
        if (at > UINT32_MAX || !data_file_seek(r.file, static_cast<uint32_t>(at))) return false;
        r.next_block = at;
        r.read_to = t;
        r.ended = false;
        return true;
    }
    const int64_t stop = std::max(t - k_demo_look_ahead, 0);
    uint64_t at = r.next_block;
    uint32_t previous = r.previous_length;
    // Each block's start is the next one's less its length and head; its stored length undoes
    // one link of the chain.
    while (at >= r.header.length + k_demo_block_head_size + static_cast<uint64_t>(previous)) {
        uint64_t start = at - previous - k_demo_block_head_size;
        uint8_t bytes[k_demo_block_head_size];
        if (start > UINT32_MAX || !data_file_seek(r.file, static_cast<uint32_t>(start)) ||
            !read_exact(r, bytes, sizeof bytes))
            break;
        demo_block_head head = demo_block_head_unpack(bytes);
        at = start;
        previous = head.stored_length ^ previous;
        if (static_cast<int64_t>(head.tic) + r.tic_offset <= stop || at == r.header.length) break;
    }
    if (at > UINT32_MAX || !data_file_seek(r.file, static_cast<uint32_t>(at))) return false;
    r.next_block = at;
    r.previous_length = previous;
    r.head_waiting = false;
    r.has_block_tic = false;
    r.ended = false;
    r.read_to = t;
    return true;
}
