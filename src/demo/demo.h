// Demo recording and playback.
#pragma once

void demo_list_build();
void demo_list_free();
// Opens a demo named on the command line for playback; false when it can't be read.
bool demo_open_playback(const char* name);
void demo_close_playback();
// Seeks the playback by whole seconds (negative: back).
void demo_seek(int seconds);
