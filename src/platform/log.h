// The log file with its time stamps, the last error, and the debug level.
#pragma once

#include <cstdio>

// Writes one stamped, formatted line to the log. The first call opens the log: a first
// message "TAVO_LOGFILE=<name>" is a request naming the file (TAVO_LOGFILE still wins).
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Closes the log file; later messages are dropped.
void log_close();
// Back to the never-opened state, so a test or a second run in one process starts afresh.
void log_reset();
bool log_is_open();

// Logs "Error: <text>" and keeps the text as the last error.
void log_error(const char* text);
const char* last_error(); // nullptr before any error

// The stamp "[h:mm:ss.hh] " for a clock reading in seconds.
void log_format_stamp(double seconds, char* out, int out_size);

// Detail level: 0 normal, 1 "--debug", 2 "--super-debug".
int debug_level();
void set_debug_level(int level);

// The monotonic millisecond clock the log stamps with, in seconds.
double system_clock_seconds();
