// Picture decoders and encoders on byte buffers: round trips, the formats' edge cases, bad input.
#include "resources/image.h"

#include "platform/log.h"

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cstring>

namespace {
const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

image patterned(int width, int height, int channels, uint32_t seed) {
    image im;
    EXPECT_TRUE(image_allocate(&im, width, height, channels));
    uint32_t x = seed;
    for (uint8_t& p : im.pixels) {
        x = x * 1664525u + 1013904223u;
        p = static_cast<uint8_t>(x >> 24);
    }
    return im;
}

// A PNG written straight through libpng in a form our encoder never writes.
std::string libpng_file(int width, int height, int colour, int depth,
                        const std::vector<uint8_t>& packed_rows, const png_color* palette = nullptr,
                        int palette_size = 0, const png_byte* trns = nullptr, int trns_count = 0) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(d), n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, depth, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) png_set_PLTE(png, info, palette, palette_size);
    if (trns) png_set_tRNS(png, info, trns, trns_count, nullptr);
    png_write_info(png, info);
    const size_t stride = packed_rows.size() / height;
    for (int y = 0; y < height; y++)
        png_write_row(png, const_cast<png_bytep>(&packed_rows[y * stride]));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void put_be32(std::string& s, uint32_t v) {
    for (int k = 3; k >= 0; k--) s.push_back(static_cast<char>(v >> (8 * k)));
}
} // namespace

TEST(J6, RoundTripRgbAndRgba) {
    for (int channels : {3, 4}) {
        image im = patterned(37, 23, channels, 7u + channels);
        std::string file = image_encode_j(im);
        EXPECT_EQ(file.substr(0, 2), channels == 3 ? "J6" : "J7");
        image back;
        bool ok = channels == 3 ? image_decode_j6(bytes_of(file), file.size(), &back)
                                : image_decode_j7(bytes_of(file), file.size(), &back);
        ASSERT_TRUE(ok);
        EXPECT_EQ(back.width, 37);
        EXPECT_EQ(back.height, 23);
        EXPECT_EQ(back.channels, channels);
        EXPECT_EQ(back.pixels, im.pixels);
    }
}

TEST(J6, AllZeroBytesDecodeToBlack) {
    std::string file = "J6\n4 3\n" + std::string(4 * 3 * 3, '\0');
    image im;
    ASSERT_TRUE(image_decode_j6(bytes_of(file), file.size(), &im));
    for (uint8_t p : im.pixels) EXPECT_EQ(p, 0);
}

TEST(J6, PredictionFromNeighbours) {
    // A 2 x 2 grey-ish picture worked by hand: first pixel 10; right of it 10 + 5; below 10 + 20;
    // the last predicted from 15 + 30 - 10 = 35, plus 1.
    std::string file = "J6 # comment line\n2 2\n";
    const uint8_t body[] = {10, 10, 10, 5, 5, 5, 20, 20, 20, 1, 1, 1};
    file.append(reinterpret_cast<const char*>(body), sizeof body);
    image im;
    ASSERT_TRUE(image_decode_j6(bytes_of(file), file.size(), &im));
    EXPECT_EQ(im.pixels[0], 10);
    EXPECT_EQ(im.pixels[3], 15);
    EXPECT_EQ(im.pixels[6], 30);
    EXPECT_EQ(im.pixels[9], 36);
}

TEST(J6, PredictionClampsToByteRange) {
    // left 250 + up 250 - corner 0 would be 500: the prediction is 255.
    image im;
    ASSERT_TRUE(image_allocate(&im, 2, 2, 3));
    const uint8_t values[4] = {0, 250, 250, 255};
    for (int i = 0; i < 4; i++) memset(&im.pixels[i * 3], values[i], 3);
    std::string file = image_encode_j(im);
    EXPECT_EQ(static_cast<uint8_t>(file[file.size() - 1]), 0) << "255 predicted exactly";
}

TEST(J6, ShortBodyAndBadHeadersAreRefused) {
    image im;
    std::string short_body = "J7\n8 8\n" + std::string(8 * 8 * 4 - 1, '\1');
    EXPECT_FALSE(image_decode_j7(bytes_of(short_body), short_body.size(), &im));
    std::string no_size = "J6\nwide tall\n";
    EXPECT_FALSE(image_decode_j6(bytes_of(no_size), no_size.size(), &im));
    std::string wrong_word = "J7\n1 1\n123";
    EXPECT_FALSE(image_decode_j6(bytes_of(wrong_word), wrong_word.size(), &im));
    std::string no_body_byte = "J6\n1 1";
    EXPECT_FALSE(image_decode_j6(bytes_of(no_body_byte), no_body_byte.size(), &im));
    std::string negative = "J6\n-4 4\n" + std::string(64, '\0');
    EXPECT_FALSE(image_decode_j6(bytes_of(negative), negative.size(), &im));
    // A header claiming a huge picture is refused before anything is allocated.
    std::string huge = "J6\n60000 60000\n" + std::string(100, '\0');
    EXPECT_FALSE(image_decode_j6(bytes_of(huge), huge.size(), &im));
    std::string overflow = "J7\n99999999999 2\n" + std::string(100, '\0');
    EXPECT_FALSE(image_decode_j7(bytes_of(overflow), overflow.size(), &im));
}

