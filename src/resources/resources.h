// Images, textures and models: the caches the program frees at shut-down.
#pragma once

// The texture choice lists (rider bodies, helmets, bike graphics, wheels).
void texture_choice_lists_build();
void texture_choice_lists_free();
void textures_delete_all();
void models_delete_all();
