// The ".saf" archive: a text header of "size name" lines ending in "-", then the members' bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One member as the header lists it, placed where its bytes lie inside the archive.
struct archive_member {
    std::string name; // "/" separators, runs of "/" collapsed
    uint32_t offset;  // bytes from the archive's start
    uint32_t size;    // bytes
};

// The longest header line, newline included, that fits the 1024-byte line buffer.
constexpr int k_archive_line_max = 1023;

// Reads the header from the start of an open archive of archive_size bytes. False (with a log
// line naming label) when the header is malformed; members whose bytes would run past the end
// of the archive are left out with a log line.
bool archive_read_header(FILE* file, uint64_t archive_size, const char* label,
                         std::vector<archive_member>* members);

// The header line for one member, as the reader expects it.
std::string archive_header_line(uint32_t size, const std::string& name);
