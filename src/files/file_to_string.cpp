// Reading a whole file by name through the folder list.
#include "files/files.h"

#include "platform/log.h"

#include <cstdio>

namespace {
constexpr long k_max_file_to_string = 16777216;

FILE* open_by_name(const char* name) {
    if (name[0] != '@') return fopen(name, "rb");
    for (int i = 0; i < folder_count(); i++)
        if (FILE* f = fopen((folder(i) + (name + 1)).c_str(), "rb")) return f;
    return nullptr;
}
}

bool file_to_string(const char* name, std::string* out) {
    FILE* f = open_by_name(name);
    if (!f) return false;
    out->clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) {
        out->append(buffer, n);
        if (static_cast<long>(out->size()) >= k_max_file_to_string) {
            log("File %s too long for file_to_string\n", name);
            fclose(f);
            out->clear();
            return false;
        }
    }
    fclose(f);
    return true;
}
