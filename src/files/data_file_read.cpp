// Reading a data_file: the stored bytes under the member limit, descrambling, and inflating.
#include "files/files_local.h"

#include "platform/log.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
// Stored bytes from the file, never past the limit; descrambled when the stream is scrambled.
size_t read_stored(data_file* f, uint8_t* out, size_t count) {
    uint64_t left = f->limit - f->taken;
    if (count > left) count = static_cast<size_t>(left);
    if (count == 0) return 0;
    size_t got = fread(out, 1, count, f->file);
    f->taken += got;
    if (f->stage && f->stage->scrambled) scramble_apply(&f->stage->scramble, out, got);
    return got;
}

bool refill_input(data_file* f) {
    decode_stage* s = f->stage;
    size_t got = read_stored(f, s->input, sizeof s->input);
    s->inflate_state.next_in = s->input;
    s->inflate_state.avail_in = static_cast<uInt>(got);
    return got > 0;
}

int header_byte(data_file* f) {
    z_stream& z = f->stage->inflate_state;
    if (z.avail_in == 0 && !refill_input(f)) return -1;
    z.avail_in--;
    return *z.next_in++;
}

bool skip_header_bytes(data_file* f, int count) {
    for (int i = 0; i < count; i++)
        if (header_byte(f) < 0) return false;
    return true;
}

bool skip_header_text(data_file* f) {
    for (;;) {
        int c = header_byte(f);
        if (c < 0) return false;
        if (c == 0) return true;
    }
}

// Reads the gzip header (the trailer's CRC and length are never checked) and starts inflating.
bool start_gzip(data_file* f) {
    if (header_byte(f) != 0x1F || header_byte(f) != 0x8B || header_byte(f) != 0x08) return false;
    int flags = header_byte(f);
    if (flags < 0 || flags >= 32) return false;
    if (!skip_header_bytes(f, 6)) return false;
    if (flags & 4) {
        int low = header_byte(f);
        int high = header_byte(f);
        if (low < 0 || high < 0 || !skip_header_bytes(f, low | high << 8)) return false;
    }
    if ((flags & 8) && !skip_header_text(f)) return false;
    if ((flags & 16) && !skip_header_text(f)) return false;
    if ((flags & 2) && !skip_header_bytes(f, 2)) return false;
    // Raw deflate: the gzip wrapper was read above, so zlib sees no header of its own.
    if (inflateInit2(&f->stage->inflate_state, -15) != Z_OK) return false;
    f->stage->inflating = true;
    return true;
}

// Up to count decoded bytes straight into out; 0 at the end of the data.
size_t decode(data_file* f, uint8_t* out, size_t count) {
    decode_stage* s = f->stage;
    if (s->ended || count == 0) return 0;
    if (!s->gzip) {
        size_t got = read_stored(f, out, count);
        if (got == 0) s->ended = true;
        return got;
    }
    if (count > (1u << 30)) count = 1u << 30;
    z_stream& z = s->inflate_state;
    z.next_out = out;
    z.avail_out = static_cast<uInt>(count);
    while (z.avail_out == count) {
        if (z.avail_in == 0 && !refill_input(f)) {
            log("Compressed data of %s ends early\n", f->label.c_str());
            s->ended = true;
            break;
        }
        int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            s->ended = true;
            break;
        }
        if (result != Z_OK) {
            log("Damaged compressed data in %s\n", f->label.c_str());
            s->ended = true;
            break;
        }
    }
    return count - z.avail_out;
}

bool fill_window(data_file* f) {
    decode_stage* s = f->stage;
    s->window_at = 0;
    s->window_end = decode(f, s->window, sizeof s->window);
    return s->window_end > 0;
}
} // namespace

