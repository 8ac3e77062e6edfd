// Demo list, playback and seeking. Not built yet: no demo is listed or played, and each call
// that would do so says so in the log.
#include "demo/demo.h"

#include "common/not_built.h"

void demo_list_build() { log_not_built(__func__); }
// No list is ever built and no playback opened, so there is nothing to free or close.
void demo_list_free() {}
bool demo_open_playback(const char*) {
    log_not_built(__func__);
    return false;
}
void demo_close_playback() {}
void demo_seek(int) { log_not_built(__func__); }
