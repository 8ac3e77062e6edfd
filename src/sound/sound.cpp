// Sound output and engine sounds; filled in with the mixer and the engine synthesiser.
#include "sound/sound.h"

bool sound_open() { return false; }
void sound_update() {}
void sound_close() {}
void engine_sound_update(int, float) {}
void engine_sound_close(int) {}
