// Choosing and holding the open sound device, the readback back-end that mixes a block for
// recording when asked, and the null back-end.
#include "platform/sound_device.h"

#include "platform/log.h"
#include "platform/mixer.h"
#include "platform/options.h"
#include "platform/platform.h"

#include <algorithm>
#include <vector>

namespace {
constexpr int k_fragments_per_second = 64;
constexpr int k_max_mixahead_fragments = 32;

struct sound_device_state {
    const sound_backend* open = nullptr;
    std::vector<uint8_t> readback_block; // left and right bytes interleaved
    int readback_samples = 0;
};
sound_device_state g_device;

bool readback_open(int samples_per_second, int samples_per_block) {
    log("Opening readback audio...\n");
    if (samples_per_second <= 0 || samples_per_block <= 0) {
        log("Malloc failed\n");
        return false;
    }
    int budget = platform_number("sound-channels", k_default_voice_budget);
    g_device.readback_samples = samples_per_block;
    g_device.readback_block.assign(static_cast<size_t>(samples_per_block) * 2, k_mixer_zero);
    mixer_open(samples_per_second, true, budget, samples_per_block);
    log("Audio opened!\n");
    return true;
}

void readback_close() {
    mixer_close();
    g_device.readback_block = std::vector<uint8_t>();
    g_device.readback_samples = 0;
}

void no_update() {}

const uint8_t* readback_block() {
    mixer_mix(g_device.readback_block.data(), g_device.readback_samples, false);
    return g_device.readback_block.data();
}

bool null_open(int, int) {
    log("No audio device\n");
    return false;
}
void null_close() {}
const uint8_t* null_readback() { return nullptr; }
int null_create(int, const uint8_t*, int) { return -1; }
int null_duplicate(int) { return -1; }
void null_sound(int) {}
void null_set(int, int) {}
void null_set_loop(int, bool) {}
int null_position(int) { return 0; }
void null_write(int, int, const uint8_t*, int) {}
} // namespace

const sound_backend k_sound_readback = {
    "readback",      readback_open,  readback_close, no_update,   readback_block, mixer_create,
    mixer_duplicate, mixer_free,     mixer_play,     mixer_stop,  mixer_set_rate, mixer_set_volume,
    mixer_set_pan,   mixer_set_loop, mixer_position, mixer_write,
};

const sound_backend k_sound_null = {
    "null",         null_open,     null_close,    no_update,  null_readback, null_create,
    null_duplicate, null_sound,    null_sound,    null_sound, null_set,      null_set,
    null_set,       null_set_loop, null_position, null_write,
};

bool open_sound_device() {
    if (g_device.open) {
        log("Audio already open\n");
        return false;
    }
    // The hardware-buffer back-end ("dsnd") does not exist here; the streaming one does.
    const sound_backend* backend = platform().sound;
    if (!backend || !platform_flag("waveout", 1)) return false;
    int rate = platform_number("sound-rate", 22050);
    if (!backend->open(rate, sound_fragment_samples(rate))) return false;
    g_device.open = backend;
    return true;
}

bool open_readback_device(int samples_per_second, int samples_per_block) {
    if (g_device.open) {
        log("Audio already open\n");
        return false;
    }
    if (!k_sound_readback.open(samples_per_second, samples_per_block)) return false;
    g_device.open = &k_sound_readback;
    return true;
}

void close_sound_device() {
    if (!g_device.open) return;
    g_device.open->close();
    g_device.open = nullptr;
}

bool sound_device_open() { return g_device.open != nullptr; }

const sound_backend& sound_device() { return g_device.open ? *g_device.open : k_sound_null; }

int sound_fragment_samples(int samples_per_second) {
    return std::max(samples_per_second / k_fragments_per_second, 1);
}

int sound_mixahead_fragments(int milliseconds) {
    return std::clamp(milliseconds * k_fragments_per_second / 1000, 1, k_max_mixahead_fragments);
}
