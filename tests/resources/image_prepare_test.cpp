// Preparing pictures for upload: mip chains, power-of-two resampling, dropped detail, custom mips.
#include "resources/image.h"

#include "common/message.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
image filled(int width, int height, int channels, std::initializer_list<uint8_t> colour) {
    image im;
    EXPECT_TRUE(image_allocate(&im, width, height, channels));
    for (size_t i = 0; i < im.pixels.size(); i += channels)
        std::copy(colour.begin(), colour.end(), &im.pixels[i]);
    return im;
}
} // namespace

TEST(MipChain, LevelsHalveDownToOneByOne) {
    image im = filled(8, 2, 3, {1, 2, 3});
    image_build_mips(&im, false);
    ASSERT_EQ(im.levels, 4);
    EXPECT_EQ(image_level_width(im, 3), 1);
    EXPECT_EQ(image_level_height(im, 3), 1);
    EXPECT_EQ(im.pixels.size(), static_cast<size_t>((16 + 4 + 2 + 1) * 3));
}

TEST(MipChain, BoxMeanAndAlphaWeightedColour) {
    image rgb;
    ASSERT_TRUE(image_allocate(&rgb, 2, 2, 3));
    const uint8_t values[4] = {0, 100, 200, 100};
    for (int i = 0; i < 4; i++) memset(&rgb.pixels[i * 3], values[i], 3);
    image_build_mips(&rgb, false);
    EXPECT_EQ(image_level(rgb, 1)[0], 100);

    // One opaque red pixel among transparent black ones: colour stays red, alpha is the mean.
    image rgba = filled(2, 2, 4, {0, 0, 0, 0});
    rgba.pixels[0] = 255;
    rgba.pixels[3] = 255;
    image max_alpha = rgba;
    image_build_mips(&rgba, false);
    const uint8_t* p = image_level(rgba, 1);
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[3], 64);
    image_build_mips(&max_alpha, true);
    EXPECT_EQ(image_level(max_alpha, 1)[3], 255);

    // All transparent: a plain mean of the colours.
    image clear = filled(2, 2, 4, {0, 0, 0, 0});
    clear.pixels[0] = 200;
    image_build_mips(&clear, false);
    EXPECT_EQ(image_level(clear, 1)[0], 50);
}

TEST(MipChain, ThinPicturesHalveAlongTheLongSideOnly) {
    image im;
    ASSERT_TRUE(image_allocate(&im, 1, 4, 1));
    im.pixels = {0, 100, 200, 40};
    image_build_mips(&im, false);
    ASSERT_EQ(im.levels, 3);
    EXPECT_EQ(image_level(im, 1)[0], 50);
    EXPECT_EQ(image_level(im, 1)[1], 120);
    EXPECT_EQ(image_level(im, 2)[0], 85);
}

TEST(Prepare, NonPowerOfTwoIsResampledDown) {
    image im;
    ASSERT_TRUE(image_allocate(&im, 100, 60, 3));
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < 100; x++) {
            im.pixels[(y * 100 + x) * 3] = static_cast<uint8_t>(x);
            im.pixels[(y * 100 + x) * 3 + 1] = static_cast<uint8_t>(y);
            im.pixels[(y * 100 + x) * 3 + 2] =
                static_cast<uint8_t>((x * 37) ^ (y * 91)); // no smooth levels
        }
    image_prepare_texture(&im, 0, false, "odd.png");
    EXPECT_EQ(im.width, 64);
    EXPECT_EQ(im.height, 32);
    // Target pixel (i, j) takes source pixel (i * 100 / 64, j * 60 / 32).
    const uint8_t* p = image_level(im, 0);
    EXPECT_EQ(p[(5 * 64 + 63) * 3], 63 * 100 / 64);
    EXPECT_EQ(p[(31 * 64 + 10) * 3 + 1], 31 * 60 / 32);
    EXPECT_EQ(image_power_of_two_below(2), 1);
    EXPECT_EQ(image_power_of_two_below(3), 2);
}

TEST(Prepare, FlatPictureIsReducedTo16) {
    messages_clear();
    image im = filled(256, 256, 3, {90, 140, 30});
    image_prepare_texture(&im, 0, false, "flat.png");
    EXPECT_EQ(im.width, 16);
    EXPECT_EQ(im.height, 16);
    EXPECT_EQ(im.levels, 5);
    EXPECT_EQ(message_recent(0), "flat.png reduced to 16x16 (originally 256x256)");
}

