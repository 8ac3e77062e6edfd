// A track folder's ground files read and written by name: terrain.hf, terrain.png, tileinfo,
// texturelist and tilemap, their failures, and save-and-reload round trips.
#include "terrain_fixture.h"

#include "common/ripemd160.h"
#include "resources/image.h"
#include "terrain/ground_local.h"

#include <cmath>
#include <vector>

namespace {
std::string samples_bytes(const std::vector<uint16_t>& samples) {
    std::string bytes;
    for (uint16_t s : samples) {
        bytes += static_cast<char>(s & 0xFF);
        bytes += static_cast<char>(s >> 8);
    }
    return bytes;
}

std::string png16(const std::vector<uint16_t>& samples, int width, int height) {
    std::string bytes;
    EXPECT_TRUE(image_encode_png16(samples.data(), width, height, &bytes));
    return bytes;
}
} // namespace

TEST_F(TerrainFilesTest, MissingHeightFieldFailsWithItsPath) {
    EXPECT_FALSE(height_field_load("nowhere"));
    EXPECT_EQ(message_recent(0), "Can't open 'nowhere/terrain.hf'");
}

TEST_F(TerrainFilesTest, BadHeaderFailsWithBothMessages) {
    write(data / "trk/terrain.hf", "6 0.5 zero 10\n:");
    EXPECT_FALSE(height_field_load("trk"));
    EXPECT_EQ(message_recent(1), "Bad height field parameters");
    EXPECT_EQ(message_recent(0), "Error reading heights");
    EXPECT_EQ(ground().field.heights, nullptr);
}

TEST_F(TerrainFilesTest, BinaryBodyLoadsByNameWithDigestAtLevelTwo) {
    std::vector<uint16_t> samples(129 * 129);
    for (size_t k = 0; k < samples.size(); k++) samples[k] = static_cast<uint16_t>(k * 37);
    write(data / "trk/terrain.hf", "6 0.5 0 65535\n:" + samples_bytes(samples));
    set_debug_level(2);
    ASSERT_TRUE(height_field_load("trk"));
    EXPECT_EQ(ground().field.samples_per_side, 129);
    EXPECT_EQ(ground_height_at(0.5f * 3, 0.5f * 2), static_cast<float>(samples[3 + 129 * 2]));
    std::string bytes = samples_bytes(samples);
    EXPECT_NE(log_text().find(ripemd160_of(bytes.data(), bytes.size()) + "\n"), std::string::npos);
}

TEST_F(TerrainFilesTest, HeightsFromASmallPngRepeatTheLastColumnAndRow) {
    std::vector<uint16_t> pixels(100 * 100);
    for (int r = 0; r < 100; r++)
        for (int q = 0; q < 100; q++) pixels[r * 100 + q] = static_cast<uint16_t>(r * 600 + q);
    write(data / "trk/terrain.hf", "6 1 0 65535\n");
    write(data / "trk/terrain.png", png16(pixels, 100, 100));
    ASSERT_TRUE(height_field_load("trk"));
    const height_field& f = ground().field;
    EXPECT_EQ(f.heights[5 + 129 * 7], 7 * 600 + 5);
    EXPECT_EQ(f.heights[110 + 129 * 7], 7 * 600 + 99);
    EXPECT_EQ(f.heights[5 + 129 * 128], 99 * 600 + 5);
    EXPECT_EQ(f.loaded_heights[128 + 129 * 128], 99 * 600 + 99);
}

TEST_F(TerrainFilesTest, MissingOrBrokenPngGivesAFlatFieldAtTheMinimum) {
    write(data / "trk/terrain.hf", "6 1 -2.5 10\n");
    ASSERT_TRUE(height_field_load("trk"));
    EXPECT_EQ(ground_height_at(40, 40), -2.5f);
    write(data / "trk/terrain.png", "\x89PNG\r\n\x1a\nnot really");
    ASSERT_TRUE(height_field_load("trk"));
    EXPECT_EQ(ground_height_at(3, 90), -2.5f);
}

TEST_F(TerrainFilesTest, SaveAndReloadKeepsTheHeights) {
    height_field& f = ground_own().field;
    height_field_create(&f, 6, 0.75f, 0, 1);
    for (int j = 0; j < 129; j++)
        for (int i = 0; i < 129; i++)
            f.heights[i + 129 * j] =
                3.0f * std::sin(i * 0.1f) + 0.05f * static_cast<float>(j) - 1.0f;
    height_field_loaded(&f);
    std::vector<float> before(f.heights, f.heights + 129 * 129);
    float lo = *std::min_element(before.begin(), before.end());
    float hi = *std::max_element(before.begin(), before.end());
    // An older version of the track with a binary body is replaced, not left half-written.
    write(home / "trk/terrain.hf", "6 0.75 0 1\n:" + std::string(10, '\0'));
    ASSERT_TRUE(height_field_save("trk"));
    EXPECT_EQ(f.min_height, lo);
    EXPECT_EQ(f.max_height, hi);
    std::string header = read(home / "trk/terrain.hf");
    EXPECT_EQ(header.find(':'), std::string::npos) << "heights go to terrain.png";
    EXPECT_EQ(header.back(), '\n');
    for (const auto& entry : fs::directory_iterator(home / "trk"))
        EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos) << entry.path();

    ground_free();
    ASSERT_TRUE(height_field_load("trk"));
    const height_field& g = ground().field;
    EXPECT_EQ(g.samples_per_side, 129);
    EXPECT_FLOAT_EQ(g.cell_size, 0.75f);
    float tolerance = (hi - lo) / 65535.0f + 1e-5f;
    for (int k = 0; k < 129 * 129; k++) ASSERT_NEAR(g.heights[k], before[k], tolerance) << k;
}

