// Sound output and engine sounds. Not built yet: the sound output never opens, so the game runs
// silent, and each call says in the log that it is missing.
#include "sound/sound.h"

#include "common/not_built.h"

bool sound_open() {
    log_not_built(__func__);
    return false;
}
void sound_update() { log_not_built(__func__); }
void sound_close() { log_not_built(__func__); }
void engine_sound_update(int, float) { log_not_built(__func__); }
void engine_sound_close(int) { log_not_built(__func__); }
