// The driver's feature flags read from extension strings, and the seven shader programs built,
// selected and released on the offscreen driver, with the reflection lookup they compute.
#include "platform/platform.h"
#include "render/render.h"
#include "render/shaders.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
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

// A cleared window with a 90 degree frustum, nothing culled, tested or blended.
void blank_view() {
    glViewport(0, 0, k_size, k_size);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1, 1, -1, 1, 1, 100);
    glMatrixMode(GL_MODELVIEW);
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
    blank_view();
    glEnable(GL_TEXTURE_2D);
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
// A 1 x 1 texture of one colour on a texture unit.
GLuint one_texel(int unit, const unsigned char rgba[4]) {
    gl_programs()->active_texture(unit);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    gl_programs()->active_texture(0);
    return texture;
}

// A square facing the eye through "norm_spec_lit", lit only by the sun's mirror term with the
// reflected view half along the light (rdl = 0.5), its specular map's alpha as given and the
// material's shininess 1: the middle pixel's red, 255 x 0.5^exponent.
int specular_middle(unsigned char specular_alpha) {
    using multi_tex_coord = void (*)(GLenum, GLfloat, GLfloat, GLfloat);
    const auto tangent_at =
        reinterpret_cast<multi_tex_coord>(platform().gl_proc("glMultiTexCoord3fARB"));
    const unsigned char white[4] = {255, 255, 255, 255}, flat[4] = {128, 128, 255, 255};
    const unsigned char specular[4] = {255, 255, 255, specular_alpha};
    const GLuint textures[3] = {one_texel(0, white), one_texel(1, flat), one_texel(2, specular)};
    blank_view();
    glLoadIdentity();
    const float sun[4] = {0, 0.8660254f, 0.5f, 0}, black[4] = {0, 0, 0, 1}, light[4] = {1, 1, 1, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    glLightfv(GL_LIGHT0, GL_SPECULAR, light);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, black);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glFogf(GL_FOG_DENSITY, 0);
    program_select(program_norm_spec_lit);
    bones_set(0, nullptr, nullptr, nullptr);
    glBegin(GL_QUADS);
    for (const auto& corner : {std::pair{-5, -5}, {5, -5}, {5, 5}, {-5, 5}}) {
        glNormal3f(0, 0, 1);
        tangent_at(GL_TEXTURE1_ARB, 1, 0, 0);
        glTexCoord2f(0.5f, 0.5f);
        glVertex3f(static_cast<float>(corner.first), static_cast<float>(corner.second), -5);
    }
    glEnd();
    program_select(program_fixed);
    unsigned char rgb[3] = {};
    glReadPixels(k_size / 2, k_size / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    glDeleteTextures(3, textures);
    return rgb[0];
}

TEST_F(ShaderPrograms, ASpecularMapsAlphaSetsTheExponentButFullyOpaqueKeepsTheMaterials) {
    ASSERT_TRUE(shaders_build(true)) << shaders_failure();
    EXPECT_NEAR(specular_middle(0), 255 * std::pow(0.5, 0.125), 3) << "exponent 0.125";
    EXPECT_NEAR(specular_middle(128), 255 * std::pow(0.5, 128.0 / 255 * 128 + 0.125), 3);
    EXPECT_NEAR(specular_middle(255), 255 * 0.5, 8) << "the material's exponent, 1";
    shaders_free();
}
} // namespace
