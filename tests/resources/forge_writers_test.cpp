// The generator's writers against the game's loaders: what the generator writes, the game reads
// back the same.
#include "resources_fixture.h"

#include "forge.h"
#include "forge_resources.h"

// The generator's file writer, as plain as the generator's own; the test links only the
// generator's picture and model sources, so other generator steps can't break it.
void forge_make_folders(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
}
bool forge_write_file(const std::string& path, const std::string& bytes) {
    forge_make_folders(path);
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

TEST_F(ResourcesTest, GeneratorPngRgbRgbaAndGreyRoundTrip) {
    for (int channels : {3, 4}) {
        image im = noisy_picture(16, 8, channels, 20u + channels);
        const std::string name = "pic" + std::to_string(channels) + ".png";
        ASSERT_TRUE(forge_write_png((data / name).string(), im));
        image back;
        ASSERT_TRUE(image_load(("@" + name).c_str(), &back));
        EXPECT_EQ(back.channels, channels);
        EXPECT_EQ(back.pixels, im.pixels);
        EXPECT_NE(texture_load(("@" + name).c_str()), 0u);
    }
    std::vector<uint16_t> heights(9 * 7);
    for (size_t i = 0; i < heights.size(); i++)
        heights[i] = static_cast<uint16_t>(65535 - i * 1000);
    ASSERT_TRUE(forge_write_png16((data / "terrain.png").string(), heights, 9, 7));
    std::vector<uint16_t> back;
    int width = 0, height = 0;
    ASSERT_TRUE(image_read_png16("@terrain.png", &back, &width, &height));
    EXPECT_EQ(width, 9);
    EXPECT_EQ(height, 7);
    EXPECT_EQ(back, heights);
}

TEST_F(ResourcesTest, GeneratorInfoFileAndTextChunkReachTheTexture) {
    image im = noisy_picture(8, 12, 4);
    ASSERT_TRUE(forge_write_png((data / "fence.png").string(), im, "[compress]"));
    image_info_flags flags;
    flags.mip_custom = true;
    flags.mip_max_alpha = true;
    ASSERT_TRUE(forge_write_info((data / "fence.png").string(), flags));
    uint32_t id = texture_load("@fence.png");
    ASSERT_NE(id, 0u);
    image_info_flags back = image_info_parse(texture_info(id));
    EXPECT_TRUE(back.compress);
    EXPECT_TRUE(back.mip_custom);
    EXPECT_TRUE(back.mip_max_alpha);
    EXPECT_FALSE(shown("Warning: Invalid height for custom MIP map in '@fence.png'"));
}

TEST_F(ResourcesTest, GeneratorModelRoundTrip) {
    const float centre[3] = {0, 1.5f, 0}, size[3] = {2, 3, 0.5f}, grey[4] = {0.5f, 0.5f, 0.5f, 1},
                glass[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    model_mesh mesh;
    mesh.version = 1;
    mesh.parts.push_back(forge_box_part(centre, size, grey, 24));
    mesh.parts.push_back(forge_box_part(centre, size, glass, k_model_mode_environment));
    ASSERT_TRUE(forge_write_model((data / "crate.jm").string(), mesh));
    int id = model_load("@crate.jm");
    ASSERT_NE(id, 0);
    const model_mesh* back = model_get(id);
    ASSERT_EQ(back->parts.size(), 2u);
    EXPECT_EQ(back->dropped_triangles, 0) << "every box face has area";
    for (size_t p = 0; p < 2; p++) {
        const model_part& a = mesh.parts[p];
        const model_part& b = back->parts[p];
        EXPECT_EQ(b.vertex_count, 24);
        EXPECT_EQ(b.triangle_count, 12);
        EXPECT_EQ(b.positions, a.positions);
        EXPECT_EQ(b.normals, a.normals);
        EXPECT_EQ(b.uvs, a.uvs);
        EXPECT_EQ(b.triangles, a.triangles);
        EXPECT_EQ(b.shininess, a.shininess);
        for (int k = 0; k < 4; k++) EXPECT_FLOAT_EQ(b.colour[k], a.colour[k]);
    }
    // Faces wind counter-clockwise seen from outside: each triangle's normal points outward.
    const model_part& part = back->parts[0];
    for (int t = 0; t < part.triangle_count; t++) {
        const int32_t* tri = &part.triangles[t * 3];
        float e1[3], e2[3], n[3];
        for (int k = 0; k < 3; k++) {
            e1[k] = part.positions[tri[1] * 3 + k] - part.positions[tri[0] * 3 + k];
            e2[k] = part.positions[tri[2] * 3 + k] - part.positions[tri[0] * 3 + k];
        }
        n[0] = e1[1] * e2[2] - e1[2] * e2[1];
        n[1] = e1[2] * e2[0] - e1[0] * e2[2];
        n[2] = e1[0] * e2[1] - e1[1] * e2[0];
        const float* normal = &part.normals[tri[0] * 3];
        EXPECT_GT(n[0] * normal[0] + n[1] * normal[1] + n[2] * normal[2], 0) << "triangle " << t;
    }
    EXPECT_FALSE(forge_write_model((data / "empty.jm").string(), model_mesh{}));
}

TEST_F(ResourcesTest, GeneratorHudPicturesLoadAsTextures) {
    ASSERT_TRUE(forge_hud_pictures(data.string() + "/"));
    for (const char* name : {"!@tach.png", "!@shifter.png", "!@pitboard.png", "!@title.png"}) {
        uint32_t id = texture_load(name);
        EXPECT_NE(id, 0u) << name;
    }
    EXPECT_FALSE(shown("Warning: Non power of 2 texture '@tach.png'"));
    image title;
    ASSERT_TRUE(image_load("@title.png", &title));
    EXPECT_EQ(title.width, 512);
    EXPECT_EQ(title.height, 256);
}
