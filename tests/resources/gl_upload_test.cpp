// Uploads in a real GL context: a decoded texture and a model drawn and read back, the
// self-lit material, and a screenshot taken through the frame buffer.
#include "resources_fixture.h"

#include "core/screenshot.h"
#include "resources/anim.h"
#include "resources/gpu.h"
#include "platform/platform.h"
#include "render/render.h"

#include <GL/gl.h>

namespace {
constexpr int k_size = 64; // px

struct GlResourcesTest : ResourcesTest {
    void SetUp() override {
        ResourcesTest::SetUp();
        ASSERT_TRUE(
            k_platform_sdl.create_window("Trailbok resources test", k_size, k_size, 16, 16));
        int width = 0, height = 0;
        ASSERT_TRUE(k_platform_sdl.begin_frame(&width, &height));
        ASSERT_NE(glGetString(GL_VERSION), nullptr);
        resources_set_gpu(&k_resources_gpu_gl);
        glViewport(0, 0, k_size, k_size);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1, 1, -1, 1, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        textures_free();
        models_free();
        k_platform_sdl.destroy_window();
        resources_set_gpu(nullptr);
        ResourcesTest::TearDown();
    }
    static void pixel(int x, int y, uint8_t out[3]) {
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, out);
    }
    // Draws the texture, unlit, over the whole viewport.
    static void draw_covering(uint32_t texture) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0), glVertex2f(-1, -1);
        glTexCoord2f(1, 0), glVertex2f(1, -1);
        glTexCoord2f(1, 1), glVertex2f(1, 1);
        glTexCoord2f(0, 1), glVertex2f(-1, 1);
        glEnd();
        glDisable(GL_TEXTURE_2D);
    }
};

image solid(int width, int height, int channels, std::initializer_list<uint8_t> colour) {
    image im;
    image_allocate(&im, width, height, channels);
    for (size_t i = 0; i < im.pixels.size(); i += channels)
        std::copy(colour.begin(), colour.end(), &im.pixels[i]);
    return im;
}

// One triangle covering the whole viewport, with the given part header (or plain).
std::string cover_model(const char* header) {
    return std::string(header) +
           "3 1\n-3 -3 0  0 0 1  0 0\n3 -3 0  0 0 1  1 0\n0 3 0  0 0 1  0.5 1\n0 1 2\n";
}

const float k_identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const float k_origin[3] = {0, 0, 0};
const model_camera k_camera = {{0, 0, 5}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
} // namespace

TEST_F(GlResourcesTest, DecodedTextureIsSampledOnAQuad) {
    // A J7 file: left half red, right half blue.
    image im = solid(8, 8, 4, {255, 0, 0, 255});
    for (int y = 0; y < 8; y++)
        for (int x = 4; x < 8; x++) {
            im.pixels[(y * 8 + x) * 4] = 0;
            im.pixels[(y * 8 + x) * 4 + 2] = 255;
        }
    write(data / "halves.j7", image_encode_j(im));
    uint32_t id = texture_load("@halves.j7");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(glIsTexture(id), GL_TRUE);
    draw_covering(id);
    uint8_t left[3], right[3];
    pixel(8, 32, left);
    pixel(56, 32, right);
    EXPECT_EQ(left[0], 255);
    EXPECT_EQ(left[2], 0);
    EXPECT_EQ(right[0], 0);
    EXPECT_EQ(right[2], 255);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    textures_free();
    EXPECT_EQ(glIsTexture(id), GL_FALSE) << "the purge deletes the GL texture";
}

