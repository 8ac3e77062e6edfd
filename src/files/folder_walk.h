// Walking a folder tree in the same order on every machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One regular file a folder walk meets.
struct walked_file {
    std::string path; // on the disk: the walked folder followed by name
    std::string name; // below the walked folder, "/" separators
    uint64_t size;    // bytes
    uint64_t device;  // with inode, which file it is, however it was reached
    uint64_t inode;
};

// Visits every regular file below root (a folder path ending in "/"): the names in each folder
// sorted byte-wise, a subfolder's files where its name sorts. Links are followed, but never into
// a folder already on the way down. visit returns false to end the walk. A folder that can't be
// listed is passed over, or, with `unlisted` given, ends the walk with its path there.
// False when the walk ended early.
bool folder_walk(const std::string& root, const std::function<bool(const walked_file&)>& visit,
                 std::string* unlisted = nullptr);
