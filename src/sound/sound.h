// Sound output and engine sounds.
#pragma once

// Opens the sound output; false when the system runs silent.
bool sound_open();
void sound_update();
void sound_close();
// Sets one rider slot's engine sound volume for this frame.
void engine_sound_update(int slot, float volume);
void engine_sound_close(int slot);