TEST(Ppm, BinaryRoundTripAndComments) {
    image im = patterned(9, 5, 3, 3);
    std::string file = image_encode_ppm(im);
    image back;
    ASSERT_TRUE(image_decode_ppm(bytes_of(file), file.size(), &back));
    EXPECT_EQ(back.pixels, im.pixels);
    std::string commented = "P6\n# made by hand\n2 # width\n1\n# max\n255\n" +
                            std::string("\x01\x02\x03\x04\x05\x06", 6);
    ASSERT_TRUE(image_decode_ppm(bytes_of(commented), commented.size(), &back));
    EXPECT_EQ(back.width, 2);
    EXPECT_EQ(back.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(Ppm, TextSamplesScaledByMaximum) {
    std::string file = "P3\n2 1\n15\n0 15 5  15 0 10\n";
    image im;
    ASSERT_TRUE(image_decode_ppm(bytes_of(file), file.size(), &im));
    EXPECT_EQ(im.pixels, (std::vector<uint8_t>{0, 255, 85, 255, 0, 170}));
}

TEST(Pgm, BinaryAndText) {
    image im = patterned(6, 4, 1, 9);
    std::string file = image_encode_ppm(im);
    EXPECT_EQ(file.substr(0, 2), "P5");
    image back;
    ASSERT_TRUE(image_decode_pgm(bytes_of(file), file.size(), &back));
    EXPECT_EQ(back.channels, 1);
    EXPECT_EQ(back.pixels, im.pixels);
    std::string text = "P2\n3 1\n100\n0 50 100\n";
    ASSERT_TRUE(image_decode_pgm(bytes_of(text), text.size(), &back));
    EXPECT_EQ(back.pixels, (std::vector<uint8_t>{0, 127, 255}));
}

TEST(Ppm, ErrorsAreKeptAsTheLastError) {
    image im;
    std::string not_ppm = "P7\n1 1\n255\nabc";
    EXPECT_FALSE(image_decode_ppm(bytes_of(not_ppm), not_ppm.size(), &im));
    ASSERT_NE(last_error(), nullptr);
    EXPECT_STREQ(last_error(), "Can't parse PPM header");
    std::string no_size = "P6\nx y\n255\n";
    EXPECT_FALSE(image_decode_ppm(bytes_of(no_size), no_size.size(), &im));
    EXPECT_STREQ(last_error(), "Can't get PPM dimensions");
    std::string pgm = "P5\n2\n";
    EXPECT_FALSE(image_decode_pgm(bytes_of(pgm), pgm.size(), &im));
    EXPECT_STREQ(last_error(), "Can't get PGM dimensions");
    std::string ppm_as_pgm = "P6\n1 1\n255\nabc";
    EXPECT_FALSE(image_decode_pgm(bytes_of(ppm_as_pgm), ppm_as_pgm.size(), &im));
    EXPECT_STREQ(last_error(), "Can't parse PGM header");
}

TEST(Ppm, ZeroMaximumShortBodiesAndHugeSizesAreRefused) {
    image im;
    std::string zero_max = "P6\n1 1\n0\nabc";
    EXPECT_FALSE(image_decode_ppm(bytes_of(zero_max), zero_max.size(), &im));
    std::string short_body = "P6\n4 4\n255\n" + std::string(47, 'x');
    EXPECT_FALSE(image_decode_ppm(bytes_of(short_body), short_body.size(), &im));
    std::string short_text = "P3\n2 2\n255\n1 2 3 4\n";
    EXPECT_FALSE(image_decode_ppm(bytes_of(short_text), short_text.size(), &im));
    std::string huge = "P5\n60000 60000\n255\n" + std::string(16, 'x');
    EXPECT_FALSE(image_decode_pgm(bytes_of(huge), huge.size(), &im));
}

TEST(Png, RoundTripRgbRgbaAndGrey) {
    for (int channels : {3, 4, 1}) {
        image im = patterned(19, 11, channels, 40u + channels);
        std::string file;
        ASSERT_TRUE(image_encode_png(im.pixels.data(), im.width, im.height, channels, "", &file));
        image back;
        ASSERT_TRUE(image_decode_png(bytes_of(file), file.size(), &back, nullptr));
        EXPECT_EQ(back.width, 19);
        EXPECT_EQ(back.height, 11);
        if (channels == 1) {
            // Grey pictures come back as RGB with every channel equal.
            ASSERT_EQ(back.channels, 3);
            for (size_t i = 0; i < im.pixels.size(); i++) {
                EXPECT_EQ(back.pixels[3 * i], im.pixels[i]);
                EXPECT_EQ(back.pixels[3 * i + 2], im.pixels[i]);
            }
        } else {
            EXPECT_EQ(back.channels, channels);
            EXPECT_EQ(back.pixels, im.pixels);
        }
    }
}

TEST(Png, TextChunksAreCollected) {
    image im = patterned(2, 2, 3, 1);
    std::string file;
    ASSERT_TRUE(image_encode_png(im.pixels.data(), 2, 2, 3, "[mip_max_alpha] [compress]", &file));
    image back;
    std::string text;
    ASSERT_TRUE(image_decode_png(bytes_of(file), file.size(), &back, &text));
    EXPECT_EQ(text, "[mip_max_alpha] [compress]");
    image_info_flags flags = image_info_parse(text);
    EXPECT_TRUE(flags.mip_max_alpha);
    EXPECT_TRUE(flags.compress);
    EXPECT_FALSE(flags.mip_custom);
}

TEST(Png, PaletteWithTransparencyBecomesRgba) {
    const png_color palette[2] = {{255, 0, 0}, {0, 0, 255}};
    const png_byte trns[1] = {0};
    std::string file = libpng_file(2, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1}, palette, 2, trns, 1);
    image im;
    ASSERT_TRUE(image_decode_png(bytes_of(file), file.size(), &im, nullptr));
    ASSERT_EQ(im.channels, 4);
    EXPECT_EQ(im.pixels, (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 255, 255}));
}

