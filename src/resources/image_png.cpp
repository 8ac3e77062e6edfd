// PNG through libpng: 8-bit RGB/RGBA and 16-bit grey reading from memory, and encoding to memory.
#include "resources/image.h"

#include "platform/log.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {
struct memory_source {
    const uint8_t* data;
    size_t size;
    size_t at;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<memory_source*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "PNG data ends early");
    memcpy(out, source->data + source->at, count);
    source->at += count;
}

void write_to_string(png_structp png, png_bytep data, png_size_t count) {
    static_cast<std::string*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), count);
}

void flush_nothing(png_structp) {}

void report_error(png_structp png, png_const_charp message) {
    log("PNG error: %s\n", message);
    png_longjmp(png, 1);
}

void report_warning(png_structp, png_const_charp) {}

void append_text(png_structp png, png_infop info, std::string* text) {
    png_textp chunks = nullptr;
    int count = 0;
    png_get_text(png, info, &chunks, &count);
    for (int i = 0; i < count; i++)
        if (chunks[i].text)
            text->append(chunks[i].text,
                         chunks[i].text_length ? chunks[i].text_length : strlen(chunks[i].text));
}

// A libpng reader over a memory source.
struct png_reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop end_info = nullptr;
};

// What a read fills in. It lives in the caller's frame, so a libpng error may jump over the
// reader without leaking it.
struct png_read {
    std::vector<uint8_t> pixels;   // 8-bit RGB or RGBA, rows top first
    std::vector<uint16_t> samples; // 16-bit grey, rows top first
    std::vector<png_bytep> rows;
    std::string text; // the text chunks, in file order
    int width = 0;
    int height = 0;
    int channels = 0;
};

enum class png_form { rgb8, grey16 };

void reader_destroy(png_reader* r) { png_destroy_read_struct(&r->png, &r->info, &r->end_info); }

// The read structures with our error and warning handlers; false when libpng can't make them.
bool reader_create(png_reader* r) {
    r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, report_error, report_warning);
    if (!r->png) return false;
    r->info = png_create_info_struct(r->png);
    r->end_info = png_create_info_struct(r->png);
    if (r->info && r->end_info) return true;
    reader_destroy(r);
    return false;
}

// Reads every row into pixels: rows of row_bytes, top first.
void reader_read_rows(png_reader* r, uint8_t* pixels, size_t row_bytes,
                      std::vector<png_bytep>* rows) {
    const png_uint_32 height = png_get_image_height(r->png, r->info);
    rows->assign(height, nullptr);
    for (png_uint_32 y = 0; y < height; y++) (*rows)[y] = pixels + y * row_bytes;
    png_read_image(r->png, rows->data());
}

