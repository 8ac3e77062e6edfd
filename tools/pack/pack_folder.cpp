// Packing a folder into a ".saf" archive: the header, then each file's bytes in header order.
#include "pack.h"

#include "files/archive.h"
#include "files/data_file.h"
#include "files/folder_walk.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

namespace {
struct packed_file {
    std::string path; // on the disk
    std::string name; // inside the archive
    uint64_t size;    // bytes
};

// Every file under the folder except the archive being written, in the walk's order.
bool list_files(const std::string& folder, const struct stat& skip, std::vector<packed_file>* files,
                std::string* error) {
    std::string unlisted;
    bool ok = folder_walk(
        folder,
        [&](const walked_file& file) {
            // The archive being replaced may sit inside the folder it packs.
            if (file.device == static_cast<uint64_t>(skip.st_dev) &&
                file.inode == static_cast<uint64_t>(skip.st_ino))
                return true;
            if (file.name.find('\n') != std::string::npos) {
                *error = "a file name holds a line break: " + file.path;
                return false;
            }
            files->push_back({file.path, file.name, file.size});
            return true;
        },
        &unlisted);
    if (!unlisted.empty()) *error = "can't list " + unlisted;
    return ok;
}

bool copy_file(data_file* out, const packed_file& file, std::string* error) {
    FILE* in = fopen(file.path.c_str(), "rb");
    if (!in) {
        *error = "can't read " + file.path;
        return false;
    }
    std::vector<char> buffer(1 << 16);
    uint64_t left = file.size;
    while (left > 0) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        size_t got = fread(buffer.data(), 1, want, in);
        if (got == 0 || !data_file_write(out, buffer.data(), got)) break;
        left -= got;
    }
    fclose(in);
    if (left != 0) {
        *error = file.path + " changed size or could not be copied";
        return false;
    }
    return true;
}
} // namespace

bool pack_folder(const std::string& folder_in, const std::string& out, int* packed,
                 std::string* error) {
    std::string folder = folder_in;
    if (folder.empty() || folder.back() != '/') folder += '/';
    struct stat skip {};
    stat(out.c_str(), &skip);
    std::vector<packed_file> files;
    if (!list_files(folder, skip, &files, error)) return false;

    std::string header;
    uint64_t end = 0; // bytes
    for (const packed_file& f : files)
        header += archive_header_line(static_cast<uint32_t>(f.size), f.name);
    header += "-\n";
    end = header.size();
    for (const packed_file& f : files) end += f.size;
    // Member offsets and sizes are 32-bit in the index.
    if (end > UINT32_MAX) {
        *error = "the files come to more than 4 GB";
        return false;
    }

    data_file* archive = data_file_open_replace(out.c_str());
    if (!archive) {
        *error = "can't write " + out;
        return false;
    }
    bool ok = data_file_write(archive, header.data(), header.size());
    for (size_t i = 0; ok && i < files.size(); i++) ok = copy_file(archive, files[i], error);
    if (!ok) {
        data_file_abandon(archive);
        if (error->empty()) *error = "writing " + out + " failed";
        return false;
    }
    if (!data_file_close(archive)) {
        *error = "writing " + out + " failed";
        return false;
    }
    *packed = static_cast<int>(files.size());
    return true;
}
