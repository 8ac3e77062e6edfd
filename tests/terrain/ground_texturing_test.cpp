// The ground's composed textures: their layout for a ground's size, the windows that follow the
// eye, the shading files and their messages, the per-sample shading and normals after a change,
// the composition on the processor, and the schedule that recomposes what went out of date.
#include "ground_fixture.h"

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>

namespace {
// A card that remembers which textures received new texels, in order.
struct upload_log {
    std::vector<uint32_t> ids;
    std::map<uint32_t, std::vector<uint8_t>> created; // texels each texture was made with
    std::vector<uint32_t> drawn;                      // textures of the runs drawn
    uint32_t next = 0;
};
upload_log g_log;

bool log_current() { return true; }
bool log_has_extension(const char*) { return false; }
const char* log_renderer() { return ""; }
uint32_t log_create(int w, int h, const uint8_t* rgb, int) {
    g_log.created[++g_log.next].assign(rgb, rgb + static_cast<size_t>(w) * h * 3);
    return g_log.next;
}
void log_upload(uint32_t id, int, int, const uint8_t*, int) { g_log.ids.push_back(id); }
void log_delete(uint32_t) {}
bool log_compose(const ground_compose_job& job) {
    g_log.ids.push_back(job.target);
    return true;
}
void log_draw(const float*, const ground_draw_run* runs, int count, bool, bool) {
    for (int r = 0; r < count; r++) g_log.drawn.push_back(runs[r].texture);
}
const ground_gpu k_logging_gpu = {"log",        log_current, log_has_extension,
                                  log_renderer, log_create,  log_upload,
                                  log_delete,   log_compose, log_draw};

struct Texturing : GroundTest {
    void SetUp() override {
        GroundTest::SetUp();
        g_log = upload_log{};
        ground_set_gpu(&k_logging_gpu);
    }

    // Draws frames at an eye until nothing more is composed.
    static int settle(float x, float z) {
        for (int k = 0; k < 100; k++) {
            frame(x, rolling(x, z) + 5, z);
            if (ground_stats().textures_composed == 0) return k;
        }
        ADD_FAILURE() << "the textures never settled";
        return -1;
    }

    // Every texture of the windows and blocks where it lies, with its stamp and whether it is
    // drawn (blocks are level 6).
    struct texture_place {
        uint32_t id;
        int32_t stamp;
        bool valid;
    };
    using places = std::map<std::array<int, 3>, texture_place>;
    static places textures_now() {
        places all;
        const ground_texturing_layout l = ground_texturing_describe();
        for (int bz = 0; bz < l.blocks_per_side; bz++)
            for (int bx = 0; bx < l.blocks_per_side; bx++)
                all[{k_block_level, bx, bz}] = {ground_block_texture(bx, bz),
                                                ground_block_stamp(bx, bz), true};
        for (int level = l.first_level; level <= k_top_window_level; level++) {
            int ox, oz;
            ground_window_now(level, &ox, &oz);
            for (int b = 0; b < k_window_tiles; b++)
                for (int a = 0; a < k_window_tiles; a++) {
                    texture_place t{ground_tile_texture(level, ox + a, oz + b), 0, false};
                    if (ground_tile_stamp(level, ox + a, oz + b, &t.stamp, &t.valid))
                        all[{level, ox + a, oz + b}] = t;
                }
        }
        return all;
    }

    // Lowers the ground in a square, as a rut would, and marks its textures out of date.
    static void dig(int i0, int j0, int size) {
        for (int j = j0; j < j0 + size; j++)
            for (int i = i0; i < i0 + size; i++)
                ground_set_height(
                    i, j, ground().field.heights[j * ground().field.samples_per_side + i] - 1);
        ground_mark_dirty(i0 - 1, j0 - 1, i0 + size, j0 + size);
    }
};
} // namespace

