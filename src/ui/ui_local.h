// What the ui folder's own files share.
#pragma once

#include <cstdint>

// The HUD pictures the HUD draws with (0 for one that could not be loaded).
void hud_set_pictures(uint32_t tach, uint32_t shifter, uint32_t pitboard);
