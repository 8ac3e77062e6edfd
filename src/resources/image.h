// Decoded images and the decoders and encoders of every picture format, on byte buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest picture any reader accepts: larger headers are refused before allocating.
constexpr int k_image_max_side = 16384;           // pixels
constexpr int64_t k_image_max_pixels = 1LL << 24; // pixels in level 0

// A decoded picture: rows from the top, 8 bits per channel, then (when `levels` > 1) the
// mip chain in the same buffer, each level halving width and height down to 1 x 1.
struct image {
    int width = 0;    // pixels
    int height = 0;   // pixels
    int channels = 0; // 1 grey, 3 RGB, 4 RGBA
    int levels = 0;   // levels held in `pixels`, level 0 included
    std::vector<uint8_t> pixels;
};

// Keywords of a picture's info text (its PNG text chunks and its ".info" file).
struct image_info_flags {
    bool mip_max_alpha = false;
    bool mip_custom = false;
    bool compress = false;
};
image_info_flags image_info_parse(const std::string& info);
// The ".info" text that sets the given keywords, one a line.
std::string image_info_text(const image_info_flags& flags);

// Level geometry of an image's buffer.
int image_level_width(const image& im, int level);
int image_level_height(const image& im, int level);
size_t image_level_offset(const image& im, int level);
uint8_t* image_level(image& im, int level);
const uint8_t* image_level(const image& im, int level);

// True when the size is within the readers' limits (logs the refusal otherwise).
bool image_size_acceptable(int64_t width, int64_t height, const char* what);
// Allocates level 0 only (levels = 1); false when the size is refused.
bool image_allocate(image* im, int width, int height, int channels);
// Replaces any mip chain by a box-filtered one down to 1 x 1.
void image_build_mips(image* im, bool max_alpha);
// Nearest-neighbour resampling of level 0 to the given size; drops the mip chain.
void image_resample(image* im, int width, int height);
// The largest power of two not above n (1 for n below 3).
int image_power_of_two_below(int n);
bool image_is_power_of_two(int n);
// Drops level 0, making level 1 the picture.
void image_drop_level(image* im);
// True when every channel of level 0 is within 4 of level 1 scaled up by 2.
bool image_level_redundant(const image& im);
// Expands grey to RGB (textures upload RGB or RGBA only).
void image_grey_to_rgb(image* im);
// Reads a custom mip layout (W x 3H/2) into a W x H image with its own chain; false when
// the height does not allow it.
bool image_from_custom_mips(const image& file, image* out);

// PPM ("P6"/"P3") and PGM ("P5"/"P2"). On failure the error text is set and logged.
bool image_decode_ppm(const uint8_t* data, size_t size, image* out);
bool image_decode_pgm(const uint8_t* data, size_t size, image* out);
// "J6" (RGB) and "J7" (RGBA): predicted, byte-wise coded pixels.
bool image_decode_j6(const uint8_t* data, size_t size, image* out);
bool image_decode_j7(const uint8_t* data, size_t size, image* out);
// The J6/J7 body alone (after the header), channels 3 or 4: width x height x channels bytes.
bool image_decode_j_body(const uint8_t* data, size_t size, int width, int height, int channels,
                         image* out);
std::string image_encode_j(const image& im);   // "J6" for 3 channels, "J7" for 4
std::string image_encode_ppm(const image& im); // binary "P6" (3 channels) or "P5" (1 channel)

// PNG at 8 bits per channel (3 or 4 channels); `text` gets the text chunks' text.
bool image_decode_png(const uint8_t* data, size_t size, image* out, std::string* text);
// PNG as 16-bit grey samples (heights): colour converted to grey, narrow samples widened.
bool image_decode_png16(const uint8_t* data, size_t size, std::vector<uint16_t>* samples,
                        int* width, int* height);
// PNG encoders: 8-bit grey, RGB or RGBA (rows from the top), and 16-bit grey.
bool image_encode_png(const uint8_t* pixels, int width, int height, int channels,
                      const std::string& text, std::string* out);
bool image_encode_png16(const uint16_t* samples, int width, int height, std::string* out);

// Draws text in a blocky built-in font (digits, capitals, a few signs) into an RGB or RGBA
// image, `scale` pixels per font cell, top-left corner at (x, y).
void image_draw_text(image* im, int x, int y, int scale, const char* text, const uint8_t* colour);
int image_text_width(const char* text, int scale); // pixels
// The number plate picture: 128 x 128 RGB, the first 7 characters centred.
image image_number_plate(const char* number, const uint8_t background[3],
                         const uint8_t foreground[3]);

// Makes a decoded picture ready for upload: grey becomes RGB, sides that are not powers of two
// are resampled down to powers of two, the mip chain is built (unless the picture brought its
// own), `skip` levels are dropped while both sides exceed 128, and levels that the next one
// predicts within 4 are dropped while a side exceeds 16 (shown as "reduced to").
void image_prepare_texture(image* im, int skip, bool max_alpha, const char* name);
// Animation frames: powers of two, then halved while above 65536 pixels, with a mip chain.
void image_prepare_anim_frame(image* im);
