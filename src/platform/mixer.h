// The software mixer: sounds of 8-bit unsigned samples, mixed by volume level into 8-bit unsigned
// or 16-bit signed output blocks. Not locked: a back-end that mixes on another thread locks around
// every call.
#pragma once

#include <cstdint>

constexpr int k_mixer_levels = 32; // volume levels 0 ... 31 per output side
constexpr int k_mixer_zero = 128;  // the unsigned sample that is silence
constexpr int k_mixer_max_volume = 32767;
constexpr int k_default_voice_budget = 16;

// Sets the mixer up for output at `rate` samples per second in blocks of at most `max_block`
// samples. `voice_budget` entries (one per output side of a sound) are heard per block.
void mixer_open(int rate, bool stereo, int voice_budget, int max_block);
// Frees every sound and its data.
void mixer_close();
bool mixer_is_open();
int mixer_rate();
bool mixer_stereo();

// A new sound over `length` samples at `rate` (0: already at the mixer's rate), point-resampled
// to the mixer's rate; not playing, full volume, centred, not looping. -1 when it can't be made.
int mixer_create(int length, const uint8_t* samples, int rate);
// A new voice over the same sample data; -1 when `sound` is none.
int mixer_duplicate(int sound);
// Unlinks the sound; its data goes with its last user.
void mixer_free(int sound);
// Starts from the beginning: at once when silent, else after a zero crossing.
void mixer_play(int sound);
// Ends the sound after the next block.
void mixer_stop(int sound);
void mixer_set_rate(int sound, int rate);     // samples per second; 0 or less: the mixer's rate
void mixer_set_volume(int sound, int volume); // 0 ... 32767
void mixer_set_pan(int sound, int pan);       // -32768 (left) ... 32767 (right)
void mixer_set_loop(int sound, bool loop);
// The read offset in the sample data while playing and not restarting, else 0.
int mixer_position(int sound);
// Copies bytes into the sample data as a ring starting at `offset`; of more bytes than the
// sound holds, only the last ones are kept.
void mixer_write(int sound, int count, const uint8_t* bytes, int offset);
bool mixer_playing(int sound);
int mixer_length(int sound); // stored samples, 0 for none

// Mixes `samples` output samples (interleaved left and right when stereo) into `out`: bytes, or
// 16-bit signed values with `sixteen_bit`.
void mixer_mix(void* out, int samples, bool sixteen_bit);
