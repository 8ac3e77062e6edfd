// Reading a whole file by name into one string.
#include "files/data_file.h"
#include "files/files.h"

#include "platform/log.h"

namespace {
constexpr size_t k_max_file_to_string = 16777216; // bytes; this size and above is refused
}

bool file_to_string(const char* name, std::string* out) {
    out->clear();
    data_file* f = data_file_open(name, "rb");
    if (!f) return false;
    char buffer[65536];
    size_t n;
    while ((n = data_file_read(f, buffer, sizeof buffer)) > 0) {
        out->append(buffer, n);
        if (out->size() >= k_max_file_to_string) {
            log("File %s too long for file_to_string\n", name);
            data_file_close(f);
            out->clear();
            return false;
        }
    }
    data_file_close(f);
    return true;
}
