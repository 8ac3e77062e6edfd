// The ring of the last 1000 messages and how many of the newest are visible.
#include "common/message.h"

#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
struct message_state {
    std::string ring[k_message_ring_size];
    int next = 0;
    int visible = 0;
    int max_lines = 5;
    double clock = 0;  // s, the running clock as last told
    double expiry = 0; // s
};
message_state g_messages;
} // namespace

int show_message(const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    size_t length = strlen(text);
    bool has_newline = length > 0 && text[length - 1] == '\n';
    // Colour codes in a message must not leak into the rest of the log.
    const char* reset = strchr(text, 27) ? "\x1b[0m" : "";
    log("%s%s%s", text, reset, has_newline ? "" : "\n");
    if (has_newline) text[--length] = 0;
    if (length > k_message_length) text[k_message_length] = 0;
    g_messages.ring[g_messages.next] = text;
    g_messages.next = (g_messages.next + 1) % k_message_ring_size;
    if (g_messages.visible < g_messages.max_lines) g_messages.visible++;
    g_messages.expiry = g_messages.clock + 2.0;
    return g_messages.visible;
}

void messages_clear() {
    int max_lines = g_messages.max_lines;
    for (std::string& s : g_messages.ring) s.clear();
    g_messages.next = 0;
    g_messages.visible = 0;
    g_messages.max_lines = max_lines;
    g_messages.expiry = 0;
}

void messages_expire(double run_clock) {
    g_messages.clock = run_clock;
    if (run_clock > g_messages.expiry && g_messages.visible > 0) {
        g_messages.visible--;
        g_messages.expiry = run_clock + 5.0;
    }
}

void messages_set_clock(double run_clock) { g_messages.clock = run_clock; }
void messages_set_max_lines(int lines) { g_messages.max_lines = lines; }
int messages_visible() { return g_messages.visible; }

const std::string& message_recent(int n) {
    int index = ((g_messages.next - 1 - n) % k_message_ring_size + k_message_ring_size) %
                k_message_ring_size;
    return g_messages.ring[index];
}
