// Writing gzip files: the form ".gz" members and files are stored in.
#pragma once

#include <string>

// The optional fields of a gzip header; an empty one is left out of the header.
struct gzip_header_fields {
    std::string extra;       // the extra field's bytes
    std::string name;        // the original file name
    std::string comment;     // a comment for people
    bool header_crc = false; // a CRC of the header after it
};

// A whole gzip file for the bytes (zlib's best compression, the CRC and length trailer), with
// the header fields when given; "" when zlib fails.
std::string gzip_bytes(const std::string& bytes, const gzip_header_fields* fields = nullptr);