TEST(GroundLayout, ABigGroundHasSixteenBlocksAndSixDataTexturesASide) {
    const ground_texturing_layout big = ground_layout_for(10);
    EXPECT_EQ(big.blocks_per_side, 16);
    EXPECT_EQ(big.data_per_side, 6);
    EXPECT_EQ(big.data_texels, (std::vector<int>{512, 512, 512, 512, 512, 256}))
        << "the last column covers 2048 - 1920 + 128 samples";
    const ground_texturing_layout rabbithill = ground_layout_for(9);
    EXPECT_EQ(rabbithill.blocks_per_side, 8);
    EXPECT_EQ(rabbithill.data_texels, (std::vector<int>{512, 512, 512}));
    const ground_texturing_layout smallest = ground_layout_for(6);
    EXPECT_EQ(smallest.blocks_per_side, 1);
    EXPECT_EQ(smallest.data_texels, (std::vector<int>{256}));
}

TEST_F(Texturing, TheFinestDetailComposesTilesOfOneGroundCell) {
    write_track(7, 1.0f, rolling);
    {
        ground_settings g = ground_config();
        g.texture_skip = 0; // Ground Texture Levels 10
        ground_configure(g);
    }
    ASSERT_TRUE(load_track_ground());
    EXPECT_EQ(ground_texturing_describe().first_level, 0);
    settle(100, 100);
    // The ground cell under the eye is drawn from a level-0 tile of its own.
    int ox, oz;
    ground_window_now(0, &ox, &oz);
    EXPECT_LE(ox, 50);
    EXPECT_GE(ox + 3, 50);
    int32_t stamp;
    bool valid;
    ASSERT_TRUE(ground_tile_stamp(0, 50, 50, &stamp, &valid));
    EXPECT_TRUE(valid);
}

TEST_F(Texturing, AtLowDetailOnlyTheBaseBlocksTextureTheGround) {
    write_track(7, 1.0f, rolling);
    {
        ground_settings g = ground_config();
        g.texture_skip = 6; // Ground Texture Levels 4
        ground_configure(g);
    }
    ASSERT_TRUE(load_track_ground());
    EXPECT_GT(ground_texturing_describe().first_level, k_top_window_level);
    std::set<uint32_t> blocks;
    for (int bz = 0; bz < 2; bz++)
        for (int bx = 0; bx < 2; bx++) blocks.insert(ground_block_texture(bx, bz));
    g_log.drawn.clear();
    frame(100, rolling(100, 100) + 5, 100);
    ASSERT_FALSE(g_log.drawn.empty());
    for (uint32_t t : g_log.drawn) EXPECT_TRUE(blocks.count(t)) << t;
}

TEST_F(Texturing, WindowsStayInsideTheGroundAtItsCorners) {
    write_track(7, 1.0f, rolling);
    ASSERT_TRUE(load_track_ground());
    const int e = ground().field.size_exponent;
    for (float corner : {0.0f, 256.0f, -40.0f, 600.0f}) {
        frame(corner, 10, corner);
        for (int level = ground_texturing_describe().first_level; level <= k_top_window_level;
             level++) {
            int ox, oz;
            ground_window_now(level, &ox, &oz);
            const int last = std::max((1 << (e - level)) - k_window_tiles, 0);
            const int expected = corner < 128 ? 0 : last;
            EXPECT_EQ(ox, expected) << "level " << level << " at " << corner;
            EXPECT_EQ(oz, expected) << "level " << level << " at " << corner;
        }
    }
    // Inside the ground each window holds the eye's tile with tiles on every side of it.
    for (int level = 1; level <= 4; level++) {
        const int p = 130; // sample under the eye
        const int origin = ground_window_origin(level, p, e);
        const int tile = p / (2 << level);
        EXPECT_GE(tile, origin + 1) << level;
        EXPECT_LE(tile, origin + 2) << level;
    }
}

