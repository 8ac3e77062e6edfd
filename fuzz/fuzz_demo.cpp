// Fuzzes the demo reader: the header, every block kind and the old per-tic records, read as a
// playing race reads them (clock steps, a walk back) and all at once as the tool reads them.
// Nothing is read past the file, every state names a rider of the header, and a header read
// and written again reads the same.
#include "demo/demo_reader.h"
#include "files/data_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
std::string temp_path(const char* what) {
    return std::string("/tmp/fuzz_demo_") + what + "_" + std::to_string(getpid());
}

void write_file(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}

struct watch {
    size_t riders = 0;
    size_t size = 0;
    int states = 0;
};

void on_state(void* c, int rider, int, const compact_state&) {
    watch& w = *static_cast<watch*>(c);
    if (rider < 0 || static_cast<size_t>(rider) >= w.riders) __builtin_trap();
    w.states++;
}

void on_message(void*, const char* text) {
    if (__builtin_strlen(text) > k_demo_message_max) __builtin_trap();
}

void on_edit(void*, const uint8_t*, int size) {
    if (size < 17 || size > k_demo_terrain_edit_max) __builtin_trap();
}

void on_damage(void* c, uint32_t offset, const char*) {
    if (offset > static_cast<watch*>(c)->size) __builtin_trap();
}

int on_first_tic(void*, int tic) { return 1000 - tic / 2; }

demo_sink sink_for(watch& w) {
    return {.context = &w,
            .state = on_state,
            .message = on_message,
            .terrain_edit = on_edit,
            .first_tic = on_first_tic,
            .damage = on_damage};
}

void stays_inside(demo_reader& r, size_t size) {
    if (r.file && data_file_position(r.file) > size) __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = temp_path("in");
    write_file(path, data, size);
    demo_reader r;
    std::string error;
    if (!demo_reader_open(r, path.c_str(), &error)) return 0;
    watch w;
    w.riders = r.header.riders.size();
    w.size = size;
    demo_sink sink = sink_for(w);
    // As a race reads it: the clock moving in uneven steps, then a second back, then on. Old
    // formats jump straight to a tic's record, which may lie past the end: nothing is read there.
    int clock = -200;
    bool jumped = false;
    for (int step = 0; step < 64; step++) {
        demo_reader_tic(r, clock, sink);
        if (!jumped) stays_inside(r, size);
        clock += 1 + (step * 37) % 300;
        if (step == 40) {
            demo_reader_rewind(r, clock - 128);
            jumped = r.header.version < 6;
        }
    }
    demo_reader_drain(r, sink);
    if (!jumped) stays_inside(r, size);

    // The header as read, written and read again, holds the same riders and race (a line break
    // inside a text becomes a space).
    const std::string again = temp_path("again");
    data_file* out = data_file_open(again.c_str(), "wb");
    if (!out) abort();
    demo_header h = r.header;
    demo_header_write(out, h);
    data_file_close(out);
    demo_reader_close(r);
    demo_reader second;
    if (!demo_reader_open(second, again.c_str(), &error)) __builtin_trap();
    if (second.header.riders.size() != h.riders.size() ||
        second.header.track != demo_header_text(h.track.c_str(), false) ||
        second.header.finish_time != h.finish_time ||
        second.header.gate_drop_tic != h.gate_drop_tic)
        __builtin_trap();
    demo_reader_close(second);
    return 0;
}
