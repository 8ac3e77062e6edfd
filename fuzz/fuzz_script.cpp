// Fuzzes the track script context: random program texts evaluated and their handlers called,
// against an empty race; every one must end within its budgets and leave nothing behind.
#include "common/message.h"
#include "platform/log.h"
#include "track/track_script.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Errors are the expected output here; writing them to a log file would only slow runs.
    static bool quiet = (log_close(), true);
    (void)quiet;
    const std::string source(reinterpret_cast<const char*>(data), size);
    track_script_load_text(source, "frills.js", nullptr);
    for (int tic = 0; tic < 3; tic++) {
        track_script_tic_handler(tic);
        track_script_frame_handler(tic);
    }
    const char* path[] = {"qv.get_running_order", "qv.lap_to_index", "qv.index_to_lap"};
    const char* args[] = {"3", "x"};
    for (const char* p : path) track_script_call(p, args, 2);
    // A call is stopped at most one instruction past its budget, and no instruction's engine work
    // counts more than a step for each byte a script may hold.
    if (track_script_last_checks() > k_script_budget_checks + k_script_memory_limit / 256)
        __builtin_trap();
    if (track_script_memory() > k_script_memory_limit) __builtin_trap();
    track_script_unload();
    if (track_script_memory() != 0) __builtin_trap();
    messages_clear();
    return 0;
}