TEST_F(Texturing, ShadingOfTheWrongSizeFailsWithItsDimensions) {
    std::string ppm = "P6\n2048 2048\n255\n";
    ppm.append(static_cast<size_t>(2048) * 2048 * 3, '\x80');
    write(data / "big/shadingx2.ppm", ppm);
    EXPECT_FALSE(ground_shading_load("big", 2049));
    EXPECT_EQ(message_recent(0), "Bad shading dimensions (2048x2048)");

    write(data / "bad/shading.ppm", "P6\nnot a picture");
    EXPECT_FALSE(ground_shading_load("bad", 129));
    EXPECT_EQ(message_recent(0), "Error reading shading");
    EXPECT_FALSE(ground_shading_load("none", 129));
    EXPECT_EQ(message_recent(0), "Can't open 'none/shading.ppm'");

    // A shading picture of full intensity is halved; shadows are inverted, wrong sizes logged.
    std::string full = "P6\n129 129\n255\n";
    full.append(static_cast<size_t>(129) * 129 * 3, '\xC8');
    write(data / "ok/shading.ppm", full);
    std::string shadows = "P5\n129 129\n255\n";
    shadows.append(static_cast<size_t>(129) * 129, '\x40');
    write(data / "ok/shadows.pgm", shadows);
    ASSERT_TRUE(ground_shading_load("ok", 129));
    EXPECT_EQ(ground_shading().shading[0], 100);
    EXPECT_EQ(ground_shading().shadow[0], 255 - 0x40);
    write(data / "ok/shadows.pgm", "P5\n128 128\n255\n" + std::string(128 * 128, '\0'));
    EXPECT_FALSE(ground_shading_load("ok", 129));
    EXPECT_NE(log_text().find("Bad shadow dimensions (128x128)\n"), std::string::npos);
}

TEST_F(Texturing, ARutIsReshadedFromTheSunAndSavedWithTheShading) {
    write_track(
        6, 1.0f, [](float, float) { return 5.0f; }, 100);
    const float sun[3] = {0, 1, 0}, white[3] = {1, 1, 1}, none[3] = {0, 0, 0};
    ground_set_lighting(sun, white, none, false);
    ASSERT_TRUE(load_track_ground());
    const int n = ground().field.samples_per_side;
    auto stored = [&](int i, int j) { return ground_shading().shading[(j * n + i) * 3]; };
    // The file's values stand until the ground changes.
    EXPECT_EQ(stored(40, 40), 100);
    for (int i = 40; i < 44; i++) ground_set_height(i, 40, 4.0f);
    EXPECT_TRUE(ground_reshade_pending(39, 39));
    EXPECT_FALSE(ground_reshade_pending(37, 40));
    ASSERT_TRUE(ground_shading_save("trk"));
    // Flat and in full sun: 0.5 x 255; on the rut's walls the sun comes in slanting.
    EXPECT_EQ(stored(41, 45), 100) << "untouched samples keep the file's shading";
    EXPECT_EQ(stored(44, 41), 127);
    EXPECT_LT(stored(41, 39), 127);
    const std::string doubled = read(home / "trk/shading.ppm");
    const std::string kept = read(home / "trk/shadingx2.ppm");
    const std::string header = "P6\n" + std::to_string(n) + " " + std::to_string(n) + "\n255\n";
    ASSERT_EQ(doubled.substr(0, header.size()), header);
    ASSERT_EQ(kept.size(), header.size() + static_cast<size_t>(n) * n * 3);
    const size_t at = header.size() + (39 * n + 41) * 3;
    EXPECT_EQ(static_cast<uint8_t>(kept[at]), stored(41, 39));
    EXPECT_EQ(static_cast<uint8_t>(doubled[at]), std::min(2 * stored(41, 39), 255));
    EXPECT_EQ(static_cast<uint8_t>(doubled[header.size()]), 200);
}

