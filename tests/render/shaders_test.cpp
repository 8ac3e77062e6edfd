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
} // namespace
