// Allocation checking (QV_CHECK_ALLOC), the out-of-memory path and the working-set hint.
#include "platform/memory.h"

#include "platform/log.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>
#include <sys/sysinfo.h>

namespace {
constexpr size_t k_max_checked = 1048576;

struct allocation_record {
    size_t size;
    int serial;
};

struct memory_state {
    bool decided = false;
    bool checking = false;
    int next_serial = 0;
    // Live blocks are unique by address, so a map finds "the newest record" directly.
    std::unordered_map<void*, allocation_record> live;
    void (*hook)() = nullptr;
};
memory_state g_memory;

bool checking() {
    if (!g_memory.decided) {
        g_memory.decided = true;
        const char* env = getenv("QV_CHECK_ALLOC");
        g_memory.checking = env && atoi(env) > 0;
    }
    return g_memory.checking;
}

void record(void* block, size_t size) {
    if (g_memory.live.size() >= k_max_checked) {
        fprintf(stderr, "Too many allocations to check!\n");
        g_memory.checking = false;
        g_memory.live.clear();
        return;
    }
    g_memory.live[block] = allocation_record{size, g_memory.next_serial++};
}

// Removes a block's record; false (and a report) when it was never recorded.
bool forget(void* block, bool wipe) {
    auto found = g_memory.live.find(block);
    if (found == g_memory.live.end()) {
        fprintf(stderr, "Allocation not found for %p!\n", block);
        return false;
    }
    if (wipe) memset(block, 0, found->second.size);
    g_memory.live.erase(found);
    return true;
}
} // namespace

void* checked_alloc(size_t size) {
    void* block = malloc(size ? size : 1);
    if (!block) out_of_memory();
    if (checking()) record(block, size);
    return block;
}

void* checked_calloc(size_t count, size_t size) {
    void* block = calloc(count ? count : 1, size ? size : 1);
    if (!block) out_of_memory();
    if (checking()) record(block, count * size);
    return block;
}

void* checked_realloc(void* block, size_t size) {
    if (!block) return checked_alloc(size);
    // A block the checker never saw is reported but still moved: the caller keeps its data.
    if (checking()) forget(block, false);
    void* moved = realloc(block, size ? size : 1);
    if (!moved) out_of_memory();
    if (checking()) record(moved, size);
    return moved;
}

void checked_free(void* block) {
    if (!block) return;
    if (checking() && !forget(block, true)) return;
    free(block);
}

void report_allocations(FILE* out) {
    if (!g_memory.checking) return;
    std::vector<std::pair<int, void*>> left;
    for (const auto& [block, rec] : g_memory.live) left.emplace_back(rec.serial, block);
    std::sort(left.begin(), left.end());
    for (const auto& [serial, block] : left) fprintf(out, "%p:%d\n", block, serial);
}

void memory_checks_reset() {
    void (*hook)() = g_memory.hook;
    g_memory = memory_state{};
    g_memory.hook = hook;
}

bool memory_checks_on() { return checking(); }
int memory_checked_count() { return static_cast<int>(g_memory.live.size()); }

void set_out_of_memory_hook(void (*hook)()) { g_memory.hook = hook; }

void out_of_memory() {
    if (g_memory.hook) g_memory.hook();
    platform().destroy_window();
    platform().message_box("Error", "Out of virtual memory");
    _Exit(1);
}

bool working_set_range(uint64_t physical_bytes, uint32_t* minimum, uint32_t* maximum) {
    constexpr uint64_t mb = 1024 * 1024;
    if (physical_bytes < 64 * mb) return false;
    uint64_t top = std::min<uint64_t>(physical_bytes, 2048 * mb) - 32 * mb;
    *maximum = static_cast<uint32_t>(top);
    *minimum = static_cast<uint32_t>(std::min<uint64_t>(1024 * mb, top));
    return true;
}

void set_working_set() {
    struct sysinfo info;
    uint64_t physical = 0;
    if (sysinfo(&info) == 0) physical = static_cast<uint64_t>(info.totalram) * info.mem_unit;
    uint32_t minimum = 0, maximum = 0;
    if (!working_set_range(physical, &minimum, &maximum)) {
        log("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    log("Setting working set range to %u - %u\n", minimum, maximum);
    // Linux keeps a process's pages resident on its own; there is no range to ask for.
    log("Working set successfully updated\n");
}