TEST_F(Texturing, PerPixelLightingKeepsNormalsAndLightInTheDataTextures) {
    write_track(7, 1.0f, [](float x, float) { return x < 100 ? 5.0f : 5.0f + (x - 100); });
    write(data / "trk/shadows.pgm",
          "P5\n257 257\n255\n" + std::string(static_cast<size_t>(257) * 257, '\xC0'));
    const float sun[3] = {0, 1, 0}, white[3] = {1, 1, 1}, grey[3] = {0.3f, 0.3f, 0.3f};
    ground_set_lighting(sun, white, grey, true);
    ground_settings g = ground_config();
    g.render_texture = 3; // Shaders/Copy
    g.shader_programs = true;
    ground_configure(g);
    ASSERT_TRUE(load_track_ground());
    ASSERT_TRUE(ground_lit_per_pixel());
    const std::vector<uint8_t>& normals = ground_shading().normals;
    const int n = ground().field.samples_per_side;
    const uint8_t* flat = &normals[(50 * n + 50) * 3];
    EXPECT_EQ(flat[0], 128);
    EXPECT_EQ(flat[1], 0xC0) << "the lit value in place of the up component";
    EXPECT_EQ(flat[2], 128);
    // Rising along x at 45 degrees: the normal leans back along -x.
    const uint8_t* slope = &normals[(50 * n + 150) * 3];
    EXPECT_EQ(slope[0], 128 - 89);
    EXPECT_EQ(slope[2], 128);
    // The first data texture holds the normals from sample -64 on.
    const std::vector<uint8_t>& texels = g_log.created.begin()->second;
    ASSERT_EQ(texels.size(), static_cast<size_t>(512) * 512 * 3);
    EXPECT_EQ(texels[(114 * 512 + 214) * 3], slope[0]);
    EXPECT_EQ(texels[0], normals[0]) << "clamped into the grid";
}

TEST_F(Texturing, TheProcessorComposesPicturesDecalsAndShading) {
    write_track(
        6, 1.0f, [](float, float) { return 1.0f; }, 64, 1);
    ASSERT_TRUE(load_track_ground());
    const ground_state& g = ground();
    std::vector<ground_picture> pictures = {ground_picture_load("@trk/red.ppm"),
                                            ground_picture_load("@trk/green.ppm")};
    std::vector<uint8_t> shading(static_cast<size_t>(129) * 129 * 3, 128);
    ground_compose_inputs in;
    in.field = &g.field, in.surfaces = &g.surfaces, in.pictures = &pictures;
    in.shading = shading.data();
    std::vector<uint8_t> rgb(32 * 32 * 3), scratch;
    // Two ground cells (red, then green) over 32 texels: 16 texels a cell.
    EXPECT_EQ(ground_compose_software(in, 0, 0, 2, 32, rgb.data(), &scratch), 0);
    auto texel = [&](int x, int z) { return &rgb[(z * 32 + x) * 3]; };
    EXPECT_NEAR(texel(2, 2)[0], 200, 2) << "red, unchanged by a shading of 1";
    EXPECT_NEAR(texel(20, 2)[1], 160, 2) << "the next cell is green";
    // The picture's middle (its lighter cross) falls on the cell's middle.
    EXPECT_GT(texel(8, 2)[1], texel(2, 2)[1] + 20);
    // Half the shading halves the colour.
    std::fill(shading.begin(), shading.end(), 64);
    ground_compose_software(in, 0, 0, 2, 32, rgb.data(), &scratch);
    EXPECT_NEAR(texel(2, 2)[0], 100, 2);
    // An opaque blue decal over the first cell's middle, a clear one over the second's.
    std::fill(shading.begin(), shading.end(), 128);
    ground_compose_software(in, 0, 0, 2, 32, rgb.data(), &scratch);
    const std::vector<uint8_t> bare = rgb;
    std::vector<ground_decal> decals(2);
    for (int k = 0; k < 2; k++) {
        ground_decal& d = decals[k];
        d.x = 1 + 2 * k, d.z = 1, d.size = 1;
        image_allocate(&d.picture, 4, 4, 4);
        for (size_t p = 0; p < 16; p++) {
            uint8_t* px = &d.picture.pixels[p * 4];
            px[0] = 0, px[1] = 0, px[2] = 255, px[3] = k == 0 ? 255 : 0;
        }
    }
    in.decals = &decals;
    EXPECT_EQ(ground_compose_software(in, 0, 0, 2, 32, rgb.data(), &scratch), 2);
    EXPECT_LE(texel(8, 8)[0], 2);
    EXPECT_GE(texel(8, 8)[2], 250);
    EXPECT_NEAR(texel(2, 2)[0], 200, 2) << "outside the decal";
    EXPECT_TRUE(std::equal(texel(24, 8), texel(24, 8) + 3, &bare[(8 * 32 + 24) * 3]))
        << "a clear decal leaves the ground";
    ground_picture missing = ground_picture_load("@trk/nothing.png");
    EXPECT_EQ(missing.rgb.width, 1);
}