TEST_F(TerrainFilesTest, FlatFieldSavesAsZeroSamples) {
    height_field& f = ground_own().field;
    height_field_create(&f, 6, 1, 4.0f, 9.0f);
    std::fill(f.heights, f.heights + 129 * 129, 4.0f);
    ASSERT_TRUE(height_field_save("trk"));
    std::string png = read(home / "trk/terrain.png");
    std::vector<uint16_t> samples;
    int w = 0, h = 0;
    ASSERT_TRUE(image_decode_png16(reinterpret_cast<const uint8_t*>(png.data()), png.size(),
                                   &samples, &w, &h));
    EXPECT_EQ(w, 129);
    EXPECT_EQ(h, 129);
    for (uint16_t s : samples) ASSERT_EQ(s, 0);
    ground_free();
    ASSERT_TRUE(height_field_load("trk"));
    EXPECT_EQ(ground_height_at(10, 10), 4.0f);
}

TEST_F(TerrainFilesTest, SurfacesFromTileinfoElseTexturelist) {
    write(data / "trk/texturelist", "0.5 1 2 mud.png\n");
    ASSERT_TRUE(surface_types_load("trk"));
    EXPECT_EQ(ground().surfaces.count, 1);
    EXPECT_STREQ(surface_type_get(0).texture_name, "@mud.png");
    write(data / "trk/tileinfo", "texture dirt.png\naddtile\ntexture grass.png\naddtile\n");
    ASSERT_TRUE(surface_types_load("trk"));
    EXPECT_EQ(ground().surfaces.count, 2);
    EXPECT_EQ(surface_type_get(1).blend_code, 0x10100);
    write(data / "trk/tileinfo", "texture dirt.png\n");
    EXPECT_FALSE(surface_types_load("trk"));
    EXPECT_EQ(message_recent(0), "Error reading tileinfo");
}

TEST_F(TerrainFilesTest, WithoutTileinfoTheTexturelistIsRequired) {
    EXPECT_FALSE(surface_types_load("trk"));
    EXPECT_EQ(message_recent(0), "Can't open 'trk/texturelist'");
}

TEST_F(TerrainFilesTest, TilemapIsRequiredAndPaddedAndSavedUnchanged) {
    write(data / "trk/terrain.hf", "6 1 0 1\n");
    write(data / "trk/tileinfo", "addtile\naddtile\naddtile\n");
    ASSERT_TRUE(height_field_load("trk"));
    ASSERT_TRUE(surface_types_load("trk"));
    EXPECT_FALSE(tilemap_load("trk"));
    EXPECT_EQ(message_recent(0), "Can't open 'trk/tilemap'");
    std::string map(64 * 3, '\2');
    map[1] = '\7';
    write(data / "trk/tilemap", map);
    ASSERT_TRUE(tilemap_load("trk"));
    EXPECT_EQ(surface_type_at(0.5f, 0.5f), 2);
    EXPECT_EQ(surface_type_at(2.5f, 0.5f), 2) << "7 clamps to the last type";
    EXPECT_EQ(surface_type_at(0.5f, 2 * 3 + 0.5f), 0) << "past the short file";
    ASSERT_TRUE(tilemap_save("trk"));
    std::string saved = read(home / "trk/tilemap");
    ASSERT_EQ(saved.size(), 64u * 64u);
    EXPECT_EQ(saved[1], '\2');
    EXPECT_EQ(saved[64 * 3], '\0');
}

TEST_F(TerrainFilesTest, GroundQueriesGoThroughTheLoadedField) {
    write(data / "trk/terrain.hf",
          "6 2 0 1\n:" + samples_bytes(std::vector<uint16_t>(129 * 129, 65535)));
    ASSERT_TRUE(height_field_load("trk"));
    EXPECT_EQ(ground_height_at(50, 50), 1.0f);
    vec3 n = ground_normal_at(50, 50);
    EXPECT_EQ(n.y, 4.0f);
    EXPECT_TRUE(ground_set_height(10, 10, 3.0f));
    EXPECT_EQ(ground_height_at(20, 20), 3.0f);
    EXPECT_LT(vertex_normal_at(11, 10).y, 1.0f);
    ground_set_locked(true);
    EXPECT_FALSE(ground_set_height(10, 10, 0.0f));
    EXPECT_EQ(ground_height_at(20, 20), 3.0f);
}