TEST(Png, LowDepthGreyAndSixteenBitAreEightBitRgb) {
    std::string one_bit = libpng_file(8, 1, PNG_COLOR_TYPE_GRAY, 1, {0xA0});
    image im;
    ASSERT_TRUE(image_decode_png(bytes_of(one_bit), one_bit.size(), &im, nullptr));
    ASSERT_EQ(im.channels, 3);
    EXPECT_EQ(im.pixels[0], 255);
    EXPECT_EQ(im.pixels[3], 0);
    EXPECT_EQ(im.pixels[6], 255);
    std::string deep =
        libpng_file(1, 1, PNG_COLOR_TYPE_RGB, 16, {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0xFF});
    ASSERT_TRUE(image_decode_png(bytes_of(deep), deep.size(), &im, nullptr));
    EXPECT_EQ(im.pixels, (std::vector<uint8_t>{0x12, 0xAB, 0xFF}));
}

TEST(Png16, RoundTripAndWidening) {
    std::vector<uint16_t> heights = {0, 1, 256, 65535, 40000, 12345};
    std::string file;
    ASSERT_TRUE(image_encode_png16(heights.data(), 3, 2, &file));
    std::vector<uint16_t> back;
    int width = 0, height = 0;
    ASSERT_TRUE(image_decode_png16(bytes_of(file), file.size(), &back, &width, &height));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(back, heights);
    // An 8-bit grey picture read for heights: each byte b becomes 257 b.
    std::string grey;
    const uint8_t samples[2] = {0x01, 0xFF};
    ASSERT_TRUE(image_encode_png(samples, 2, 1, 1, "", &grey));
    ASSERT_TRUE(image_decode_png16(bytes_of(grey), grey.size(), &back, &width, &height));
    EXPECT_EQ(back, (std::vector<uint16_t>{257, 65535}));
    // RGB converts to grey; a grey colour stays its own value.
    const uint8_t rgb[3] = {0x80, 0x80, 0x80};
    std::string colour;
    ASSERT_TRUE(image_encode_png(rgb, 1, 1, 3, "", &colour));
    ASSERT_TRUE(image_decode_png16(bytes_of(colour), colour.size(), &back, &width, &height));
    EXPECT_EQ(back, (std::vector<uint16_t>{0x8080}));
}

TEST(Png, HugeHeaderIsRefusedWithoutAllocating) {
    // A valid signature and IHDR claiming 60000 x 60000 RGB, and nothing else.
    std::string file("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr = "IHDR";
    put_be32(ihdr, 60000);
    put_be32(ihdr, 60000);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    put_be32(file, 13);
    file += ihdr;
    put_be32(file, static_cast<uint32_t>(
                       crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), ihdr.size())));
    image im;
    EXPECT_FALSE(image_decode_png(bytes_of(file), file.size(), &im, nullptr));
    std::vector<uint16_t> samples;
    int width, height;
    EXPECT_FALSE(image_decode_png16(bytes_of(file), file.size(), &samples, &width, &height));
}

TEST(Png, TruncatedAndGarbageInputFails) {
    image im = patterned(16, 16, 3, 5);
    std::string file;
    ASSERT_TRUE(image_encode_png(im.pixels.data(), 16, 16, 3, "", &file));
    image back;
    EXPECT_FALSE(image_decode_png(bytes_of(file), file.size() / 2, &back, nullptr));
    std::string garbage(100, 'x');
    EXPECT_FALSE(image_decode_png(bytes_of(garbage), garbage.size(), &back, nullptr));
    EXPECT_FALSE(image_decode_png(bytes_of(garbage), 0, &back, nullptr));
}

TEST(InfoText, WriterAndParserAgree) {
    image_info_flags flags;
    flags.mip_custom = true;
    flags.compress = true;
    image_info_flags back = image_info_parse(image_info_text(flags));
    EXPECT_FALSE(back.mip_max_alpha);
    EXPECT_TRUE(back.mip_custom);
    EXPECT_TRUE(back.compress);
    EXPECT_FALSE(image_info_parse("mip_custom compress").mip_custom)
        << "keywords need their brackets";
}
