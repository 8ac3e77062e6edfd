// The chat line and console: the line editor with its history, chat to the server with its
// spacing, the console command table, and the per-tic trail logging of the local bike.
#pragma once

#include <cstdint>
#include <string>

constexpr int k_console_history = 100;    // lines kept, entry 0 the one being edited
constexpr int k_console_line_max = 119;   // characters of one line
constexpr double k_chat_spacing = 2.0;    // s of running clock between two chat lines
constexpr int k_message_scroll_max = 950; // lines the message display may scroll back

// One console command: its name, whether it must be the whole line, what runs it (with the
// argument after the name, leading spaces skipped) and a line of help.
struct console_command {
    const char* name;
    bool exact;
    void (*run)(const char* argument);
    const char* help;
};
int console_command_count();
const console_command& console_command_at(int i);

// Back to the start-up state: empty history, no chat sent, no trail logging.
void console_reset();
// The key handler of the chat line page.
void console_key(int32_t code);
// Interprets one line: a command after "/" or "\", else a chat line. True when the line is kept
// in the history.
bool run_line(const char* text);

// The line being edited, its cursor, and the history (entry 0 the edited line).
const std::string& console_line();
int console_cursor();
int console_history_count();
const std::string& console_history_entry(int i);
// How far back the message display is scrolled (lines).
int console_message_scroll();

// Once per world tic: trail markers of the local bike while logging, and the HUD's telemetry
// of the followed slot.
void console_world_tic(int viewed_slot);
