// A temporary home folder and data folder for each test, and small file writers.
#pragma once

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

struct FilesTest : TempDataTest {

    // Everything a stream delivers, one byte at a time.
    static std::string drain(data_file* f) {
        std::string out;
        for (int c; (c = data_file_get_char(f)) != k_data_file_end;) out += static_cast<char>(c);
        return out;
    }
    // The content of a name, or "<none>" when it does not open.
    static std::string content(const char* name) {
        data_file* f = data_file_open(name, "rb");
        if (!f) return "<none>";
        std::string out = drain(f);
        data_file_close(f);
        return out;
    }
};

// An archive written the way the format describes it, independently of our writers.
inline std::string make_archive(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string header, body;
    for (const auto& [name, bytes] : members) {
        header += std::to_string(bytes.size()) + " " + name + "\n";
        body += bytes;
    }
    return header + "-\n" + body;
}

// A gzip file for bytes, with optional header fields (extra field, name, comment, header CRC).
inline std::string make_gzip(const std::string& bytes, bool all_header_fields = false) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    gz_header h{};
    static unsigned char extra[] = {'a', 'b', 2, 0, 'x', 'y'};
    static char name[] = "original.txt";
    static char comment[] = "a comment";
    if (all_header_fields) {
        h.extra = extra;
        h.extra_len = sizeof extra;
        h.name = reinterpret_cast<Bytef*>(name);
        h.comment = reinterpret_cast<Bytef*>(comment);
        h.hcrc = 1;
        deflateSetHeader(&z, &h);
    }
    std::string out(deflateBound(&z, bytes.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Text that compresses but is not trivially repetitive.
inline std::string sample_text(int lines) {
    std::string s;
    for (int i = 0; i < lines; i++)
        s += "line " + std::to_string(i) + " value " + std::to_string(i * 7919 % 1000) + "\n";
    return s;
}
