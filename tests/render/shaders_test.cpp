// The driver's feature flags read from extension strings, and the seven shader programs built,
// selected and released on the offscreen driver, with the reflection lookup they compute.
#include "platform/platform.h"
#include "render/render.h"
#include "render/shaders.h"

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace {
constexpr const char* k_full =
    "GL_ARB_multitexture GL_EXT_framebuffer_object GL_SGIS_generate_mipmap "
    "GL_ARB_vertex_shader GL_ARB_fragment_shader GL_ARB_shader_objects";

TEST(GlFeatures, EachFlagFollowsItsExtension) {
    const gl_feature_flags all = gl_features_parse("Vendor", "Renderer", "2.1 Mesa", k_full);
    EXPECT_TRUE(all.generate_mipmap && all.framebuffer_objects && all.multitexture &&
                all.vertex_shaders && all.fragment_shaders);
    EXPECT_TRUE(shaders_offered(all));
    const gl_feature_flags none = gl_features_parse("Vendor", "Renderer", "1.1", "GL_EXT_bgra");
    EXPECT_FALSE(none.generate_mipmap || none.framebuffer_objects || none.multitexture ||
                 none.vertex_shaders || none.fragment_shaders);
    EXPECT_FALSE(shaders_offered(none));
}

TEST(GlFeatures, ANameCountsOnlyAsAWholeWord) {
    // Only longer names that begin with the wanted ones, at the start, middle and end.
    const gl_feature_flags f = gl_features_parse(
        "V", "R", "2.0",
        "GL_EXT_framebuffer_object_blit GL_ARB_multitexture2 GL_ARB_vertex_shader_x "
        "XGL_ARB_fragment_shader GL_SGIS_generate_mipmaps");
    EXPECT_FALSE(f.framebuffer_objects);
    EXPECT_FALSE(f.multitexture);
    EXPECT_FALSE(f.vertex_shaders);
    EXPECT_FALSE(f.fragment_shaders);
    EXPECT_FALSE(f.generate_mipmap);
    // The same names alone, first and last in the string, do count.
    const gl_feature_flags g =
        gl_features_parse("V", "R", "2.0",
                          "GL_EXT_framebuffer_object GL_EXT_framebuffer_object_blit "
                          "GL_ARB_fragment_shader_x GL_ARB_fragment_shader");
    EXPECT_TRUE(g.framebuffer_objects);
    EXPECT_TRUE(g.fragment_shaders);
    EXPECT_FALSE(gl_extension_listed("", "GL_ARB_multitexture"));
    EXPECT_FALSE(gl_extension_listed(nullptr, "GL_ARB_multitexture"));
}

TEST(GlFeatures, ShadersNeedBothShaderExtensions) {
    EXPECT_FALSE(shaders_offered(gl_features_parse(
        "V", "R", "2.0", "GL_ARB_multitexture GL_ARB_vertex_shader GL_ARB_shader_objects")));
    EXPECT_FALSE(shaders_offered(gl_features_parse(
        "V", "R", "2.0", "GL_ARB_multitexture GL_ARB_fragment_shader GL_ARB_shader_objects")));
}

TEST(GlFeatures, TheStringsAreKeptAndTheVersionRead) {
    const gl_feature_flags f = gl_features_parse("Acme", nullptr, "3.1 Mesa 22.3.6", nullptr);
    EXPECT_EQ(f.vendor, "Acme");
    EXPECT_EQ(f.renderer, "NULL");
    EXPECT_EQ(f.major, 3);
    EXPECT_EQ(f.minor, 1);
    const gl_feature_flags g = gl_features_parse(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(g.version, "NULL");
    EXPECT_EQ(g.major, 0);
}

constexpr int k_size = 64; // px

class ShaderPrograms : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(k_platform_sdl.create_window("shader test", k_size, k_size, 24, 24));
        platform_use(k_platform_sdl);
        int w, h;
        ASSERT_TRUE(platform().begin_frame(&w, &h));
        ASSERT_TRUE(gl_features_init(false));
    }
    static void TearDownTestSuite() {
        shaders_free();
        k_platform_sdl.destroy_window();
        platform_use(k_platform_null);
    }
};