data_file* data_file_wrap(FILE* file, uint64_t offset, uint64_t size, file_form form,
                          const char* label, bool writing) {
    data_file* f = new (std::nothrow) data_file;
    if (!f) {
        fclose(file);
        return nullptr;
    }
    f->file = file;
    f->label = label;
    f->base = offset;
    f->limit = size;
    f->writing = writing;
    bool ok = offset == 0 || fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
    if (ok && form != file_form::plain) {
        f->stage = new (std::nothrow) decode_stage;
        ok = f->stage != nullptr;
    }
    if (ok && (form == file_form::scrambled || form == file_form::gzip_scrambled)) {
        uint8_t mark[k_scramble_mark_size];
        ok = read_stored(f, mark, sizeof mark) == sizeof mark &&
             memcmp(mark, k_scramble_mark, sizeof mark) == 0;
        if (!ok) log("%s is not a scrambled file\n", label);
        f->stage->scrambled = true;
        scramble_start(&f->stage->scramble);
    }
    if (ok && (form == file_form::gzip || form == file_form::gzip_scrambled)) {
        f->stage->gzip = true;
        ok = start_gzip(f);
        if (!ok) log("Bad gzip header in %s\n", label);
    }
    if (!ok) {
        fclose(file);
        data_file_stream_free(f);
        return nullptr;
    }
    return f;
}

uint64_t data_file_bytes_taken(const data_file* file) { return file->taken; }

data_file* data_file_open_stored(const std::string& path, uint64_t offset, uint64_t size,
                                 file_form form, const char* label) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    return data_file_wrap(file, offset, size, form, label, false);
}

void data_file_stream_free(data_file* f) {
    if (f->stage && f->stage->inflating) inflateEnd(&f->stage->inflate_state);
    delete f->stage;
    delete f;
}

int data_file_get_char(data_file* f) {
    if (f->pushed_back >= 0) {
        int c = f->pushed_back;
        f->pushed_back = -1;
        f->position++;
        return c;
    }
    if (!f->stage) {
        if (f->taken >= f->limit) return k_data_file_end;
        // A stream belongs to one thread, so the stdio lock buys nothing per byte.
        int c = getc_unlocked(f->file);
        if (c == EOF) return k_data_file_end;
        f->taken++;
        f->position++;
        return c;
    }
    decode_stage* s = f->stage;
    if (s->window_at == s->window_end && !fill_window(f)) return k_data_file_end;
    f->position++;
    return s->window[s->window_at++];
}

void data_file_unget(data_file* f, int c) {
    if (c == k_data_file_end) return;
    f->pushed_back = c & 0xFF;
    f->position--;
}

int data_file_peek_char(data_file* f) {
    int c = data_file_get_char(f);
    data_file_unget(f, c);
    return c;
}

char* data_file_read_line(data_file* f, char* buffer, int size) {
    if (size <= 0) return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = data_file_get_char(f);
        if (c == k_data_file_end) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n == 0 ? nullptr : buffer;
}

size_t data_file_read(data_file* f, void* buffer, size_t count) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    if (count > 0 && f->pushed_back >= 0) {
        out[done++] = static_cast<uint8_t>(f->pushed_back);
        f->pushed_back = -1;
    }
    if (!f->stage) {
        uint64_t left = f->limit - f->taken;
        size_t want = count - done;
        if (want > left) want = static_cast<size_t>(left);
        size_t got = want ? fread(out + done, 1, want, f->file) : 0;
        f->taken += got;
        done += got;
    } else {
        decode_stage* s = f->stage;
        while (done < count) {
            if (s->window_at < s->window_end) {
                size_t n = std::min(count - done, s->window_end - s->window_at);
                memcpy(out + done, s->window + s->window_at, n);
                s->window_at += n;
                done += n;
            } else if (count - done >= sizeof s->window) {
                // Large reads skip the window and decode straight into the caller's buffer.
                size_t got = decode(f, out + done, count - done);
                if (got == 0) break;
                done += got;
            } else if (!fill_window(f)) {
                break;
            }
        }
    }
    f->position += done;
    return done;
}

bool data_file_seek(data_file* f, uint32_t offset) {
    if (f->stage || offset >= f->limit) return false;
    if (fseeko(f->file, static_cast<off_t>(f->base + offset), SEEK_SET) != 0) return false;
    f->taken = offset;
    f->position = offset;
    f->pushed_back = -1;
    return true;
}

uint32_t data_file_position(data_file* f) { return static_cast<uint32_t>(f->position); }
