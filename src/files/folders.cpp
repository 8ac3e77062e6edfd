// The folder list: home folder first, then QV_HOME or the folder of the program file.
#include "files/files.h"
#include "files/files_local.h"

#include "platform/log.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
struct folder_state {
    bool built = false;
    std::vector<std::string> folders;
    bool has_home = false;
};
folder_state g_folders;

std::string program_folder() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "./";
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

std::string user_data_folder() {
    const char* xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.local/share";
    return "";
}

void build() {
    if (g_folders.built) return;
    g_folders.built = true;
    std::string user = user_data_folder();
    if (!user.empty()) {
        g_folders.folders.push_back(normalise_folder(user + "/Trailbok/"));
        g_folders.has_home = true;
    }
    const char* qv_home = getenv("QV_HOME");
    g_folders.folders.push_back(
        normalise_folder(qv_home ? std::string(qv_home) + "/" : program_folder()));
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

std::string normalise_folder(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    if (out.empty() || out.back() != '/') out += '/';
    return out;
}

std::string folder(int i) {
    build();
    if (i < 0 || i >= static_cast<int>(g_folders.folders.size())) return "";
    return g_folders.folders[i];
}

int folder_count() {
    build();
    return static_cast<int>(g_folders.folders.size());
}

std::string home_folder() {
    build();
    return g_folders.has_home ? g_folders.folders[0] : "";
}

void make_parent_folders(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
}

bool find_game_data() {
    std::string home = home_folder();
    if (!home.empty()) {
        make_parent_folders(home);
        log("TAVO_LOGFILE=%slastlog.txt", home.c_str());
    }
    for (int i = 0; i < folder_count(); i++)
        if (file_exists(folder(i) + "zzzz.saf")) return true;
    return false;
}

void open_home_in_browser() {
    std::string home = home_folder();
    if (home.empty()) return;
    make_parent_folders(home);
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    // The browser outlives us: a short-lived child starts it and exits at once, so nothing is
    // left for us to wait on. Without xdg-open nothing happens.
    pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            execlp("xdg-open", "xdg-open", home.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        _exit(0);
    }
    if (child > 0) waitpid(child, nullptr, 0);
}

void folders_free() {
    g_folders = folder_state{};
    index_free();
}
