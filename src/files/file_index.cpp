// The file index: every file of the folders and of the archives, sorted by name without regard
// to case, and the file list made from it.
#include "files/archive.h"
#include "files/files.h"
#include "files/files_local.h"
#include "files/folder_walk.h"

#include "platform/log.h"

#include <algorithm>
#include <sys/stat.h>

namespace {
struct index_state {
    bool built = false;
    std::vector<index_entry> entries; // sorted by lower-cased name, then priority
    std::vector<std::string> list;    // names, case-folded duplicates kept once
};
index_state g_index;

unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// Byte-wise comparison of two names after lower-casing ASCII letters.
int compare_names(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++) {
        unsigned char x = lower(static_cast<unsigned char>(a[i]));
        unsigned char y = lower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool entry_before(const index_entry& a, const index_entry& b) {
    int c = compare_names(a.name, b.name);
    return c != 0 ? c < 0 : a.priority < b.priority;
}

void sort_entries() {
    std::stable_sort(g_index.entries.begin(), g_index.entries.end(), entry_before);
}

// Every plain file of folder i, under its name relative to the folder.
void add_folder(int i) {
    folder_walk(folder(i), [i](const walked_file& file) {
        if (file.size > UINT32_MAX) {
            log("%s is too large to index\n", file.path.c_str());
            return true;
        }
        g_index.entries.push_back({file.path, file.name, 0, static_cast<uint32_t>(file.size), i});
        return true;
    });
}

bool is_archive_name(const std::string& name) {
    if (name.size() < 5) return false;
    const char* tail = name.c_str() + name.size() - 4;
    return tail[0] == '.' && lower(tail[1]) == 's' && lower(tail[2]) == 'a' &&
           lower(tail[3]) == 'f';
}

void add_archive(const std::string& path, int priority) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        log("Can't open archive %s\n", path.c_str());
        return;
    }
    struct stat st;
    std::vector<archive_member> members;
    bool ok = fstat(fileno(file), &st) == 0 &&
              archive_read_header(file, static_cast<uint64_t>(st.st_size), path.c_str(), &members);
    fclose(file);
    if (!ok) {
        log("Archive %s left out of the file index\n", path.c_str());
        return;
    }
    for (archive_member& m : members)
        g_index.entries.push_back({path, std::move(m.name), m.offset, m.size, priority});
}

void build_index() {
    g_index.built = true;
    log("Listing directories\n");
    int folders = folder_count();
    for (int i = 0; i < folders; i++) add_folder(i);
    sort_entries();
    log("Listing archives\n");
    // Only entries present now are examined, so archives inside archives are never opened.
    size_t listed = g_index.entries.size();
    int archive_number = folders;
    for (size_t i = 0; i < listed; i++) {
        if (!is_archive_name(g_index.entries[i].name)) continue;
        std::string path = g_index.entries[i].path; // the vector may grow below
        add_archive(path, archive_number++);
    }
    sort_entries();
    log("Creating file list\n");
    for (const index_entry& e : g_index.entries)
        if (g_index.list.empty() || compare_names(g_index.list.back(), e.name) != 0)
            g_index.list.push_back(e.name);
    log("File index complete\n");
}
} // namespace

const index_entry* index_find(const std::string& name) {
    if (!g_index.built) return nullptr;
    auto at = std::lower_bound(
        g_index.entries.begin(), g_index.entries.end(), name,
        [](const index_entry& e, const std::string& n) { return compare_names(e.name, n) < 0; });
    if (at == g_index.entries.end() || compare_names(at->name, name) != 0) return nullptr;
    return &*at;
}

const std::vector<std::string>& file_index() {
    if (!g_index.built) build_index();
    return g_index.list;
}

int file_index_entry_count() { return static_cast<int>(g_index.entries.size()); }

void describe_entry(int i, char* buffer, int size) {
    if (size <= 0) return;
    if (i < 0 || i >= file_index_entry_count()) {
        buffer[0] = 0;
        return;
    }
    const index_entry& e = g_index.entries[static_cast<size_t>(i)];
    snprintf(buffer, static_cast<size_t>(size), "%s -> %s", e.name.c_str(), e.path.c_str());
}

void index_free() { g_index = index_state{}; }

void files_free() { folders_free(); }
