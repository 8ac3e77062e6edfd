// The listener of the loaders' file problems.
#include "common/file_problems.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
struct file_problems_state {
    file_report* into = nullptr;
};
file_problems_state g_problems;
} // namespace

void file_problems_collect(file_report* into) { g_problems.into = into; }

bool file_problems_heard() { return g_problems.into != nullptr; }

void file_problem_report(const char* file, int line, const char* format, ...) {
    if (!g_problems.into) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const char* slash = strrchr(file, '/');
    g_problems.into->problems.push_back({slash ? slash + 1 : file, line, text});
}

int text_line_at(const char* begin, const char* at) {
    int line = 1;
    for (const char* p = begin; p < at; p++) line += *p == '\n';
    return line;
}

void file_entry_line(const char* kind, int line) {
    if (!g_problems.into) return;
    std::vector<file_entry_lines>& entries = g_problems.into->entries;
    for (file_entry_lines& e : entries)
        if (e.kind == kind) {
            e.lines.push_back(line);
            return;
        }
    entries.push_back({kind, {line}});
}

std::vector<int> file_entry_lines_of(const file_report& report, const char* kind) {
    for (const file_entry_lines& e : report.entries)
        if (e.kind == kind) return e.lines;
    return {};
}
