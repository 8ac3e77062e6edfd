// File writing for the generator.
#include "forge.h"

#include <cstdio>
#include <sys/stat.h>

void forge_make_folders(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
}

bool forge_write_file(const std::string& path, const std::string& bytes) {
    if (FILE* old = fopen(path.c_str(), "rb")) {
        std::string current;
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, old)) > 0) current.append(buffer, n);
        fclose(old);
        if (current == bytes) return true;
    }
    forge_make_folders(path);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "forge: can't write %s\n", path.c_str());
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}
