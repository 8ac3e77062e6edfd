// Demo list, playback and seeking; filled in with the demo format.
#include "demo/demo.h"

void demo_list_build() {}
void demo_list_free() {}
bool demo_open_playback(const char*) { return false; }
void demo_close_playback() {}
void demo_seek(int) {}
