// Engine sounds: every rider slot's engine voice, loaded with its bike, synthesised once per
// frame and streamed to the sound device with Doppler shift, distance and pan.
#pragma once

#include "sound/engine_voice.h"

#include "common/common.h"

// Where the engines are heard from this frame (the camera).
void engine_sound_set_listener(const sound_listener& listener);
const sound_listener& engine_sound_listener();

// What one frame's synthesis reads of the engine and the bike's main body.
struct engine_sound_input {
    float rpm = 1000; // rpm
    float torque = 0; // lbf·ft
    vec3d position;   // ft
    vec3d velocity;   // ft/s
};

// One slot's engine as the frame hands it over.
struct sound_source {
    int bike = -1;                 // the slot's live bike, -1 for none (its voice closes)
    int catalogue = -1;            // the bike's catalogue entry
    const char* engine_class = ""; // the bike's engine class ("250f" ...)
    const char* sound_name = "";   // the voice's name: a robot's bike texture, else the model's
    float volume = 0;              // 0 ... 1
    engine_sound_input engine;
};

// What the engines sound like this frame: where they are heard from and every slot's engine.
struct sound_frame {
    bool has_listener = false; // without one the listener stays where it was
    sound_listener listener;
    sound_source sources[k_max_riders];
};

// One frame of every slot's engine sound; then the sound device is driven.
void engine_sounds_update(const sound_frame& frame);
// One frame of a slot's engine sound: its voice is loaded when the slot's bike is new, then
// synthesised from the engine and placed around the listener; a slot without a bike is closed.
void engine_sound_update(int slot, const sound_source& source);
// Frees the slot's voice and its stream.
void engine_sound_close(int slot);
// 1 normally; 0 mutes the slot (a demo rider whose recorded data ran out).
void engine_sound_set_volume_factor(int slot, float factor);

// Loads a voice into a slot for an engine class and a sound name (a bike texture name), with a
// new stream; returns the ".braap" file used, "" for the built-in template alone.
std::string engine_sound_load(int slot, const char* engine_class, const char* sound_name);
// One frame of a loaded slot's voice for the given engine state.
void engine_sound_synthesise(int slot, const engine_sound_input& input, float volume);
// The slot's voice, nullptr when none is loaded.
const engine_voice* engine_sound_voice(int slot);

// The console's "pipe": up to five values "%f %f %f %d %d" for the slot's exhaust pipe; values
// left out are the class template's. Shows "Pipe updated"; false when the slot has no voice.
bool engine_sound_pipe(int slot, const char* args);

// Closes every voice and frees the sound tables and samples (shut-down).
void engine_sounds_free();
