// The SDL back-end opens a real window with an OpenGL context (offscreen when headless).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

TEST(SdlPlatform, WindowWithGlContextDrawsAndSwaps) {
    const platform_backend& sdl = k_platform_sdl;
    ASSERT_TRUE(sdl.create_window("Trailbok test", 320, 240, 16, 16));
    int width = 0, height = 0;
    ASSERT_TRUE(sdl.begin_frame(&width, &height));
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    auto get_string = reinterpret_cast<const GLubyte* (*)(GLenum)>(sdl.gl_proc("glGetString"));
    ASSERT_NE(get_string, nullptr);
    EXPECT_NE(get_string(GL_VERSION), nullptr) << "a context is current";
    auto clear_color =
        reinterpret_cast<void (*)(float, float, float, float)>(sdl.gl_proc("glClearColor"));
    auto clear = reinterpret_cast<void (*)(GLbitfield)>(sdl.gl_proc("glClear"));
    auto read_pixels = reinterpret_cast<void (*)(int, int, int, int, GLenum, GLenum, void*)>(
        sdl.gl_proc("glReadPixels"));
    clear_color(1.0f, 0.0f, 0.0f, 1.0f);
    clear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    read_pixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_TRUE(sdl.end_frame());
    double t0 = sdl.clock();
    sdl.sleep(0, 20000);
    EXPECT_GE(sdl.clock() - t0, 0.019);
    sdl.destroy_window();
    EXPECT_FALSE(sdl.end_frame()) << "no window, no frame";
}
