// Loading-screen messages: every loader reports its steps here; the program draws them.
#pragma once

// Draws the loading screen with a text; the program core sets it once the window exists.
void loading_set_drawer(void (*draw)(const char* text));
// Shows a text (at most 79 characters kept) and measures the gap since the previous update.
void loading_message(const char* text);
// Starts a step: shows and logs its text, restarts the dots.
void loading_step_begin(const char* text);
// At most every 1/8 s shows the text with 0 to 3 dots, cycling.
void loading_tick(const char* text);
// "<text>...done".
void loading_step_done(const char* text);
// The longest gap between two updates since the last reset, and the text shown before it.
double loading_longest_gap(const char** text_before);
void loading_reset_gaps();
// The clock the gaps are measured with (the platform's), set by the program core.
void loading_set_clock(double (*clock)());