TEST_F(ShaderPrograms, EveryProgramCompilesAndLinksOnTheDriver) {
    ASSERT_TRUE(shaders_offered(gl_features())) << "the offscreen driver offers GLSL";
    ASSERT_TRUE(shaders_build(true)) << shaders_failure();
    EXPECT_TRUE(shaders_in_use());
    EXPECT_NE(gl_programs(), nullptr);
    std::set<uint32_t> programs;
    for (int slot = 1; slot < k_program_slots; slot++) {
        const uint32_t p = program_get(slot);
        EXPECT_NE(p, 0u) << slot;
        programs.insert(p);
    }
    EXPECT_EQ(programs.size(), 7u) << "seven different programs";
    EXPECT_EQ(program_get(0), 0u);
    EXPECT_EQ(program_get(k_program_slots), 0u);
    shaders_free();
    EXPECT_FALSE(shaders_in_use());
    EXPECT_EQ(gl_programs(), nullptr) << "the drawing code falls back";
    EXPECT_EQ(program_get(1), 0u);
}

TEST_F(ShaderPrograms, NotAskedForMeansNotBuilt) {
    EXPECT_FALSE(shaders_build(false));
    EXPECT_FALSE(shaders_in_use());
    EXPECT_EQ(gl_programs(), nullptr);
    EXPECT_EQ(program_get(program_lit), 0u);
}

TEST_F(ShaderPrograms, SelectionSwitchesOnlyOnChange) {
    ASSERT_TRUE(shaders_build(true)) << shaders_failure();
    const int changes = render_statistics().shader_changes;
    program_select(program_lit);
    program_select(program_lit);
    EXPECT_EQ(program_current(), program_lit);
    GLint used = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &used);
    EXPECT_EQ(static_cast<uint32_t>(used), program_get(program_lit));
    program_select(k_program_slots); // beyond the table: ignored
    EXPECT_EQ(program_current(), program_lit);
    program_select(program_terrain);
    program_select(program_fixed);
    EXPECT_EQ(render_statistics().shader_changes - changes, 3);
    glGetIntegerv(GL_CURRENT_PROGRAM, &used);
    EXPECT_EQ(used, 0) << "the fixed-function pipeline";
    shaders_free();
}

// A horizontal square seen straight along its normal through "env": what the middle pixel shows
// of an environment picture that is red in its middle, green at its rim and blue between.
unsigned char env_middle_pixel(float eye_y, float normal_y) {
    constexpr int k_side = 64; // texels
    std::vector<unsigned char> picture(k_side * k_side * 3);
    for (int y = 0; y < k_side; y++)
        for (int x = 0; x < k_side; x++) {
            const double r = std::hypot(x + 0.5 - k_side / 2.0, y + 0.5 - k_side / 2.0) / k_side;
            unsigned char* p = &picture[(static_cast<size_t>(y) * k_side + x) * 3];
            p[0] = r < 0.1 ? 255 : 0;
            p[1] = r > 0.4 ? 255 : 0;
            p[2] = r >= 0.1 && r <= 0.4 ? 255 : 0;
        }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, k_side, k_side, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 picture.data());
    // The camera looks along -normal: its back axis is the normal, its right axis x.
    const float back = normal_y, up_z = -normal_y;
    const float rotation[9] = {1, 0, 0, 0, 0, back, 0, up_z, 0};
    glViewport(0, 0, k_size, k_size);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -1, 1, 1, 100);
    glMatrixMode(GL_MODELVIEW);
    const float view[16] = {
        rotation[0], rotation[1], rotation[2], 0, rotation[3], rotation[4], rotation[5], 0,
        rotation[6], rotation[7], rotation[8], 0, 0,           0,           0,           1};
    glLoadMatrixf(view);
    glTranslatef(0, -eye_y, 0);
    envmat_set(rotation);
    program_select(program_env);
    bones_set(0, nullptr, nullptr, nullptr);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glNormal3f(0, normal_y, 0);
    glVertex3f(-50, 0, -50);
    glVertex3f(50, 0, -50);
    glVertex3f(50, 0, 50);
    glVertex3f(-50, 0, 50);
    glEnd();
    program_select(program_fixed);
    unsigned char rgb[3] = {};
    glReadPixels(k_size / 2, k_size / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    glDeleteTextures(1, &texture);
    glDisable(GL_TEXTURE_2D);
    // Red 0, green 1, blue 2: the channel that is lit.
    return static_cast<unsigned char>(rgb[0] > 128 ? 0 : rgb[1] > 128 ? 1 : rgb[2] > 128 ? 2 : 3);
}

TEST_F(ShaderPrograms, AReflectionUpSamplesTheMiddleAndOneDownTheRim) {
    ASSERT_TRUE(shaders_build(true)) << shaders_failure();
    EXPECT_EQ(env_middle_pixel(10, 1), 0) << "looking down on a floor: the sky straight up";
    EXPECT_EQ(env_middle_pixel(-10, -1), 1) << "looking up at a ceiling: the ground below";
    shaders_free();
}
} // namespace
