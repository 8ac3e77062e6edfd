// Problems the loaders find in a track's files, handed to a listener such as the track checker.
#pragma once

#include <string>
#include <vector>

// One problem: the file's name inside its track folder ("statues"), the line (0 when the file is
// not text or the problem has no line) and what is wrong.
struct file_problem {
    std::string file;
    int line = 0;
    std::string text;
};

// Where each entry of a file was read, so that a listener can name the line of an object it
// finds fault with: the kind of entry ("statues", "start slots") and its lines in reading order.
struct file_entry_lines {
    std::string kind;
    std::vector<int> lines;
};

// What a listener hears while a track loads.
struct file_report {
    std::vector<file_problem> problems;
    std::vector<file_entry_lines> entries;
};

// Problems and entry lines are added to the report from now on; nullptr stops listening. The
// game never listens, so its loaders only log or show what they find.
void file_problems_collect(file_report* into);
bool file_problems_heard();
// Hands a problem to the listener, if any. `file` may be a data-file name ("@folder/statues"):
// only its last part is kept.
void file_problem_report(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The line an entry of a kind was read from, in reading order.
void file_entry_line(const char* kind, int line);
// The lines of a kind's entries heard so far (empty when none).
std::vector<int> file_entry_lines_of(const file_report& report, const char* kind);
// The 1-based line of a position in a text.
int text_line_at(const char* begin, const char* at);
