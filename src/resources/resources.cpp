// Texture and model caches; filled in as image and model loading arrive.
#include "resources/resources.h"

void texture_choice_lists_build() {}
void texture_choice_lists_free() {}
void textures_delete_all() {}
void models_delete_all() {}