TEST(GroundPixels, ThePackedPathGivesTheSameBytes) {
    std::mt19937 random(7);
    std::vector<uint8_t> colour(3 * 1000), shade(3 * 1000), plain, packed;
    for (auto& b : colour) b = static_cast<uint8_t>(random());
    for (auto& b : shade) b = static_cast<uint8_t>(random());
    colour[0] = 255, shade[0] = 255; // saturates
    colour[1] = 100, shade[1] = 128; // a shading of 1 keeps the colour
    plain = packed = colour;
    ground_shade_row(plain.data(), shade.data(), static_cast<int>(plain.size()), false);
    ground_shade_row(packed.data(), shade.data(), static_cast<int>(packed.size()), true);
    EXPECT_EQ(plain, packed);
    EXPECT_EQ(plain[0], 255);
    EXPECT_EQ(plain[1], 100);
    // Every pixel and alpha, against the rule itself.
    std::vector<uint8_t> pixel(256 * 256), picture(256 * 256), alpha(256 * 256);
    for (int a = 0; a < 256; a++)
        for (int p = 0; p < 256; p++) {
            pixel[a * 256 + p] = static_cast<uint8_t>(p);
            alpha[a * 256 + p] = static_cast<uint8_t>(a);
            picture[a * 256 + p] = static_cast<uint8_t>((p * 7 + a * 13) & 255);
        }
    std::vector<uint8_t> blended_plain = pixel, blended_packed = pixel;
    ground_blend_row(blended_plain.data(), picture.data(), alpha.data(), 65536, false);
    ground_blend_row(blended_packed.data(), picture.data(), alpha.data(), 65536, true);
    EXPECT_EQ(blended_plain, blended_packed);
    for (int k = 0; k < 65536; k++)
        ASSERT_EQ(blended_packed[k], (picture[k] * alpha[k] + pixel[k] * (255 - alpha[k])) / 255)
            << k;
}

TEST_F(Texturing, ARutIsRecomposedOldestFirstAfterTheTilesThatEnterTheWindows) {
    write_track(7, 1.0f, rolling);
    ASSERT_TRUE(load_track_ground());
    settle(100, 100);
    // A rut near the eye, then one frame later another.
    dig(98, 98, 4);
    const int32_t first = ground_frame();
    std::set<uint32_t> first_stale;
    for (const auto& [place, t] : textures_now())
        if (t.stamp == first) first_stale.insert(t.id);
    EXPECT_GE(first_stale.size(), 4u) << "a block and tiles of several levels";
    g_log.ids.clear();
    frame(100, rolling(100, 100) + 5, 100);
    ASSERT_EQ(g_log.ids.size(), 1u) << "one refresh a frame";
    EXPECT_TRUE(first_stale.count(g_log.ids[0]));
    dig(104, 96, 2);
    const int32_t second = ground_frame();
    ASSERT_GT(second, first);
    // The eye moves on: tiles enter the windows while the ruts' textures wait.
    int refreshes = 0, frames_with_both = 0;
    int32_t last_refreshed = 0;
    for (int k = 0; k < 40; k++) {
        const places before = textures_now();
        g_log.ids.clear();
        const float x = 100 + 3.0f * static_cast<float>(k);
        frame(x, rolling(x, 100) + 5, 100);
        const places after = textures_now();
        std::vector<int32_t> stamps;
        bool entered = false;
        for (uint32_t id : g_log.ids) {
            // Where the composed texture lies now, and what lay there before.
            const auto now = std::find_if(after.begin(), after.end(),
                                          [&](const auto& p) { return p.second.id == id; });
            ASSERT_NE(now, after.end());
            const auto was = before.find(now->first);
            const bool refresh = was != before.end() && was->second.id == id && was->second.valid &&
                                 was->second.stamp > 0;
            if (!refresh) {
                entered = true;
                EXPECT_EQ(stamps.size(), 0u) << "new tiles come before the refresh";
                continue;
            }
            stamps.push_back(was->second.stamp);
        }
        ASSERT_LE(stamps.size(), 1u) << "frame " << k;
        if (stamps.empty()) continue;
        refreshes++;
        frames_with_both += entered;
        EXPECT_GE(stamps[0], last_refreshed) << "oldest first";
        last_refreshed = stamps[0];
    }
    EXPECT_GE(refreshes, 3);
    EXPECT_GT(frames_with_both, 0);
    EXPECT_EQ(last_refreshed, second) << "the later rut came last";
    EXPECT_EQ(ground_stats().texture_age, 0);
}

