// A temporary home folder and data folder for each test, and small file writers.
#pragma once

#include "files/gzip.h"

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

// A gzip file for bytes, with every optional header field when asked (extra field, name,
// comment, header CRC).
inline std::string make_gzip(const std::string& bytes, bool all_header_fields = false) {
    gzip_header_fields fields;
    fields.extra = std::string("ab\x02\0xy", 6);
    fields.name = "original.txt";
    fields.comment = "a comment";
    fields.header_crc = true;
    return gzip_bytes(bytes, all_header_fields ? &fields : nullptr);
}

// Text that compresses but is not trivially repetitive.
inline std::string sample_text(int lines) {
    std::string s;
    for (int i = 0; i < lines; i++)
        s += "line " + std::to_string(i) + " value " + std::to_string(i * 7919 % 1000) + "\n";
    return s;
}
