// data_file: one readable or writable stream opened by name (plain file, archive member,
// gzip member, descrambled file), and the file index of the folders and archives.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct data_file;

// How a stored file turns into the bytes a reader sees.
enum class file_form { plain, gzip, scrambled, gzip_scrambled };
// Opens a stored file: its bytes start at offset, at most size of them are read (UINT64_MAX for
// the whole file), decoded by form. nullptr when it can't be opened or its gzip header or
// scramble mark is wrong.
data_file* data_file_open_stored(const std::string& path, uint64_t offset, uint64_t size,
                                 file_form form, const char* label);
// The bytes a stream has taken from its stored file so far (never past its member).
uint64_t data_file_bytes_taken(const data_file* file);

// Opens a name with a mode text ("rb", "wb", "a" ...). A name beginning with "@" is looked up
// in the home folder, then the data folder, then (for reading, once the index is built) the
// archives, also as ".gz", ".scram" and ".gz.scram". Writing an "@" name writes to the home
// folder. nullptr when it can't be opened.
data_file* data_file_open(const char* name, const char* mode);
// Opens a user file for replacing: writes go to a temporary name in the same folder and only
// data_file_close renames it over the target, so a crash mid-write never loses the old file.
data_file* data_file_open_replace(const char* name);
// Closes (committing a replacing writer); false when a write or the final rename failed.
bool data_file_close(data_file* file);
// Closes a replacing writer without touching the target.
void data_file_abandon(data_file* file);
// Replaces a whole file with `size` bytes through the replacing writer; false (and the old file
// untouched) when the file can't be opened or written.
bool data_file_replace_with(const char* name, const void* bytes, size_t size);

constexpr int k_data_file_end = -1;

int data_file_get_char(data_file* file); // the next byte, or k_data_file_end
int data_file_peek_char(data_file* file);
// Reads at most size - 1 bytes, stopping after a newline; nullptr at the end when nothing was read.
char* data_file_read_line(data_file* file, char* buffer, int size);
size_t data_file_read(data_file* file, void* buffer, size_t count); // never past the member's end
// scanf-style reading (d i o x f lf s c [sets] n %, with * and widths); returns the
// number of stored conversions.
int data_file_scan(data_file* file, const char* format, ...) __attribute__((format(scanf, 2, 3)));
int data_file_vscan(data_file* file, const char* format, va_list args);
constexpr int32_t k_no_int = INT32_MIN;
int32_t data_file_read_int(data_file* file); // one "%d", or k_no_int
void data_file_skip_comments(data_file* file);
// Repositions a plain, uncompressed, unscrambled stream; false otherwise or past its end.
bool data_file_seek(data_file* file, uint32_t offset);
uint32_t data_file_position(data_file* file);

bool data_file_put_char(data_file* file, int c);
bool data_file_put_text(data_file* file, const char* text);
bool data_file_write(data_file* file, const void* buffer, size_t count);
bool data_file_print(data_file* file, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
bool data_file_flush(data_file* file);

// Both names may begin with "@" (the home folder). An existing `to` is replaced in one step
// and survives when `from` can't be renamed.
bool rename_in_home(const char* from, const char* to);

// The file list: every indexed name, sorted without regard to case, each once. Built on the
// first call.
const std::vector<std::string>& file_index();
int file_index_entry_count();
// "name -> path" of index entry i.
void describe_entry(int i, char* buffer, int size);
// Frees the folder list, the index and the file list.
void files_free();
