// The allocation functions of the whole system, with the optional allocation checker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

void* checked_alloc(size_t size);
void* checked_calloc(size_t count, size_t size);
void* checked_realloc(void* block, size_t size);
void checked_free(void* block);
// Writes "%p:%d" (address, serial) for every checked allocation still live.
void report_allocations(FILE* out = stderr);
// Forgets the checker's decision so the next allocation reads QV_CHECK_ALLOC again.
void memory_checks_reset();
bool memory_checks_on();
int memory_checked_count();

// The one out-of-memory path: close the sound, destroy the window, say so, exit with status 1.
[[noreturn]] void out_of_memory();
// Called first on that path, so whoever holds the sound device can close it.
void set_out_of_memory_hook(void (*hook)());

// The working-set hint after a track load; the range for a given physical memory size.
void set_working_set();
bool working_set_range(uint64_t physical_bytes, uint32_t* minimum, uint32_t* maximum);
