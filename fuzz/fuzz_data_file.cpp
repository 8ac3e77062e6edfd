// Fuzzes data_file streams: gzip, scrambled and plain members read every way, never past the
// member, and a truncated compressed member yields a prefix of its text.
#include "files/data_file.h"
#include "files/gzip.h"
#include "files/scramble.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
std::string temp_path() {
    static std::string path = "/tmp/fuzz_data_file_" + std::to_string(getpid());
    return path;
}

void write_file(const std::string& bytes) {
    FILE* f = fopen(temp_path().c_str(), "wb");
    if (!f) abort();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Reads the whole stream with a mix of operations chosen by the seed. With the top bit of the
// seed set the mix includes formatted reading and the result is not the exact bytes.
std::string read_all(data_file* f, uint8_t seed, bool* exact) {
    std::string out;
    *exact = !(seed & 0x80);
    char buffer[5000];
    for (int round = 0; round < 1000000; round++) {
        size_t before = out.size();
        int op = *exact ? (seed + round) % 3 : (seed + round) & 3;
        if (round >= 1000) op = 1; // a large stream is finished in big reads
        switch (op) {
        case 0: {
            int c = data_file_get_char(f);
            if (c != k_data_file_end) out += static_cast<char>(c);
            break;
        }
        case 1: {
            size_t n = data_file_read(f, buffer, 1 + (seed * 37 + round) % sizeof buffer);
            out.append(buffer, n);
            break;
        }
        case 2: {
            // A line may hold NUL bytes, so its length comes from the position, not strlen.
            uint32_t at = data_file_position(f);
            if (char* line = data_file_read_line(f, buffer, 2 + (seed + round) % 200))
                out.append(line, data_file_position(f) - at);
            break;
        }
        default: {
            int i;
            float x;
            char word[32];
            int n = -1;
            data_file_skip_comments(f);
            data_file_scan(f, "%d %f %31s %4999[^\n]%n", &i, &x, word, buffer, &n);
            data_file_read_int(f);
            data_file_get_char(f);
            break;
        }
        }
        if (out.size() == before && data_file_peek_char(f) == k_data_file_end) return out;
    }
    abort(); // a stream that never ends
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint8_t mode = data[0] % 6;
    uint8_t seed = data[1];
    std::string payload(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::string stored;
    file_form form = file_form::plain;
    std::string expected; // for the exact forms
    bool prefix_only = false;
    switch (mode) {
    case 0:
        stored = payload;
        expected = payload;
        break;
    case 1:
        stored = payload;
        form = file_form::gzip;
        break;
    case 2: {
        stored = std::string(reinterpret_cast<const char*>(k_scramble_mark), k_scramble_mark_size) +
                 payload;
        expected = payload;
        scramble_stream s;
        scramble_start(&s);
        scramble_apply(&s, reinterpret_cast<uint8_t*>(expected.data()), expected.size());
        form = file_form::scrambled;
        break;
    }
    case 3:
        stored = std::string(reinterpret_cast<const char*>(k_scramble_mark), k_scramble_mark_size) +
                 payload;
        form = file_form::gzip_scrambled;
        break;
    case 4:
        // A valid gzip header, then the payload as raw deflate data.
        stored = std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + payload;
        form = file_form::gzip;
        break;
    default: {
        std::string whole = gzip_bytes(payload);
        stored = whole.substr(0, whole.size() * seed / 255);
        expected = payload;
        prefix_only = true;
        form = file_form::gzip;
        break;
    }
    }
    // Bytes after the member that a reader must never see.
    std::string sentinel(64, '\xEE');
    if (mode == 5) sentinel = gzip_bytes(payload).substr(stored.size()) + sentinel;
    write_file(stored + sentinel);
    data_file* f = data_file_open_stored(temp_path(), 0, stored.size(), form, "fuzz");
    if (!f) return 0;
    bool exact = false;
    std::string got = read_all(f, seed, &exact);
    if (data_file_bytes_taken(f) > stored.size()) abort();
    data_file_close(f);
    if (exact && (mode == 0 || mode == 2) && got != expected) abort();
    if (exact && prefix_only && expected.compare(0, got.size(), got) != 0) abort();
    if (exact && prefix_only && got.size() > expected.size()) abort();
    return 0;
}
