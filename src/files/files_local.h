// What only the files folder's own sources share: index entries and the inside of a data_file.
#pragma once

#include "files/data_file.h"
#include "files/scramble.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <zlib.h>

// One file found in a folder or inside an archive.
struct index_entry {
    std::string path; // file system path of the plain file or the archive holding the data
    std::string name; // relative to its folder or as the archive lists it, "/" separators
    uint32_t offset;  // bytes from the start of path
    uint32_t size;    // bytes
    int priority;     // folder position, or the archive's number after the folders; lower wins
};

// The entry with that name (case ignored) and the lowest priority; nullptr when there is none
// or the index has not been built.
const index_entry* index_find(const std::string& name);

// Forgets the index (its priorities name positions in the folder list, so it goes with it).
void index_free();

constexpr uint64_t k_unlimited = UINT64_MAX;
constexpr size_t k_gzip_input_size = 16384;    // bytes of compressed input read at a time
constexpr size_t k_decoded_window_size = 1024; // bytes of decoded output served from

// The gzip and descrambling stages of a stream that has either.
struct decode_stage {
    bool gzip = false;
    bool scrambled = false;
    bool inflating = false; // the inflate state is initialised and must be ended
    bool ended = false;     // no more decoded bytes will come
    z_stream inflate_state{};
    scramble_stream scramble{};
    uint8_t input[k_gzip_input_size];      // compressed bytes (gzip only)
    uint8_t window[k_decoded_window_size]; // decoded bytes not yet delivered
    size_t window_at = 0;                  // next byte of window to deliver
    size_t window_end = 0;                 // bytes held in window
};

struct data_file {
    FILE* file = nullptr;
    std::string label;            // the name it was opened with, for log lines
    uint64_t base = 0;            // offset of the data inside the file, bytes
    uint64_t limit = k_unlimited; // stored bytes that may be read, bytes
    uint64_t taken = 0;           // stored bytes read from the file so far, bytes
    uint64_t position = 0;        // decoded bytes delivered so far, bytes
    int pushed_back = -1;         // the one byte of push-back, or -1
    bool writing = false;
    bool write_failed = false;
    decode_stage* stage = nullptr; // nullptr for plain streams
    // A replacing writer: the file being written and the name it takes on close.
    std::string temporary_path;
    std::string target_path;
};

// Sets up reading on an open file; takes the file (closes it on failure).
data_file* data_file_wrap(FILE* file, uint64_t offset, uint64_t size, file_form form,
                          const char* label, bool writing);
// Puts one byte back; the push-back must be empty (it always is right after a get).
void data_file_unget(data_file* file, int c);
// Ends the decode stage and frees the stream's own memory (not the file).
void data_file_stream_free(data_file* file);
