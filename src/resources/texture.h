// Textures: loading pictures by name into OpenGL, the cache with generations, animations,
// links, and the picture files read and written by name.
#pragma once

#include "resources/image.h"

#include <cstdint>
#include <string>
#include <vector>

// Loads a data-file name as a texture (cached); 0 when it can't. A leading "!" loads at full
// detail. Without a GL context the texture still gets an id, so the cache works headless.
uint32_t texture_load(const char* name);
// Uploads a picture made in memory (the number texture, composed pictures); not cached by name.
uint32_t texture_from_image(const image& im, const char* name, bool repeat);
// The number plate texture for a rider number with its plate colours (0-255 per channel).
uint32_t texture_number(const char* number, const uint8_t background[3],
                        const uint8_t foreground[3]);
const char* texture_name(uint32_t id); // "" when unknown
// The info text (PNG text chunks and ".info" file) of a loaded texture; "" when none.
const char* texture_info(uint32_t id);
// Replaces the name's ending with each suffix in turn; the first that loads, else 0.
uint32_t texture_variant(const char* name, const std::vector<const char*>& suffixes);
// Makes a loaded texture permanent (generation 0), like the HUD pictures.
void texture_make_permanent(uint32_t id);
// The names of the cached textures in load order; textures made in memory carry their own
// ("number plate").
std::vector<std::string> texture_cached_names();
// Deletes textures, cached images and animations of old generations (or everything).
void texture_purge(bool all);
void texture_generation_advance();
int texture_generation();
int texture_count();
// Bytes of all uploaded textures, and zeroing it when the track changes.
int64_t texture_memory();
void texture_memory_reset();
// `model_texture_skip` (mip levels skipped) and `texture_compress_mode` (0 never, 1 per file, 2
// always).
void texture_set_detail(int skip, int compress_mode);

// The pictures of a texture's image sequence at the size it was uploaded, each with its mip
// chain: an animation's frames, or the one picture of a texture read from a file (read again).
// False for an id that is not loaded or a picture made in memory.
bool texture_frames(uint32_t id, std::vector<image>* frames);
// New pixels for every level of a loaded texture (same size and channels, else false); an
// animation on it stops so that the new pixels stay.
bool texture_replace_pixels(uint32_t id, const image& im);

// Animations: every frame, and the flaggers' start and pause.
void anim_update(int tic);
void anim_start(uint32_t id, int tic);
void anim_pause(uint32_t id);
int anim_shown_frame(uint32_t id); // the frame index on the texture now, -1 when not animated

// Pictures by name, cache-free: J6, J7, PPM, PGM, PNG (links followed). Pixels of level 0 only.
bool image_load(const char* name, image* out);
bool image_read_ppm(const char* name, image* out);
bool image_read_pgm(const char* name, image* out);
bool image_read_png16(const char* name, std::vector<uint16_t>* samples, int* width, int* height);
// The text of a PNG's text chunks followed by the name's ".info" file.
std::string image_info_for(const char* name, const std::string& chunk_text);
// Follows "LINK" files from a name to the name they end at; false on a loop or a broken link.
bool link_resolve(const char* name, std::string* target);
// Forgets the recorded links (they are kept like textures, until a full purge).
void links_forget();

// PNG writers by data-file name ("@" names go to the home folder).
bool png_write_grey16(const char* name, const uint16_t* samples, int width, int height);
bool png_write_rgb8(const char* name, const uint8_t* pixels, int width, int height);