TEST_F(GlResourcesTest, PlainModelDrawsThroughItsDisplayListWithTheTexture) {
    write(data / "green.png", png_of(solid(4, 4, 3, {0, 255, 0})));
    write(data / "cover.jm", cover_model(""));
    uint32_t texture = texture_load("@green.png");
    int model = model_load("@cover.jm");
    ASSERT_NE(model, 0);
    ASSERT_NE(model_get(model)->parts[0].display_list, 0u);
    EXPECT_EQ(glIsList(model_get(model)->parts[0].display_list), GL_TRUE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    model_draw_stats_reset();
    model_draw(model, k_origin, k_camera, k_identity, nullptr);
    glDisable(GL_TEXTURE_2D);
    uint8_t rgb[3];
    pixel(32, 32, rgb);
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(rgb[1], 255) << "white part times the green texture";
    int triangles = 0, vertices = 0;
    model_draw_stats(&triangles, &vertices);
    EXPECT_EQ(triangles, 1);
    EXPECT_EQ(vertices, 3);
}

TEST_F(GlResourcesTest, SelfLitPartShowsItsColourWithoutLight) {
    // Lighting on, but no ambient and a light that can't reach the front: lit parts go dark.
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float none[4] = {0, 0, 0, 1}, behind[4] = {0, 0, -1, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_POSITION, behind);
    write(data / "lit.jm", cover_model("JM1\n32 1 1 1 1 "));
    write(data / "glow.jm", cover_model("JM1\n-2 1 0 0.5 1 "));
    int lit = model_load("@lit.jm"), glow = model_load("@glow.jm");
    ASSERT_NE(lit, 0);
    ASSERT_NE(glow, 0);
    EXPECT_EQ(model_get(glow)->parts[0].display_list, 0u) << "drawn from its arrays";
    uint8_t rgb[3];
    model_draw(lit, k_origin, k_camera, k_identity, nullptr);
    pixel(32, 32, rgb);
    EXPECT_LT(rgb[0] + rgb[1] + rgb[2], 30);
    model_set_vertex_arrays(false);
    model_draw(glow, k_origin, k_camera, k_identity, nullptr);
    model_set_vertex_arrays(true);
    pixel(32, 32, rgb);
    EXPECT_NEAR(rgb[0], 0, 2);
    EXPECT_NEAR(rgb[1], 128, 2);
    EXPECT_NEAR(rgb[2], 255, 2);
    float ambient[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient);
    EXPECT_EQ(ambient[0], 0);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    EXPECT_EQ(ambient[2], 0) << "the lights are restored after the part";
    glDisable(GL_LIGHTING);
}

TEST_F(GlResourcesTest, ScreenshotsCountOnFromTheFileList) {
    ASSERT_TRUE(gl_features_init(false));
    write(data / "screenshot042.png", "an earlier one");
    write(data / "screenshots.txt", "not a number");
    file_index();
    screenshot_reset();
    // Top half red, bottom half blue.
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, k_size / 2, k_size, k_size / 2);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    ASSERT_TRUE(screenshot_take(k_size, k_size));
    EXPECT_EQ(message_recent(0), "Saved \"screenshot043.png\"");
    image shot;
    ASSERT_TRUE(image_load("@screenshot043.png", &shot));
    ASSERT_TRUE(fs::exists(home / "screenshot043.png"));
    EXPECT_EQ(shot.width, k_size);
    EXPECT_EQ(shot.pixels[0], 255) << "the picture's first row is the top of the view";
    EXPECT_EQ(shot.pixels[2], 0);
    EXPECT_EQ(shot.pixels[shot.pixels.size() - 1], 255) << "and its last row the bottom";
    ASSERT_TRUE(screenshot_take(k_size, k_size));
    EXPECT_TRUE(fs::exists(home / "screenshot044.png"));
}

TEST(ScreenshotNumbers, HighestNumberPlusOne) {
    EXPECT_EQ(screenshot_next_number({}), 1);
    EXPECT_EQ(screenshot_next_number({"demos/a.qvdemo", "screenshot.png", "screenshots/x.png"}), 1);
    EXPECT_EQ(screenshot_next_number({"screenshot007.png", "screenshot042.png", "screenshot3.png"}),
              43);
    EXPECT_EQ(screenshot_next_number({"screenshot1000.png"}), 1001);
}

TEST_F(GlResourcesTest, AnimationUploadsTheFrameTheClockShows) {
    anim_sequence seq;
    seq.length = 2;
    seq.frame_count = 2;
    seq.tics_per_step = 10;
    seq.loop = 1;
    seq.sequence = {0, 1};
    seq.frames.push_back(solid(4, 4, 4, {255, 0, 0, 255}));
    seq.frames.push_back(solid(4, 4, 4, {0, 0, 255, 255}));
    write(data / "lamp.seq", anim_encode(seq));
    uint32_t id = texture_load("@lamp.seq");
    ASSERT_NE(id, 0u);
    auto draw_and_read = [&](uint8_t rgb[3]) {
        draw_covering(id);
        pixel(32, 32, rgb);
    };
    uint8_t rgb[3];
    draw_and_read(rgb);
    EXPECT_EQ(rgb[0], 255);
    anim_start(id, 0);
    anim_update(10);
    draw_and_read(rgb);
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(rgb[2], 255);
    anim_update(20);
    draw_and_read(rgb);
    EXPECT_EQ(rgb[0], 255) << "looped back to the first entry";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlResourcesTest, CompressedUploadCountsWhatTheDriverStored) {
    texture_set_detail(0, 2);
    write(data / "gravel.png", png_of(noisy_picture(32, 32, 3)));
    ASSERT_NE(texture_load("@gravel.png"), 0u);
    EXPECT_GT(texture_memory(), 0);
    EXPECT_LE(texture_memory(), (1024 + 256 + 64 + 16 + 4 + 1) * 3)
        << "never more than uncompressed";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
