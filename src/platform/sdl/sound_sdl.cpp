// The SDL streaming sound back-end: the software mixer renders fragments of 1/64 s on SDL's
// audio thread, keeping the mix-ahead count of them mixed before they are played.
#include "platform/log.h"
#include "platform/mixer.h"
#include "platform/options.h"
#include "platform/sound_device.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr int k_fragment_ring = 64;
constexpr int k_min_rate = 4000;   // samples per second
constexpr int k_max_rate = 192000; // samples per second

struct sdl_sound_state {
    bool open = false;
    SDL_AudioDeviceID device = 0;
    SDL_mutex* mutex = nullptr; // held for every sound operation and every fragment mix
    int channels = 2;
    int fragment_samples = 0;
    int fragment_bytes = 0;
    int mixahead = 8;               // fragments kept mixed ahead
    std::vector<uint8_t> fragments; // the ring of 64 fragments
    // Touched only by the audio thread once it runs.
    int64_t mixed = 0;  // fragments mixed so far
    int64_t played = 0; // fragments handed to SDL whole
    int offset = 0;     // bytes of the fragment being handed over
    char device_name[256] = {};
};
sdl_sound_state g_sdl_sound;

uint8_t* fragment(int64_t n) {
    return g_sdl_sound.fragments.data() + (n % k_fragment_ring) * g_sdl_sound.fragment_bytes;
}

// SDL asks for `length` bytes: hand over mixed fragments, mixing new ones so that the mix-ahead
// count of fragments is always ready beyond the one being played.
void SDLCALL fill_audio(void*, Uint8* stream, int length) {
    sdl_sound_state& g = g_sdl_sound;
    while (length > 0) {
        while (g.mixed - g.played < g.mixahead) {
            SDL_LockMutex(g.mutex);
            mixer_mix(fragment(g.mixed), g.fragment_samples, false);
            SDL_UnlockMutex(g.mutex);
            g.mixed++;
        }
        int count = std::min(length, g.fragment_bytes - g.offset);
        std::memcpy(stream, fragment(g.played) + g.offset, static_cast<size_t>(count));
        stream += count;
        length -= count;
        g.offset += count;
        if (g.offset == g.fragment_bytes) {
            g.offset = 0;
            g.played++;
        }
    }
}

void close_parts() {
    sdl_sound_state& g = g_sdl_sound;
    if (g.device) SDL_CloseAudioDevice(g.device);
    if (g.mutex) SDL_DestroyMutex(g.mutex);
    mixer_close();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g = sdl_sound_state{};
}

// Names the default output; whether it has two channels (stereo when SDL cannot say).
bool default_output_is_stereo() {
    char* default_name = nullptr;
    SDL_AudioSpec format{};
    char* name = g_sdl_sound.device_name;
    const size_t size = sizeof g_sdl_sound.device_name;
    if (SDL_GetDefaultAudioInfo(&default_name, &format, 0) == 0) {
        SDL_strlcpy(name, default_name ? default_name : "default output", size);
        SDL_free(default_name);
        return format.channels != 1;
    }
    const char* first = SDL_GetNumAudioDevices(0) > 0 ? SDL_GetAudioDeviceName(0, 0) : nullptr;
    SDL_strlcpy(name, first ? first : "default output", size);
    return true;
}

bool sdl_sound_open(int rate, int) {
    sdl_sound_state& g = g_sdl_sound;
    log("Opening SDL audio...\n");
    if (g.open) {
        log("Audio already open\n");
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        log("No audio device\n");
        log("SDL audio: %s\n", SDL_GetError());
        return false;
    }
    bool stereo = default_output_is_stereo();
    log("Found a %s\n", g.device_name);

    int budget = platform_number("sound-channels", k_default_voice_budget);
    int mixahead_ms = platform_number("sound-mixahead", 125);
    rate = std::clamp(rate, k_min_rate, k_max_rate);
    g.channels = stereo ? 2 : 1;
    g.fragment_samples = sound_fragment_samples(rate);
    g.fragment_bytes = g.fragment_samples * g.channels;
    g.mixahead = sound_mixahead_fragments(mixahead_ms);
    log("Audio rate: %d\n", rate);
    log("Audio channels: %d\n", budget);
    log("Audio mixahead: %d\n", g.mixahead * 1000 / 64);

    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = static_cast<Uint8>(g.channels);
    // SDL's own buffer: the smallest power of two that holds a fragment.
    want.samples = 1;
    while (want.samples < g.fragment_samples) want.samples = static_cast<Uint16>(want.samples * 2);
    want.callback = fill_audio;
    SDL_AudioSpec have{};
    g.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!g.device) {
        log("Can't open SDL audio: %s\n", SDL_GetError());
        close_parts();
        return false;
    }
    g.mutex = SDL_CreateMutex();
    if (!g.mutex) {
        log("Can't create mutex\n");
        close_parts();
        return false;
    }
    g.fragments.assign(static_cast<size_t>(k_fragment_ring) * g.fragment_bytes, k_mixer_zero);
    mixer_open(rate, stereo, budget, g.fragment_samples);
    g.open = true;
    SDL_PauseAudioDevice(g.device, 0);
    log("Audio opened!\n");
    return true;
}

void sdl_sound_close() {
    if (!g_sdl_sound.open) {
        log("Can't close audio, not open\n");
        return;
    }
    log("Closing audio\n");
    // Closing the device waits for the audio thread to leave its last fragment.
    close_parts();
}

void sdl_sound_update() {}
const uint8_t* sdl_no_readback() { return nullptr; }

// Every operation holds the mixer mutex, so the audio thread never mixes a half-changed sound.
struct mixer_lock {
    mixer_lock() { SDL_LockMutex(g_sdl_sound.mutex); }
    ~mixer_lock() { SDL_UnlockMutex(g_sdl_sound.mutex); }
    mixer_lock(const mixer_lock&) = delete;
    mixer_lock& operator=(const mixer_lock&) = delete;
};

// A mixer operation called under the lock.
template <auto op> struct locked;
template <typename R, typename... A, R (*op)(A...)> struct locked<op> {
    static R call(A... a) {
        mixer_lock lock;
        return op(a...);
    }
};
} // namespace

const sound_backend k_sound_sdl = {
    "sdl",
    sdl_sound_open,
    sdl_sound_close,
    sdl_sound_update,
    sdl_no_readback,
    locked<mixer_create>::call,
    locked<mixer_duplicate>::call,
    locked<mixer_free>::call,
    locked<mixer_play>::call,
    locked<mixer_stop>::call,
    locked<mixer_set_rate>::call,
    locked<mixer_set_volume>::call,
    locked<mixer_set_pan>::call,
    locked<mixer_set_loop>::call,
    locked<mixer_position>::call,
    locked<mixer_write>::call,
};
