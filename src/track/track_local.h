// Loaders of the track's other files, called by the track load in its order, and what the track's
// own files share.
#pragma once

#include "common/file_problems.h"
#include "track/track_view.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

// The track's lighting, sky and flares ("lighting").
void lighting_load(const char* folder);
// Trackside cameras ("cameras").
void cameras_load(const char* folder);
// Billboards reserved for run-time use, flaggers, billboards and statues of the track.
void objects_reserve_billboards(int count);
void flaggers_load(const char* folder);
bool billboards_load(const char* folder);
bool statues_load(const char* folder);
// The distinct collision shape files of the statues, in statue order.
void statue_shape_files(std::string* names, int* count, int room);
// Decals on the ground ("decals").
void decals_load(const char* folder);
// Each kind of object's table back to empty.
void billboards_clear();
void statues_clear();
void flaggers_clear();
void decals_clear();

// What the track's own files write of its flares and cards.
flare& flare_own(int index);
billboard& billboard_own(int index);
struct statue;
statue& statue_own(int index);

// The flaggers' mark on a gate: a rider is down before it.
void gate_set_rider_down(int gate, bool down);

// The ground's height under a point, 0 when no ground is loaded.
float object_ground_height(float x, float z);
// Writes an objects file into the track folder; false (and the console message "Can't open
// '<name>'") when it can't be written.
bool objects_file_write(const char* folder, const char* name, const std::string& text);

// A text read entry by entry with scanf patterns, the way a stream would be: each pattern ends
// in "%n" so the reader moves past exactly what it matched. Patterns see a window of the text
// at the cursor, long enough for any entry of three 1023-character words.
struct text_scanner {
    static constexpr size_t k_window = 8192;
    const char* begin;
    const char* at;
    const char* end;
    const char* last; // where the latest entry's match began
    char window[k_window + 1];

    text_scanner(const std::string& text)
        : begin(text.data()), at(text.data()), end(text.data() + text.size()), last(at) {}
    // The text from the cursor, cut at the window's length and terminated.
    const char* view() {
        size_t n = std::min(static_cast<size_t>(end - at), k_window);
        memcpy(window, at, n);
        window[n] = 0;
        return window;
    }
    // Moves past what a pattern matched; false when it did not reach its "%n".
    bool advance(int used) {
        if (used < 0) return false;
        last = at;
        last_line = line;
        for (int k = 0; k < used; k++) line += at[k] == '\n';
        at += used;
        entries++;
        return true;
    }
    // The line of the latest entry: where its first word is.
    int entry_line() const {
        int n = last_line;
        for (const char* p = last; p < at && isspace(static_cast<unsigned char>(*p)); p++)
            n += *p == '\n';
        return n;
    }
    int entries = 0;   // patterns matched so far
    int line = 1;      // of the cursor
    int last_line = 1; // of `last`
};
// Reading an objects file stops at the first entry that does not match; when something other
// than blank space is left there, the log says which entry of which file was not read.
void objects_read_stopped(const char* file, const text_scanner& in);
