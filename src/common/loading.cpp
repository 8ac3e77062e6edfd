// Loading-screen messages and the longest delay between two updates.
#include "common/loading.h"

#include "platform/log.h"

#include <cstdio>
#include <cstring>

namespace {
struct loading_state {
    void (*draw)(const char*) = nullptr;
    double (*clock)() = nullptr;
    char text[80] = {};
    double last_update = -1; // s
    double longest_gap = 0;  // s
    char longest_text[80] = {};
    int dots = 0;
    double last_tick = -1; // s
};
loading_state g_loading;

double now() { return g_loading.clock ? g_loading.clock() : system_clock_seconds(); }
} // namespace

void loading_set_drawer(void (*draw)(const char* text)) { g_loading.draw = draw; }
void loading_set_clock(double (*clock)()) { g_loading.clock = clock; }

void loading_message(const char* text) {
    double t = now();
    if (g_loading.last_update >= 0 && t - g_loading.last_update > g_loading.longest_gap) {
        g_loading.longest_gap = t - g_loading.last_update;
        memcpy(g_loading.longest_text, g_loading.text, sizeof g_loading.text);
    }
    g_loading.last_update = t;
    snprintf(g_loading.text, sizeof g_loading.text, "%s", text);
    if (g_loading.draw) g_loading.draw(g_loading.text);
}

void loading_step_begin(const char* text) {
    loading_message(text);
    if (text[0]) log("%s\n", text);
    g_loading.dots = 0;
    g_loading.last_tick = now();
}

void loading_tick(const char* text) {
    double t = now();
    if (g_loading.last_tick >= 0 && t - g_loading.last_tick < 0.125) return;
    g_loading.last_tick = t;
    char shown[80];
    snprintf(shown, sizeof shown, "%.64s%s", text, "..." + (3 - g_loading.dots));
    g_loading.dots = (g_loading.dots + 1) % 4;
    loading_message(shown);
}

void loading_step_done(const char* text) {
    char shown[80];
    snprintf(shown, sizeof shown, "%.64s...done", text);
    loading_message(shown);
}

double loading_longest_gap(const char** text_before) {
    if (text_before) *text_before = g_loading.longest_text;
    return g_loading.longest_gap;
}

void loading_reset_gaps() {
    g_loading.longest_gap = 0;
    g_loading.longest_text[0] = 0;
    g_loading.last_update = -1;
}
