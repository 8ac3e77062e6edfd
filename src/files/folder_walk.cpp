// The sorted folder walk the file index and the archive packer share.
#include "files/folder_walk.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {
// A folder already on the walk's path (through a link) is not entered again.
struct walk_step {
    dev_t device;
    ino_t inode;
};

struct walk {
    const std::string& root;
    const std::function<bool(const walked_file&)>& visit;
    std::string* unlisted;
    std::vector<walk_step> path;
};

bool walk_folder(walk& w, const std::string& relative) {
    std::string here = w.root + relative;
    DIR* dir = opendir(here.c_str());
    if (!dir) {
        if (!w.unlisted) return true;
        *w.unlisted = here;
        return false;
    }
    std::vector<std::string> names;
    while (dirent* d = readdir(dir))
        if (strcmp(d->d_name, ".") != 0 && strcmp(d->d_name, "..") != 0) names.push_back(d->d_name);
    closedir(dir);
    // Directory order is the file system's; sorting keeps every walk the same on every machine.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string full = here + name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            bool looped = false;
            for (const walk_step& step : w.path)
                looped |= step.device == st.st_dev && step.inode == st.st_ino;
            if (looped) continue;
            w.path.push_back({st.st_dev, st.st_ino});
            bool ok = walk_folder(w, relative + name + "/");
            w.path.pop_back();
            if (!ok) return false;
        } else if (S_ISREG(st.st_mode)) {
            walked_file file{full, relative + name, static_cast<uint64_t>(st.st_size),
                             static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
            if (!w.visit(file)) return false;
        }
    }
    return true;
}
} // namespace

bool folder_walk(const std::string& root, const std::function<bool(const walked_file&)>& visit,
                 std::string* unlisted) {
    walk w{root, visit, unlisted, {}};
    return walk_folder(w, "");
}
