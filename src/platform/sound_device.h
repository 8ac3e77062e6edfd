// The sound device: one open back-end at a time, with the operations on its sounds.
#pragma once

#include <cstdint>

// What a sound back-end must provide; sounds are handles, -1 for none.
struct sound_backend {
    const char* name;
    // Opens the output. The readback back-end takes its rate and block length; the streaming
    // back-end reads them from the platform options.
    bool (*open)(int samples_per_second, int samples_per_block);
    void (*close)();
    void (*update)(); // once per frame
    // Mixes one block and returns it (left and right bytes interleaved); nullptr when the
    // back-end has no readback.
    const uint8_t* (*readback)();
    int (*create)(int length, const uint8_t* samples, int rate);
    int (*duplicate)(int sound);
    void (*free)(int sound);
    void (*play)(int sound);
    void (*stop)(int sound);
    void (*set_rate)(int sound, int rate);
    void (*set_volume)(int sound, int volume); // 0 ... 32767
    void (*set_pan)(int sound, int pan);       // -32768 (left) ... 32767 (right)
    void (*set_loop)(int sound, bool loop);
    int (*position)(int sound); // bytes
    void (*write)(int sound, int count, const uint8_t* bytes, int offset);
};

// The streaming back-end of SDL, mixing on SDL's audio thread; the readback back-end, which
// mixes a block when asked; and the null back-end, which never opens and makes no sounds.
extern const sound_backend k_sound_sdl;
extern const sound_backend k_sound_readback;
extern const sound_backend k_sound_null;

// Opens the platform's streaming output when the "waveout" option allows; false when the
// system runs silent (the log says why).
bool open_sound_device();
// Opens the readback output for recording: stereo 8-bit blocks of `samples_per_block`.
bool open_readback_device(int samples_per_second, int samples_per_block);
void close_sound_device();
bool sound_device_open();
// The open device's operations; the null back-end's when none is open.
const sound_backend& sound_device();

// The streaming back-end's queue: fragments of 1/64 s, and how many are kept mixed ahead for a
// mix-ahead time in milliseconds (1 ... 32).
int sound_fragment_samples(int samples_per_second);
int sound_mixahead_fragments(int milliseconds);
