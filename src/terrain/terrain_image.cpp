// Height images through the image readers and writers of the resources.
#include "terrain/terrain_image.h"

bool terrain_image_read_grey16(const char*, terrain_image*) { return false; }
bool terrain_image_write_grey16(const char*, const uint16_t*, int, int) { return false; }
