// Fuzzes the ".braap" reader and the sound table reader with the same bytes, then synthesises a
// frame from what they made: every list stays in its bounds and the output stays in its range.
#include "sound/engine_voice.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
void check_voice(engine_voice& v) {
    if (v.bias_count < 1 || v.bias_count > k_variation_max) __builtin_trap();
    if (v.scale_count < 1 || v.scale_count > k_variation_max) __builtin_trap();
    for (int t = 0; t < k_pipe_taps; t++)
        if (v.pipe_delays[t] < 1 || v.pipe_delays[t] > k_voice_ring_size ||
            !std::isfinite(v.pipe_gains[t]))
            __builtin_trap();
    uint8_t out[k_voice_max_block];
    int first = 0;
    for (float rpm : {0.0f, 3000.0f, 15000.0f, 1e9f}) {
        int made =
            voice_synthesise(v, (v.write_cursor + 9000) % k_voice_ring_size, rpm, 10, out, &first);
        if (made < 0 || made > k_voice_max_block) __builtin_trap();
        for (float s : v.ring)
            if (!(s >= -16 && s <= 16)) __builtin_trap();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    engine_voice v;
    voice_from_template(v, "250f");
    voice_apply_braap(v, text, size, "fuzz.braap");
    check_voice(v);

    // The same bytes as a sound table file.
    std::string path = "/tmp/fuzz_braap_table_" + std::to_string(getpid());
    if (FILE* f = fopen(path.c_str(), "wb")) {
        fwrite(data, 1, size, f);
        fclose(f);
        int table = sound_table_load(path.c_str());
        if (table >= 0) {
            const sound_table& t = sound_table_at(table);
            for (const sound_cell& c : t.cells)
                for (int m : c.remap)
                    if (m < 0 || m >= c.period) __builtin_trap();
            engine_voice w;
            voice_from_template(w, "125");
            w.table = table;
            check_voice(w);
        }
        remove(path.c_str());
    }
    sound_tables_free();
    return 0;
}