TEST_F(Texturing, TheCardsMethodsRefreshOneDataTextureEveryFewFrames) {
    write_track(8, 1.0f, rolling);
    {
        ground_settings g = ground_config();
        g.render_texture = 1; // Hardware/Copy
        ground_configure(g);
    }
    ASSERT_TRUE(load_track_ground());
    EXPECT_EQ(ground_texturing_describe().method, ground_method_copy);
    EXPECT_EQ(ground_texturing_describe().data_texels, (std::vector<int>{512, 256}));
    settle(380, 380);
    EXPECT_EQ(ground_stats().reshades_pending, 0);
    dig(400, 400, 3); // inside both data textures' reach
    EXPECT_TRUE(ground_data_dirty(0, 0));
    EXPECT_TRUE(ground_data_dirty(1, 1));
    ground_refresh(2);
    EXPECT_EQ(ground_stats().reshades_pending, 4) << "the rut lies in every texture's reach";
    ground_refresh_full();
    EXPECT_EQ(ground_stats().reshades_pending, 3) << "the editor refreshes one at once";
    g_log.ids.clear();
    frame(380, rolling(380, 380) + 5, 380);
    EXPECT_EQ(g_log.ids.size(), 1u) << "a square over the refreshed texture went stale";
    // Every 2^2 frames one data texture is refreshed and the squares over it go stale.
    int refreshed_at[2] = {-1, -1}, k = 0;
    for (; k < 12 && refreshed_at[1] < 0; k++) {
        ground_refresh(2);
        const int pending = ground_stats().reshades_pending;
        if (pending == 2 && refreshed_at[0] < 0) refreshed_at[0] = k;
        if (pending == 1 && refreshed_at[1] < 0) refreshed_at[1] = k;
        frame(380, rolling(380, 380) + 5, 380);
    }
    EXPECT_EQ(refreshed_at[0], 2) << "one call before, three now";
    EXPECT_EQ(refreshed_at[1], 6);
}

TEST(GroundPixels, SmallerLevelsAverageTheTexelsUnderThem) {
    constexpr int side = 8;
    std::vector<uint8_t> rgb(ground_levels_bytes(side), 0);
    ASSERT_EQ(rgb.size(), static_cast<size_t>(3 * (64 + 16 + 4 + 1)));
    EXPECT_EQ(ground_level_count(side), 4);
    // Columns alternately 10 and 30 in red; green rising with the row; blue constant.
    for (int z = 0; z < side; z++)
        for (int x = 0; x < side; x++) {
            uint8_t* p = &rgb[(z * side + x) * 3];
            p[0] = x % 2 ? 30 : 10, p[1] = static_cast<uint8_t>(z * 20), p[2] = 77;
        }
    ground_make_levels(side, rgb.data());
    const uint8_t* level1 = &rgb[side * side * 3];
    for (int k = 0; k < 16; k++) {
        EXPECT_EQ(level1[k * 3], 20);
        EXPECT_EQ(level1[k * 3 + 1], (k / 4) * 40 + 10) << "rows " << 2 * (k / 4) << " and after";
        EXPECT_EQ(level1[k * 3 + 2], 77);
    }
    const uint8_t* last = &rgb[rgb.size() - 3];
    EXPECT_EQ(last[0], 20);
    EXPECT_EQ(last[1], 70);
    EXPECT_EQ(last[2], 77);
}