TEST(Prepare, DetailedPictureKeepsItsSize) {
    image im;
    ASSERT_TRUE(image_allocate(&im, 64, 64, 3));
    for (size_t i = 0; i < im.pixels.size(); i++)
        im.pixels[i] = static_cast<uint8_t>((i / 3 % 2) * 255);
    image_prepare_texture(&im, 0, false, "stripes.png");
    EXPECT_EQ(im.width, 64);
}

TEST(Prepare, SmoothGradientIsReducedButEdgesAreKept) {
    // A gentle ramp is predicted well from the half-size level; a sharp edge is not.
    image ramp;
    ASSERT_TRUE(image_allocate(&ramp, 64, 64, 3));
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) memset(&ramp.pixels[(y * 64 + x) * 3], x, 3);
    image_prepare_texture(&ramp, 0, false, "ramp.png");
    EXPECT_LT(ramp.width, 64);
    image edge = filled(64, 64, 3, {0, 0, 0});
    for (int y = 0; y < 64; y++)
        for (int x = 32; x < 64; x++) memset(&edge.pixels[(y * 64 + x) * 3], 255, 3);
    edge.pixels[0] = 255; // a lone bright pixel the next level can't predict
    image_prepare_texture(&edge, 0, false, "edge.png");
    EXPECT_EQ(edge.width, 64);
}

TEST(Prepare, DetailSkipStopsAt128) {
    image im;
    ASSERT_TRUE(image_allocate(&im, 512, 256, 3));
    for (size_t i = 0; i < im.pixels.size(); i++)
        im.pixels[i] = static_cast<uint8_t>(i * 7919 >> 3);
    image_prepare_texture(&im, 3, false, "detail.png");
    EXPECT_EQ(im.width, 256) << "one level dropped; then the short side is 128";
    EXPECT_EQ(im.height, 128);
}

TEST(Prepare, GreyBecomesRgb) {
    image im = filled(4, 4, 1, {77});
    image_prepare_texture(&im, 0, false, "grey.pgm");
    EXPECT_EQ(im.channels, 3);
    EXPECT_EQ(image_level(im, 0)[1], 77);
}

TEST(CustomMips, LevelsAreCutFromTheLayout) {
    // 8 wide, 12 high: level 0 is 8 x 8, level 1 (4 x 4) at (0, 8), level 2 (2 x 2) at (4, 8),
    // level 3 (1 x 1) at (4, 10).
    image file;
    ASSERT_TRUE(image_allocate(&file, 8, 12, 1));
    auto at = [&](int x, int y) -> uint8_t& { return file.pixels[y * 8 + x]; };
    at(0, 0) = 1;
    at(0, 8) = 2;
    at(4, 8) = 3;
    at(4, 10) = 4;
    image out;
    ASSERT_TRUE(image_from_custom_mips(file, &out));
    EXPECT_EQ(out.width, 8);
    EXPECT_EQ(out.height, 8);
    ASSERT_EQ(out.levels, 4);
    EXPECT_EQ(image_level(out, 0)[0], 1);
    EXPECT_EQ(image_level(out, 1)[0], 2);
    EXPECT_EQ(image_level(out, 2)[0], 3);
    EXPECT_EQ(image_level(out, 3)[0], 4);
    image bad;
    ASSERT_TRUE(image_allocate(&bad, 8, 13, 1));
    EXPECT_FALSE(image_from_custom_mips(bad, &out)) << "2 x 13 is no multiple of 3";
}

TEST(Prepare, AnimationFramesAreHalvedBelow65536Pixels) {
    image im = filled(512, 512, 4, {1, 2, 3, 4});
    image_prepare_anim_frame(&im);
    EXPECT_EQ(im.width, 256);
    EXPECT_EQ(im.height, 256);
}

TEST(NumberPlate, DigitsAreDrawnInTheForegroundColour) {
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    image plate = image_number_plate("12345678", white, black);
    EXPECT_EQ(plate.width, 128);
    EXPECT_EQ(plate.height, 128);
    size_t dark = 0;
    for (size_t i = 0; i < plate.pixels.size(); i += 3) dark += plate.pixels[i] == 0;
    EXPECT_GT(dark, 100u);
    EXPECT_EQ(plate.pixels[0], 255) << "the corner is background";
    image seven = image_number_plate("1234567", white, black);
    EXPECT_EQ(plate.pixels, seven.pixels) << "only the first 7 characters are drawn";
}
