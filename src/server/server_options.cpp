// trailbok-server's command line: one table of options, and the help it prints.
#include "server/server.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {
bool read_int(const char* v, int low, int high, int* out) {
    if (!v || !*v) return false;
    char* end = nullptr;
    long n = std::strtol(v, &end, 10);
    if (*end || n < low || n > high) return false;
    *out = static_cast<int>(n);
    return true;
}

bool read_seconds(const char* v, double* out) {
    if (!v || !*v) return false;
    char* end = nullptr;
    double s = std::strtod(v, &end);
    if (*end || !(s >= 0) || s > 86400) return false;
    *out = s;
    return true;
}

bool read_text(const char* v, std::string* out) {
    if (!v) return false;
    *out = v;
    return true;
}

// The first line of a file, so the password need not stand on the command line where every
// user of the machine can list it.
bool read_first_line(const char* path, std::string* out) {
    if (!path || !*path) return false;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return false;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty()) return false;
    *out = line;
    return true;
}

// One option: its name, what it holds, whether it takes a value, and what it does with it.
struct server_option {
    const char* name;
    const char* value; // the value's name in the help, nullptr for a flag
    const char* help;
    bool (*apply)(server_options& o, const char* value);
};

constexpr server_option k_options[] = {
    {"--track", "NAME", "the track raced on (its folder name, for example practice)",
     [](server_options& o, const char* v) { return read_text(v, &o.track) && !o.track.empty(); }},
    {"--port", "N", "the UDP port (19800)",
     [](server_options& o, const char* v) { return read_int(v, 0, 65535, &o.port); }},
    {"--laps", "N", "laps in a race (3 when neither laps nor minutes are given)",
     [](server_options& o, const char* v) { return read_int(v, 1, 1000, &o.laps); }},
    {"--minutes", "N", "minutes in a race; with --laps, that many laps after the time",
     [](server_options& o, const char* v) { return read_int(v, 1, 600, &o.minutes); }},
    {"--max-riders", "N", "riders connected at most, 1 to 160 (40)",
     [](server_options& o, const char* v) { return read_int(v, 1, 160, &o.max_riders); }},
    {"--password", "TEXT", "riders must give this password (others can see it in ps)",
     [](server_options& o, const char* v) { return read_text(v, &o.password); }},
    {"--password-file", "FILE", "the password is the first line of this file",
     [](server_options& o, const char* v) { return read_first_line(v, &o.password); }},
    {"--name", "TEXT", "the server's name, in the welcome",
     [](server_options& o, const char* v) { return read_text(v, &o.name); }},
    {"--warmup", "SECONDS", "warm-up after the last rider joined, before a race (20)",
     [](server_options& o, const char* v) { return read_seconds(v, &o.warmup); }},
    {"--gate-drop", "SECONDS", "from a race's start to its gate drop (14)",
     [](server_options& o, const char* v) { return read_seconds(v, &o.gate_drop); }},
    {"--results-time", "SECONDS", "the results stand this long before the next race (15)",
     [](server_options& o, const char* v) { return read_seconds(v, &o.results_time); }},
    {"--erode", "VALUE", "ground erosion for the riders' ruts, 0 to 100",
     [](server_options& o, const char* v) {
         int n;
         if (!read_int(v, 0, 100, &n)) return false;
         o.erode = n * 1024;
         return true;
     }},
    {"--no-arcade", nullptr, "riders race with arcade physics off",
     [](server_options& o, const char*) { return o.no_arcade = true; }},
    {"--redirect", "HOST[:PORT]", "send riders there while this server is full",
     [](server_options& o, const char* v) {
         return read_text(v, &o.redirect) && !o.redirect.empty() && o.redirect.size() <= 127;
     }},
    {"--results", "FOLDER", "where each race's results file is written (.)",
     [](server_options& o, const char* v) { return read_text(v, &o.results_dir); }},
    {"--uploads", "FOLDER", "keep files riders send there (refused without it)",
     [](server_options& o, const char* v) { return read_text(v, &o.uploads_dir); }},
    {"--quiet", nullptr, "no log lines on the standard output",
     [](server_options& o, const char*) { return o.quiet = true; }},
};
} // namespace

server_parse_result server_parse_options(int argc, const char* const* argv, server_options& o) {
    if (const char* password = std::getenv(k_password_variable); password && *password)
        o.password = password;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0) return {true, true, ""};
        const server_option* found = nullptr;
        const char* value = nullptr;
        for (const server_option& opt : k_options) {
            size_t n = std::strlen(opt.name);
            if (std::strcmp(arg, opt.name) == 0) {
                found = &opt;
                if (opt.value) value = i + 1 < argc ? argv[++i] : nullptr;
            } else if (opt.value && std::strncmp(arg, opt.name, n) == 0 && arg[n] == '=') {
                found = &opt;
                value = arg + n + 1;
            }
            if (found) break;
        }
        if (!found) return {false, false, std::string("unknown option '") + arg + "'"};
        if (!found->apply(o, value))
            return {false, false, std::string("bad value for ") + found->name};
    }
    if (o.track.empty()) return {false, false, "--track is required"};
    return {};
}

std::string server_help() {
    std::string out =
        "Usage: trailbok-server --track NAME [--port N] [--laps N | --minutes N] [--max-riders N]\n"
        "                       [--password TEXT] [--name TEXT] [options]\n"
        "Runs races on one track for riders who join with trailbok --connect HOST[:PORT].\n"
        "Lines typed at the server: say TEXT, restart, kick SLOT, status.\n"
        "The password may also come from the environment variable " +
        std::string(k_password_variable) + ".\n\n";
    for (const server_option& opt : k_options) {
        char line[256];
        std::string name = std::string(opt.name) + (opt.value ? std::string(" ") + opt.value : "");
        std::snprintf(line, sizeof line, "  %-24s %s\n", name.c_str(), opt.help);
        out += line;
    }
    return out + "  --help                   this text\n";
}
