// Reading the header of a ".saf" archive, with every size checked against the archive itself.
#include "files/archive.h"

#include "platform/log.h"

namespace {
// One header line into line (NUL-terminated); its length with the newline, or -1 when no
// newline comes within the line buffer, the file ends first, or the line holds a NUL byte.
int read_header_line(FILE* file, char* line) {
    int length = 0;
    while (length < k_archive_line_max) {
        int c = getc_unlocked(file);
        if (c == EOF || c == 0) return -1;
        line[length++] = static_cast<char>(c);
        if (c == '\n') {
            line[length] = 0;
            return length;
        }
    }
    return -1;
}

std::string collapse_slashes(const char* begin, const char* end) {
    std::string out;
    out.reserve(static_cast<size_t>(end - begin));
    for (const char* p = begin; p < end; p++) {
        if (*p == '/' && !out.empty() && out.back() == '/') continue;
        out += *p;
    }
    return out;
}

struct listed_member {
    std::string name;
    uint64_t size; // bytes, saturated far above any real archive
};
} // namespace

bool archive_read_header(FILE* file, uint64_t archive_size, const char* label,
                         std::vector<archive_member>* members) {
    members->clear();
    std::vector<listed_member> listed;
    uint64_t header_size = 0; // bytes
    char line[k_archive_line_max + 1];
    for (;;) {
        int length = read_header_line(file, line);
        if (length < 0) {
            log("Archive %s: header line unreadable or too long\n", label);
            return false;
        }
        header_size += static_cast<uint64_t>(length);
        if (length == 2 && line[0] == '-') break;
        if (line[0] < '0' || line[0] > '9') {
            log("Archive %s: header line does not start with a size\n", label);
            return false;
        }
        const char* p = line;
        uint64_t size = 0;
        for (; *p >= '0' && *p <= '9'; p++)
            if (size < (1ull << 40)) size = size * 10 + static_cast<uint64_t>(*p - '0');
        // One separator character, then a name of at least one character before the newline.
        const char* name = p + 1;
        const char* end = line + length - 1;
        if (*p == '\n' || name >= end) {
            log("Archive %s: header line without a member name\n", label);
            return false;
        }
        listed.push_back({collapse_slashes(name, end), size});
    }
    uint64_t offset = header_size;
    int refused = 0;
    for (const listed_member& m : listed) {
        uint64_t end = offset + m.size;
        if (end > archive_size || end > UINT32_MAX) {
            if (refused++ == 0)
                log("Archive %s: member %s runs past the end of the archive\n", label,
                    m.name.c_str());
        } else {
            members->push_back(
                {m.name, static_cast<uint32_t>(offset), static_cast<uint32_t>(m.size)});
        }
        // Past the end every later member is refused too; clamping keeps the sum from wrapping.
        offset = end > archive_size ? archive_size + 1 : end;
    }
    if (refused > 1) log("Archive %s: %d members left out\n", label, refused);
    return true;
}

std::string archive_header_line(uint32_t size, const std::string& name) {
    return std::to_string(size) + " " + name + "\n";
}
