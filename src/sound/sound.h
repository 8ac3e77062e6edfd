// Engine sounds: every rider slot's engine voice, loaded with its bike, synthesised once per
// frame and streamed to the sound device with Doppler shift, distance and pan.
#pragma once

#include "sound/engine_voice.h"

// Where the engines are heard from this frame (the camera).
void engine_sound_set_listener(const sound_listener& listener);
const sound_listener& engine_sound_listener();

// One frame of a slot's engine sound at `volume` (0 ... 1): its voice is loaded when the slot's
// bike is new, then synthesised from the bike's engine and placed around the listener.
void engine_sound_update(int slot, float volume);
// Frees the slot's voice and its stream.
void engine_sound_close(int slot);
// 1 normally; 0 mutes the slot (a demo rider whose recorded data ran out).
void engine_sound_set_volume_factor(int slot, float factor);

// Loads a voice into a slot for an engine class and a sound name (a bike texture name), with a
// new stream; returns the ".braap" file used, "" for the built-in template alone.
std::string engine_sound_load(int slot, const char* engine_class, const char* sound_name);
// What one frame's synthesis reads of the engine and the bike's main body.
struct engine_sound_input {
    float rpm = 1000; // rpm
    float torque = 0; // lbf·ft
    vec3d position;   // ft
    vec3d velocity;   // ft/s
};
// One frame of a loaded slot's voice for the given engine state.
void engine_sound_synthesise(int slot, const engine_sound_input& input, float volume);
// The slot's voice, nullptr when none is loaded.
const engine_voice* engine_sound_voice(int slot);

// The console's "pipe": up to five values "%f %f %f %d %d" for the slot's exhaust pipe; values
// left out are the class template's. Shows "Pipe updated"; false when the slot has no voice.
bool engine_sound_pipe(int slot, const char* args);

// Closes every voice and frees the sound tables and samples (shut-down).
void engine_sounds_free();
