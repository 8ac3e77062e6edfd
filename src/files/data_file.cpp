// Opening data_file streams by name, the replacing writer, and the writing operations.
#include "files/files.h"
#include "files/files_local.h"

#include "platform/log.h"

#include <cstdarg>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr size_t k_joined_name_max = 511; // folder + name, characters
constexpr size_t k_path_max = 1023;       // a path with a form suffix, characters

// The stored forms a reader tries for one name, in the order that wins ties.
struct form_suffix {
    const char* suffix;
    file_form form;
};
constexpr form_suffix k_forms[] = {
    {"", file_form::plain},
    {".gz", file_form::gzip},
    {".scram", file_form::scrambled},
    {".gz.scram", file_form::gzip_scrambled},
};

bool is_reading_mode(const char* mode) { return strchr(mode, 'r') && !strchr(mode, '+'); }

bool is_directory(FILE* file) {
    struct stat st;
    return fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode);
}

data_file* open_path(const std::string& path, const char* mode, bool reading, const char* label) {
    if (!reading) make_parent_folders(path);
    for (const form_suffix& form : k_forms) {
        if (form.form != file_form::plain && !reading) break;
        std::string name = path + form.suffix;
        if (form.form != file_form::plain && name.size() > k_path_max) break;
        FILE* file = fopen(name.c_str(), mode);
        if (!file) continue;
        if (reading && is_directory(file)) {
            fclose(file);
            continue;
        }
        return data_file_wrap(file, 0, k_unlimited, form.form, label, !reading);
    }
    return nullptr;
}

// An archive member (or a folder file spelled in another case) found through the index.
data_file* open_indexed(const std::string& rest, const char* label) {
    const index_entry* best = nullptr;
    file_form best_form = file_form::plain;
    for (const form_suffix& form : k_forms) {
        const index_entry* e = index_find(rest + form.suffix);
        if (e && (!best || e->priority < best->priority)) {
            best = e;
            best_form = form.form;
        }
    }
    if (!best) return nullptr;
    // A folder file may have grown since it was indexed; only archive members have a fixed size.
    bool in_folder = best->priority < folder_count();
    return data_file_open_stored(best->path, best->offset, in_folder ? k_unlimited : best->size,
                                 best_form, label);
}

// Where an "@" name is written: the first folder, which is the home folder when there is one.
bool write_path(const char* name, std::string* path) {
    if (name[0] != '@') {
        *path = name;
        return true;
    }
    if (folder_count() == 0) return false;
    *path = folder(0) + (name + 1);
    return path->size() <= k_joined_name_max;
}

bool home_path(const char* name, std::string* path) {
    if (name[0] != '@') {
        *path = name;
        return true;
    }
    std::string home = home_folder();
    if (home.empty()) return false;
    *path = home + (name + 1);
    return true;
}

bool writable(data_file* f) { return f && !f->stage; }

bool note_write(data_file* f, bool ok) {
    if (!ok) f->write_failed = true;
    return ok;
}
} // namespace

data_file* data_file_open(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    bool reading = is_reading_mode(mode);
    if (name[0] != '@') return open_path(name, mode, reading, name);
    std::string rest = name + 1;
    for (int i = 0; i < folder_count(); i++) {
        std::string path = folder(i) + rest;
        if (path.size() > k_joined_name_max) continue;
        if (data_file* f = open_path(path, mode, reading, name)) return f;
    }
    return reading ? open_indexed(rest, name) : nullptr;
}

data_file* data_file_open_replace(const char* name) {
    std::string target;
    if (!name || !write_path(name, &target)) return nullptr;
    make_parent_folders(target);
    std::string temporary = target + ".new-XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        log("Can't write %s\n", target.c_str());
        return nullptr;
    }
    fchmod(fd, 0644);
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        remove(temporary.c_str());
        return nullptr;
    }
    data_file* f = data_file_wrap(file, 0, k_unlimited, file_form::plain, name, true);
    if (!f) {
        remove(temporary.c_str());
        return nullptr;
    }
    f->temporary_path = temporary;
    f->target_path = target;
    return f;
}

bool data_file_replace_with(const char* name, const void* bytes, size_t size) {
    data_file* f = data_file_open_replace(name);
    if (!f) return false;
    if (!data_file_write(f, bytes, size)) {
        data_file_abandon(f);
        return false;
    }
    return data_file_close(f);
}

bool data_file_close(data_file* f) {
    if (!f) return false;
    bool ok = true;
    if (f->writing) {
        ok = !f->write_failed && fflush(f->file) == 0 && !ferror(f->file);
        // The new content must be on the disk before it takes the old file's name.
        if (ok && !f->temporary_path.empty()) ok = fsync(fileno(f->file)) == 0;
    }
    if (fclose(f->file) != 0 && f->writing) ok = false;
    if (!f->temporary_path.empty()) {
        if (ok && rename(f->temporary_path.c_str(), f->target_path.c_str()) != 0) ok = false;
        if (!ok) {
            log("Writing %s failed; the old file is kept\n", f->target_path.c_str());
            remove(f->temporary_path.c_str());
        }
    }
    data_file_stream_free(f);
    return ok;
}

void data_file_abandon(data_file* f) {
    if (!f) return;
    fclose(f->file);
    if (!f->temporary_path.empty()) remove(f->temporary_path.c_str());
    data_file_stream_free(f);
}

bool data_file_put_char(data_file* f, int c) {
    return writable(f) && note_write(f, putc(c, f->file) != EOF);
}

bool data_file_put_text(data_file* f, const char* text) {
    return writable(f) && note_write(f, fputs(text, f->file) != EOF);
}

bool data_file_write(data_file* f, const void* buffer, size_t count) {
    return writable(f) && note_write(f, fwrite(buffer, 1, count, f->file) == count);
}

bool data_file_print(data_file* f, const char* format, ...) {
    if (!writable(f)) return false;
    va_list args;
    va_start(args, format);
    int written = vfprintf(f->file, format, args);
    va_end(args);
    return note_write(f, written >= 0);
}

bool data_file_flush(data_file* f) { return writable(f) && note_write(f, fflush(f->file) == 0); }

bool rename_in_home(const char* from, const char* to) {
    std::string from_path, to_path;
    if (!from || !to || !home_path(from, &from_path) || !home_path(to, &to_path)) return false;
    // rename replaces an existing target in one step, so a missing source never costs the
    // target, as removing the target first would.
    return rename(from_path.c_str(), to_path.c_str()) == 0;
}
