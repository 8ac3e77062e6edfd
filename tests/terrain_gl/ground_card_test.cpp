// The ground's textures composed on the card, by drawing and copying from the frame buffer and by
// drawing straight into the texture, against the same squares composed on the processor.
#include "terrain/ground_fixture.h"

#include "platform/platform.h"
#include "resources/gpu.h"

#include <GL/gl.h>

#include <array>
#include <cstdlib>
#include <map>

namespace {
constexpr int k_window = 256; // px, more than a composed texture

// Every composed texture around the eye with where it lies: level 6 are the base blocks.
using composed_set = std::map<std::array<int, 3>, std::vector<uint8_t>>;

struct CardComposition : GroundTest {
    static void SetUpTestSuite() {
        ASSERT_TRUE(k_platform_sdl.create_window("ground test", k_window, k_window, 24, 24));
        platform_use(k_platform_sdl);
    }
    static void TearDownTestSuite() {
        k_platform_sdl.destroy_window();
        platform_use(k_platform_null);
    }
    void SetUp() override {
        GroundTest::SetUp();
        int w, h;
        ASSERT_TRUE(platform().begin_frame(&w, &h));
        resources_set_gpu(&k_resources_gpu_gl);
        ground_set_gpu(&k_ground_gpu_gl);
        ground_set_texture_loader(texture_load);
    }
    void TearDown() override {
        platform().end_frame();
        ground_free();
        texture_purge(true);
        resources_set_gpu(nullptr);
        GroundTest::TearDown();
    }

    // Shading that changes from sample to sample, so that a square composed with its data
    // texture a sample out of place shows it.
    void write_shading(int n) {
        std::string ppm = "P6\n" + std::to_string(n) + " " + std::to_string(n) + "\n255\n";
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) {
                ppm += static_cast<char>(60 + (i * 7 + j * 3) % 120);
                ppm += static_cast<char>(90 + (i * 2 + j * 5) % 70);
                ppm += static_cast<char>(128);
            }
        write(data / "trk/shadingx2.ppm", ppm);
    }

    static std::vector<uint8_t> read_texture(uint32_t id, int size) {
        std::vector<uint8_t> texels(static_cast<size_t>(size) * size * 3);
        glBindTexture(GL_TEXTURE_2D, id);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return texels;
    }

    // Loads the ground with a method, lets the textures around the eye settle and reads them.
    static composed_set compose_with(int render_texture, int* method) {
        ground_free();
        {
            ground_settings g = ground_config();
            g.render_texture = render_texture;
            ground_configure(g);
        }
        EXPECT_TRUE(load_track_ground());
        const ground_texturing_layout l = ground_texturing_describe();
        *method = l.method;
        for (int k = 0; k < 100; k++) {
            frame(100, 20, 140);
            if (ground_stats().textures_composed == 0) break;
        }
        composed_set all;
        for (int bz = 0; bz < l.blocks_per_side; bz++)
            for (int bx = 0; bx < l.blocks_per_side; bx++)
                all[{k_block_level, bx, bz}] = read_texture(ground_block_texture(bx, bz), l.size);
        for (int level = l.first_level; level <= k_top_window_level; level++) {
            int ox, oz;
            ground_window_now(level, &ox, &oz);
            for (int b = 0; b < k_window_tiles; b++)
                for (int a = 0; a < k_window_tiles; a++)
                    all[{level, ox + a, oz + b}] =
                        read_texture(ground_tile_texture(level, ox + a, oz + b), l.size);
        }
        return all;
    }
};

// How far apart two textures are: the mean difference of every channel, and the largest
// difference of the means of 4 x 4 texel patches (the card filters the pictures its own way, so
// single texels may differ where a picture's detail is sharp).
struct difference {
    double mean = 0;
    int worst_patch = 0;
};

difference compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int size) {
    difference d;
    double sum = 0;
    for (size_t k = 0; k < a.size(); k++) sum += std::abs(a[k] - b[k]);
    d.mean = sum / static_cast<double>(a.size());
    for (int pz = 0; pz < size; pz += 4)
        for (int px = 0; px < size; px += 4)
            for (int c = 0; c < 3; c++) {
                int sa = 0, sb = 0;
                for (int z = pz; z < pz + 4; z++)
                    for (int x = px; x < px + 4; x++) {
                        sa += a[(static_cast<size_t>(z) * size + x) * 3 + c];
                        sb += b[(static_cast<size_t>(z) * size + x) * 3 + c];
                    }
                d.worst_patch = std::max(d.worst_patch, std::abs(sa - sb) / 16);
            }
    return d;
}
} // namespace

TEST_F(CardComposition, TheCardsMethodsComposeTheColoursTheProcessorDoes) {
    write_track(7, 1.0f, rolling, 128, 1);
    write_shading(257);
    int method = 0;
    const composed_set software = compose_with(0, &method);
    ASSERT_EQ(method, ground_method_software);
    const int size = ground_texturing_describe().size;
    // The squares really hold the pictures and the shading, not the placeholders.
    const std::vector<uint8_t>& block = software.at({k_block_level, 0, 0});
    EXPECT_GT(block[0] + block[1] + block[2], 60);
    for (int render_texture : {1, 2}) {
        SCOPED_TRACE(render_texture == 1 ? "copy" : "framebuffer");
        const composed_set card = compose_with(render_texture, &method);
        ASSERT_EQ(method, render_texture == 1 ? ground_method_copy : ground_method_framebuffer);
        ASSERT_EQ(ground_texturing_describe().size, size);
        ASSERT_EQ(card.size(), software.size());
        for (const auto& [place, texels] : software) {
            ASSERT_TRUE(card.count(place));
            const difference d = compare(texels, card.at(place), size);
            EXPECT_LT(d.mean, 3.0) << "level " << place[0] << " at " << place[1] << "," << place[2];
            EXPECT_LE(d.worst_patch, 6)
                << "level " << place[0] << " at " << place[1] << "," << place[2];
        }
    }
}
