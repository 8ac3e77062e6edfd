// Textures on an OpenGL 1.x card: uploads with mip levels and compression, wrap modes, deletion.
#include "resources/gl/gl_bind.h"
#include "resources/gl/gl_programs.h"
#include "resources/gl/gpu_gl.h"

#include "resources/image.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
// The border colour for clamped textures on drivers without clamp-to-edge: the most common
// colour of the edge pixels in a histogram of 8 levels per channel.
void border_colour(const image& im, float out[4]) {
    std::vector<int> counts(512, 0);
    const int c = im.channels;
    auto count = [&](int x, int y) {
        const uint8_t* p = &im.pixels[(static_cast<size_t>(y) * im.width + x) * c];
        counts[(p[0] >> 5) * 64 + (p[1] >> 5) * 8 + (p[2] >> 5)]++;
    };
    for (int x = 0; x < im.width; x++) {
        count(x, 0);
        count(x, im.height - 1);
    }
    for (int y = 0; y < im.height; y++) {
        count(0, y);
        count(im.width - 1, y);
    }
    int best = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
    out[0] = ((best >> 6) * 32 + 16) / 255.0f;
    out[1] = (((best >> 3) & 7) * 32 + 16) / 255.0f;
    out[2] = ((best & 7) * 32 + 16) / 255.0f;
    out[3] = 1.0f;
}

// Uploads every level of a prepared picture to the bound texture; returns the bytes it took.
int64_t upload_levels(const image& im, bool compress) {
    const GLenum format = im.channels == 4 ? GL_RGBA : GL_RGB;
    GLint internal = im.channels == 4 ? GL_RGBA : GL_RGB;
    if (compress && gl_has_extension("GL_ARB_texture_compression"))
        internal = im.channels == 4 ? GL_COMPRESSED_RGBA_ARB : GL_COMPRESSED_RGB_ARB;
    else
        compress = false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, im.levels - 1);
    int64_t bytes = 0;
    for (int l = 0; l < im.levels; l++) {
        const int w = image_level_width(im, l), h = image_level_height(im, l);
        glTexImage2D(GL_TEXTURE_2D, l, internal, w, h, 0, format, GL_UNSIGNED_BYTE,
                     image_level(im, l));
        GLint compressed = 0, size = 0;
        if (compress) {
            glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_COMPRESSED_ARB, &compressed);
            if (compressed)
                glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB,
                                         &size);
        }
        bytes += compressed ? size : static_cast<int64_t>(w) * h * im.channels;
    }
    return bytes;
}
} // namespace

bool gl_context_current() { return glGetString(GL_VERSION) != nullptr; }

uint32_t gl_texture_create(const image& im, bool repeat_s, bool repeat_t, bool compress,
                           int64_t* memory) {
    GLuint id = 0;
    glGenTextures(1, &id);
    gl_bind_forget();
    glBindTexture(GL_TEXTURE_2D, id);
    const bool mipmapped = im.levels > 1;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    mipmapped ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR);
    // Errors left by earlier drawing are not ours to judge the wrap modes by.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, repeat_s ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, repeat_t ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    if (glGetError() == GL_INVALID_ENUM) {
        // No clamp-to-edge: clamp against a border of the edges' colour, sampled nearest.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                        mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, repeat_s ? GL_REPEAT : GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, repeat_t ? GL_REPEAT : GL_CLAMP);
        float colour[4];
        border_colour(im, colour);
        glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, colour);
    }
    *memory = upload_levels(im, compress);
    return id;
}

void gl_texture_replace(uint32_t id, const image& im) {
    gl_bind_forget();
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLenum format = im.channels == 4 ? GL_RGBA : GL_RGB;
    for (int l = 0; l < im.levels; l++)
        glTexSubImage2D(GL_TEXTURE_2D, l, 0, 0, image_level_width(im, l), image_level_height(im, l),
                        format, GL_UNSIGNED_BYTE, image_level(im, l));
}

void gl_texture_delete(uint32_t id) {
    GLuint name = id;
    gl_bind_forget();
    glDeleteTextures(1, &name);
}