// 8-bit RGB or RGBA from any colour type, with the text chunks before and after the pixels.
void read_rgb8(png_reader* r, png_read* out) {
    png_structp png = r->png;
    png_infop info = r->info;
    const int colour = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_strip_16(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    if (channels != 3 && channels != 4) png_error(png, "unexpected channel count");
    const png_uint_32 width = png_get_image_width(png, info),
                      height = png_get_image_height(png, info);
    const size_t row_bytes = png_get_rowbytes(png, info);
    if (row_bytes != static_cast<size_t>(width) * channels) png_error(png, "unexpected row size");
    out->pixels.assign(row_bytes * height, 0);
    reader_read_rows(r, out->pixels.data(), row_bytes, &out->rows);
    png_read_end(png, r->end_info);
    append_text(png, info, &out->text);
    append_text(png, r->end_info, &out->text);
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->channels = channels;
}

// 16-bit grey in the host's byte order from any colour type.
void read_grey16(png_reader* r, png_read* out) {
    png_structp png = r->png;
    png_infop info = r->info;
    const int colour = png_get_color_type(png, info);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (colour & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray(png, 1, -1, -1);
    png_set_strip_alpha(png);
    png_set_expand_16(png);
    png_set_swap(png); // samples in the host's order (little endian)
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != 1 || png_get_bit_depth(png, info) != 16)
        png_error(png, "not grey after conversion");
    const png_uint_32 width = png_get_image_width(png, info),
                      height = png_get_image_height(png, info);
    out->samples.assign(static_cast<size_t>(width) * height, 0);
    reader_read_rows(r, reinterpret_cast<uint8_t*>(out->samples.data()),
                     static_cast<size_t>(width) * 2, &out->rows);
    png_read_end(png, nullptr);
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->channels = 1;
}

// The part that libpng may jump out of, up to the setjmp here: the header, checked for size
// before any row is allocated, then the pixels in the form asked for.
bool read_png(memory_source* source, png_form form, png_read* out) {
    png_reader r;
    if (!reader_create(&r)) return false;
    if (setjmp(png_jmpbuf(r.png))) {
        reader_destroy(&r);
        return false;
    }
    png_set_user_limits(r.png, k_image_max_side, k_image_max_side);
    png_set_read_fn(r.png, source, read_from_memory);
    png_read_info(r.png, r.info);
    png_uint_32 w = png_get_image_width(r.png, r.info), h = png_get_image_height(r.png, r.info);
    if (!image_size_acceptable(w, h, "PNG")) png_error(r.png, "picture too large");
    if (form == png_form::grey16)
        read_grey16(&r, out);
    else
        read_rgb8(&r, out);
    reader_destroy(&r);
    return true;
}

bool write_png(const uint8_t* pixels, int width, int height, int colour, int depth,
               int bytes_per_pixel, const std::string& text, std::string* out) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, report_error, report_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, write_to_string, flush_nothing);
    png_set_IHDR(png, info, width, height, depth, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_text chunk = {};
    if (!text.empty()) {
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = const_cast<char*>("Comment");
        chunk.text = const_cast<char*>(text.c_str());
        chunk.text_length = text.size();
        png_set_text(png, info, &chunk, 1);
    }
    png_write_info(png, info);
    if (depth == 16) png_set_swap(png);
    const size_t stride = static_cast<size_t>(width) * bytes_per_pixel;
    for (int y = 0; y < height; y++) png_write_row(png, const_cast<png_bytep>(pixels + y * stride));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

bool image_decode_png(const uint8_t* data, size_t size, image* out, std::string* text) {
    memory_source source = {data, size, 0};
    png_read read;
    if (!read_png(&source, png_form::rgb8, &read)) return false;
    out->width = read.width;
    out->height = read.height;
    out->channels = read.channels;
    out->levels = 1;
    out->pixels = std::move(read.pixels);
    if (text) *text = std::move(read.text);
    return true;
}

bool image_decode_png16(const uint8_t* data, size_t size, std::vector<uint16_t>* samples,
                        int* width, int* height) {
    memory_source source = {data, size, 0};
    png_read read;
    if (!read_png(&source, png_form::grey16, &read)) return false;
    *samples = std::move(read.samples);
    *width = read.width;
    *height = read.height;
    return true;
}

bool image_encode_png(const uint8_t* pixels, int width, int height, int channels,
                      const std::string& text, std::string* out) {
    const int colour = channels == 1   ? PNG_COLOR_TYPE_GRAY
                       : channels == 3 ? PNG_COLOR_TYPE_RGB
                                       : PNG_COLOR_TYPE_RGBA;
    if ((channels != 1 && channels != 3 && channels != 4) || width < 1 || height < 1) return false;
    out->clear();
    return write_png(pixels, width, height, colour, 8, channels, text, out);
}

bool image_encode_png16(const uint16_t* samples, int width, int height, std::string* out) {
    if (width < 1 || height < 1) return false;
    out->clear();
    return write_png(reinterpret_cast<const uint8_t*>(samples), width, height, PNG_COLOR_TYPE_GRAY,
                     16, 2, "", out);
}
