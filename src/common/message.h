// The on-screen message list and show_message, which every subsystem uses for status lines.
#pragma once

#include <string>

constexpr int k_message_ring_size = 1000;
constexpr int k_message_length = 255;

// Logs the line and puts it on the screen's message list; returns the visible line count.
int show_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

void messages_clear();
// One line fewer is visible once the running clock passes the expiry time.
void messages_expire(double run_clock);
void messages_set_clock(double run_clock);
void messages_set_max_lines(int lines); // the "message_lines" setting
int messages_visible();
// The n-th most recent message (0 is the newest).
const std::string& message_recent(int n);
