// The log: one file, opened by the first message, every line stamped and flushed.
#include "platform/log.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {
struct log_state {
    FILE* file = nullptr;
    bool initialised = false;
    bool closed = false;
    bool has_error = false;
    std::string error;
    int debug = 0;
};
log_state g_log;

const char k_request[] = "TAVO_LOGFILE=";

void open_log_file(const char* requested) {
    const char* env_name = getenv("TAVO_LOGFILE");
    const char* name = env_name ? env_name : requested;
    if (!name) return;
    const char* mode = "w";
    if (strncmp(name, ">>", 2) == 0) {
        mode = "a";
        name += 2;
    } else if (name[0] == '>') {
        name += 1;
    }
    if (const char* flags = getenv("TAVO_LOGFILE_FLAGS")) mode = flags;
    g_log.file = fopen(name, mode);
    if (!g_log.file) return;
    log("Logfile \"%s\" opened\n", name);
    log("TAVO 0.31\n");
}

void write_line(const char* text) {
    if (!g_log.file || static_cast<unsigned char>(text[0]) == 19) return;
    char stamp[32];
    log_format_stamp(system_clock_seconds(), stamp, sizeof stamp);
    std::string line = stamp;
    line += text;
    // One write per message, so lines from other threads never interleave mid-line.
    fwrite(line.data(), 1, line.size(), g_log.file);
    fflush(g_log.file);
}
} // namespace

double system_clock_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    long long ms = static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    return static_cast<double>(ms) / 1000.0;
}

void log_format_stamp(double seconds, char* out, int out_size) {
    long long hundredths = static_cast<long long>(seconds * 100.0);
    long long s = hundredths / 100;
    snprintf(out, out_size, "[%lld:%02lld:%02lld.%02lld] ", s / 3600, (s / 60) % 60, s % 60,
             hundredths % 100);
}

void log(const char* format, ...) {
    if (g_log.closed) return;
    char buffer[4096];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // A longer line (the GL extension list) is formatted again whole, line feed included.
    std::string longer;
    const char* text = buffer;
    if (length >= static_cast<int>(sizeof buffer)) {
        longer.resize(static_cast<size_t>(length) + 1);
        vsnprintf(longer.data(), longer.size(), format, again);
        longer.resize(static_cast<size_t>(length));
        text = longer.c_str();
    }
    va_end(again);
    if (!g_log.initialised) {
        g_log.initialised = true;
        bool request = strncmp(text, k_request, sizeof k_request - 1) == 0;
        open_log_file(request ? text + sizeof k_request - 1 : nullptr);
        if (request) return;
    }
    write_line(text);
}

void log_close() {
    if (g_log.file) fclose(g_log.file);
    g_log.file = nullptr;
    g_log.initialised = true;
    g_log.closed = true;
}

void log_reset() {
    if (g_log.file) fclose(g_log.file);
    int debug = g_log.debug;
    g_log = log_state{};
    g_log.debug = debug;
}

bool log_is_open() { return g_log.file != nullptr; }

void log_error(const char* text) {
    log("Error: %s\n", text);
    g_log.error = text;
    g_log.has_error = true;
}

const char* last_error() { return g_log.has_error ? g_log.error.c_str() : nullptr; }

int debug_level() { return g_log.debug; }
void set_debug_level(int level) { g_log.debug = level; }
