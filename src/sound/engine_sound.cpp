// Every rider slot's engine voice: loaded with the slot's bike, synthesised each frame into its
// stream on the sound device, and placed around the listener.
#include "sound/sound.h"

#include "common/common.h"
#include "common/message.h"
#include "platform/mixer.h"
#include "platform/sound_device.h"

#include <cstdio>
#include <cstring>

namespace {
// A slot's voice and what it was loaded for, so a new bike in the slot gets a new voice.
struct slot_voice {
    bool loaded = false;
    engine_voice voice;
    int bike = -1;
    int catalogue = -1;
    std::string sound_name;
    std::string engine_class;
};

struct engine_sound_state {
    slot_voice slots[k_max_riders];
    sound_listener listener;
    uint8_t bytes[k_voice_max_block] = {};
};
engine_sound_state g_engine_sound;

bool valid_slot(int slot) { return slot >= 0 && slot < k_max_riders; }
} // namespace

void engine_sound_set_listener(const sound_listener& listener) {
    g_engine_sound.listener = listener;
}

const sound_listener& engine_sound_listener() { return g_engine_sound.listener; }

std::string engine_sound_load(int slot, const char* engine_class, const char* sound_name) {
    if (!valid_slot(slot)) return "";
    engine_sound_close(slot);
    slot_voice& s = g_engine_sound.slots[slot];
    const sound_backend& device = sound_device();
    uint8_t silence[k_voice_ring_size];
    memset(silence, k_mixer_zero, sizeof silence);
    s.voice.stream = device.create(k_voice_ring_size, silence, 0);
    if (s.voice.stream >= 0) {
        device.set_loop(s.voice.stream, true);
        device.set_volume(s.voice.stream, 0);
        device.play(s.voice.stream);
    }
    s.loaded = true;
    s.sound_name = sound_name;
    s.engine_class = engine_class;
    return voice_load(s.voice, engine_class, sound_name);
}

void engine_sound_synthesise(int slot, const engine_sound_input& in, float volume) {
    if (!valid_slot(slot) || !g_engine_sound.slots[slot].loaded) return;
    engine_voice& v = g_engine_sound.slots[slot].voice;
    if (v.stream < 0) return;
    const sound_backend& device = sound_device();
    int first = 0;
    int made = voice_synthesise(v, device.position(v.stream), in.rpm, in.torque,
                                g_engine_sound.bytes, &first);
    if (made > 0) device.write(v.stream, made, g_engine_sound.bytes, first);
    voice_spatial spatial = voice_spatial_of(in.position, in.velocity, g_engine_sound.listener,
                                             volume * v.volume_factor);
    device.set_rate(v.stream, spatial.rate);
    device.set_volume(v.stream, spatial.volume);
    device.set_pan(v.stream, spatial.pan);
}

void engine_sound_update(int slot, const sound_source& source) {
    if (!valid_slot(slot)) return;
    if (source.bike < 0) {
        engine_sound_close(slot);
        return;
    }
    slot_voice& s = g_engine_sound.slots[slot];
    if (!s.loaded || s.bike != source.bike || s.catalogue != source.catalogue ||
        s.sound_name != source.sound_name) {
        float factor = s.loaded ? s.voice.volume_factor : 1.0f;
        engine_sound_load(slot, source.engine_class, source.sound_name);
        s.bike = source.bike;
        s.catalogue = source.catalogue;
        s.voice.volume_factor = factor;
    }
    engine_sound_synthesise(slot, source.engine, source.volume);
}

void engine_sounds_update(const sound_frame& frame) {
    if (frame.has_listener) g_engine_sound.listener = frame.listener;
    for (int slot = 0; slot < k_max_riders; slot++) engine_sound_update(slot, frame.sources[slot]);
    sound_device().update();
}

void engine_sound_close(int slot) {
    if (!valid_slot(slot)) return;
    slot_voice& s = g_engine_sound.slots[slot];
    if (s.loaded && s.voice.stream >= 0) sound_device().free(s.voice.stream);
    s = slot_voice{};
}

void engine_sound_set_volume_factor(int slot, float factor) {
    if (valid_slot(slot)) g_engine_sound.slots[slot].voice.volume_factor = factor;
}

const engine_voice* engine_sound_voice(int slot) {
    if (!valid_slot(slot) || !g_engine_sound.slots[slot].loaded) return nullptr;
    return &g_engine_sound.slots[slot].voice;
}

bool engine_sound_pipe(int slot, const char* args) {
    if (!valid_slot(slot) || !g_engine_sound.slots[slot].loaded) return false;
    slot_voice& s = g_engine_sound.slots[slot];
    const bool four_stroke = s.engine_class == "250f" || s.engine_class == "450f";
    pipe_params p = four_stroke ? voice_template_pipe("250f") : pipe_params{1.75f, 0.3f, -0.75f};
    p.first_tap = 0;
    p.last_tap = k_pipe_taps - 1;
    sscanf(args ? args : "", "%f %f %f %d %d", &p.length, &p.spread, &p.gain, &p.first_tap,
           &p.last_tap);
    voice_set_pipe(s.voice, p);
    show_message("Pipe updated");
    return true;
}

void engine_sounds_free() {
    for (int slot = 0; slot < k_max_riders; slot++) engine_sound_close(slot);
    sound_tables_free();
}
