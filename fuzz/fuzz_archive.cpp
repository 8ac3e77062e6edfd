// Fuzzes the ".saf" header reader: whatever the bytes, every member it accepts lies inside them.
#include "files/archive.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    std::vector<archive_member> members;
    if (archive_read_header(file, size, "fuzz", &members)) {
        for (const archive_member& m : members) {
            if (static_cast<uint64_t>(m.offset) + m.size > size) abort();
            if (m.name.empty() || m.name.find("//") != std::string::npos) abort();
        }
    }
    fclose(file);
    return 0;
}
