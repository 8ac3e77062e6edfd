// The height field: header and body reading, the checkerboard triangulation, the queries and
// the normal cache.
#include "terrain/terrain.h"

#include "common/ripemd160.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {
std::string body_file(const char* header, const std::vector<uint16_t>& samples) {
    std::string bytes = header;
    for (uint16_t s : samples) {
        bytes += static_cast<char>(s & 0xFF);
        bytes += static_cast<char>(s >> 8);
    }
    return bytes;
}

bool parse(height_field* field, const std::string& bytes) {
    return height_field_parse(field, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// A field of exponent 6 whose heights are given by a function of the sample indices.
struct test_field {
    height_field field;
    template <typename heights> test_field(float c, heights h) {
        height_field_create(&field, 6, c, 0, 1);
        int n = field.samples_per_side;
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) field.heights[i + n * j] = h(i, j);
        height_field_loaded(&field);
    }
    ~test_field() { height_field_free(&field); }
    float& at(int i, int j) { return field.heights[i + field.samples_per_side * j]; }
};

} // namespace

TEST(HeightField, ZeroBodyGivesFlatFieldOfTheHeadersSize) {
    height_field field;
    ASSERT_TRUE(parse(&field, body_file("6 0.5 0 10\n:", std::vector<uint16_t>(129 * 129, 0))));
    EXPECT_EQ(field.samples_per_side, 129);
    EXPECT_FLOAT_EQ(field.extent, 64);
    for (int k = 0; k < 129 * 129; k++) ASSERT_EQ(field.heights[k], 0) << k;
    height_field_free(&field);
}

TEST(HeightField, ExtremeSampleValuesGiveExactlyMinAndMax) {
    std::vector<uint16_t> samples(129 * 129, 0);
    samples[1] = 65535;
    samples[129 * 5 + 7] = 65535;
    height_field field;
    ASSERT_TRUE(parse(&field, body_file("6 2 -3.5 17.25 :", samples)));
    EXPECT_EQ(field.heights[0], -3.5f);
    EXPECT_EQ(field.heights[1], 17.25f);
    EXPECT_EQ(field.heights[129 * 5 + 7], 17.25f) << "x index fastest";
    EXPECT_EQ(field.loaded_heights[1], 17.25f);
    height_field_free(&field);
}

TEST(HeightField, HeaderToleratesLineEndsBeforeTheBody) {
    height_field_header header;
    std::string text = "6\r\n 1.5\t0 100\r\n\r\n:";
    ASSERT_TRUE(height_field_parse_header(reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size(), &header));
    EXPECT_TRUE(header.has_body);
    EXPECT_EQ(header.body_offset, text.size());
    EXPECT_FLOAT_EQ(header.cell_size, 1.5f);
}

TEST(HeightField, HeaderWithoutColonTakesHeightsFromTheImage) {
    height_field_header header;
    std::string text = "7 2.000000 -1.000000 30.000000\n";
    ASSERT_TRUE(height_field_parse_header(reinterpret_cast<const uint8_t*>(text.data()),
                                          text.size(), &header));
    EXPECT_FALSE(header.has_body);
    height_field field;
    ASSERT_TRUE(parse(&field, text));
    EXPECT_EQ(field.samples_per_side, 257);
    EXPECT_EQ(field.heights[12345], -1.0f) << "no image: flat at the minimum";
    height_field_free(&field);
}

TEST(HeightField, BadHeadersAreRefused) {
    const char* bad[] = {
        "",
        "abc",
        "6 0.5 0",
        "6 0.5 0 x",
        "5 1 0 10 :",
        "11 1 0 10 :",
        "-1 1 0 10 :",
        "99999999999 1 0 1",
        "6 0 0 10 :",
        "6 -1 0 10 :",
        "6 nan 0 10 :",
        "6 1 inf 10 :",
        "6 1 0 nan :",
        "6 1e30 0 1 :",
    };
    for (const char* text : bad) {
        height_field_header header;
        EXPECT_FALSE(height_field_parse_header(reinterpret_cast<const uint8_t*>(text), strlen(text),
                                               &header))
            << "'" << text << "'";
    }
}

TEST(HeightField, ShortBodyReadsMissingBytesAsMax) {
    std::string bytes = body_file("6 1 0 10 :", std::vector<uint16_t>(100, 0));
    bytes += '\0'; // the low byte of sample 100; its high byte is missing
    height_field field;
    ASSERT_TRUE(parse(&field, bytes));
    EXPECT_EQ(field.heights[99], 0);
    EXPECT_NEAR(field.heights[100], 10.0f * 0xFF00 / 65535.0f, 1e-4);
    EXPECT_EQ(field.heights[101], 10.0f);
    EXPECT_EQ(field.heights[129 * 129 - 1], 10.0f);
    height_field_free(&field);
}

TEST(HeightField, SmallImageRepeatsItsLastColumnAndRow) {
    std::vector<uint16_t> pixels(100 * 100);
    for (int r = 0; r < 100; r++)
        for (int q = 0; q < 100; q++) pixels[r * 100 + q] = static_cast<uint16_t>(r * 300 + q);
    height_field field;
    height_field_create(&field, 6, 1, 0, 65535);
    height_field_fill_from_image(&field, pixels.data(), 100, 100);
    auto h = [&](int i, int j) { return field.heights[i + 129 * j]; };
    EXPECT_EQ(h(5, 7), 7 * 300 + 5);
    EXPECT_EQ(h(120, 7), 7 * 300 + 99);
    EXPECT_EQ(h(5, 128), 99 * 300 + 5);
    EXPECT_EQ(h(128, 128), 99 * 300 + 99);
    height_field_free(&field);
}

TEST(HeightField, LargeImageIsCropped) {
    std::vector<uint16_t> pixels(300 * 200, 7);
    pixels[200 * 300 - 1] = 9; // outside the grid
    pixels[128 * 300 + 128] = 11;
    height_field field;
    height_field_create(&field, 6, 1, 0, 65535);
    height_field_fill_from_image(&field, pixels.data(), 300, 200);
    EXPECT_EQ(field.heights[128 + 129 * 128], 11);
    EXPECT_EQ(field.heights[0], 7);
    height_field_free(&field);
}

TEST(HeightField, DigestCoversSamplesLowByteFirst) {
    std::vector<uint16_t> samples = {0x0102, 0xA0B0, 0xFFFF};
    const uint8_t bytes[] = {0x02, 0x01, 0xB0, 0xA0, 0xFF, 0xFF};
    char hex[41];
    height_field_digest(samples.data(), samples.size(), hex);
    EXPECT_EQ(std::string(hex), ripemd160_of(bytes, sizeof bytes));
}

TEST(HeightQueries, SamplesAreExactAtCellCorners) {
    test_field t(2, [](int i, int j) { return static_cast<float>((i * 7 + j * 13) % 11); });
    for (int j = 0; j < 129; j += 17)
        for (int i = 0; i < 129; i += 13)
            EXPECT_EQ(field_height_at(t.field, i * 2.0f, j * 2.0f), t.at(i, j)) << i << "," << j;
}

TEST(HeightQueries, PlaneIsReproducedEverywhereWithItsNormal) {
    const float c = 0.75f, a = 0.3f, b = -0.45f;
    test_field t(c, [&](int i, int j) { return a * i * c + b * j * c; });
    for (float x = 0.1f; x < 90; x += 3.37f) {
        for (float z = 0.2f; z < 90; z += 4.91f) {
            ASSERT_NEAR(field_height_at(t.field, x, z), a * x + b * z, 1e-3);
            vec3 n = field_normal_at(t.field, x, z);
            ASSERT_NEAR(n.x, -a * c * c, 1e-4);
            ASSERT_NEAR(n.y, c * c, 1e-6);
            ASSERT_NEAR(n.z, -b * c * c, 1e-4);
        }
    }
    vec3 v = field_vertex_normal_at(t.field, 40, 41);
    float r = 1.0f / std::sqrt(a * a + 1 + b * b);
    EXPECT_NEAR(v.x, -a * r, 1e-5);
    EXPECT_NEAR(v.y, r, 1e-5);
    EXPECT_NEAR(v.z, -b * r, 1e-5);
    EXPECT_NEAR(length(field_vertex_normal_at(t.field, 0, 128)), 1, 1e-5);
}

TEST(HeightQueries, FlatGroundNormalIsCellSizeSquaredUp) {
    test_field t(1.5f, [](int, int) { return 3.0f; });
    vec3 n = field_normal_at(t.field, 10.3f, 20.9f);
    EXPECT_EQ(n.x, 0);
    EXPECT_EQ(n.y, 1.5f * 1.5f);
    EXPECT_EQ(n.z, 0);
}

TEST(HeightQueries, EvenCellsSplitAlongTheRisingDiagonal) {
    // Cell (2, 4) is even: its diagonal runs from (2, 4) to (3, 5). Raising (3, 4) alone
    // changes only the v <= u triangle.
    test_field t(1, [](int, int) { return 0.0f; });
    t.at(3, 4) = 1;
    EXPECT_NEAR(field_height_at(t.field, 2.75f, 4.25f), 0.5f, 1e-6); // v <= u
    EXPECT_EQ(field_height_at(t.field, 2.25f, 4.75f), 0.0f);         // v > u
    // On the diagonal both planes give the same height, and the v <= u triangle is chosen.
    t.at(3, 4) = 0;
    t.at(2, 5) = 4; // tilts only the v > u triangle
    t.at(3, 4) = 2; // tilts only the v <= u triangle
    EXPECT_NEAR(field_height_at(t.field, 2.5f, 4.5f), 0, 1e-6);
    vec3 n = field_normal_at(t.field, 2.5f, 4.5f);
    // The v <= u triangle rises 2 along x and falls 2 along z; the other would give (4, 1, -4).
    EXPECT_NEAR(n.x, -2.0f, 1e-6);
    EXPECT_NEAR(n.y, 1.0f, 1e-6);
    EXPECT_NEAR(n.z, 2.0f, 1e-6);
}

TEST(HeightQueries, OddCellsSplitAlongTheFallingDiagonal) {
    // Cell (3, 4) is odd: its diagonal runs from (4, 4) to (3, 5).
    test_field t(1, [](int, int) { return 0.0f; });
    t.at(4, 5) = 1;
    EXPECT_EQ(field_height_at(t.field, 3.25f, 4.25f), 0.0f);         // u + v <= 1
    EXPECT_NEAR(field_height_at(t.field, 3.75f, 4.75f), 0.5f, 1e-6); // u + v > 1
    t.at(4, 5) = 0;
    t.at(3, 4) = 1;
    EXPECT_NEAR(field_height_at(t.field, 3.25f, 4.25f), 0.5f, 1e-6);
    EXPECT_EQ(field_height_at(t.field, 3.75f, 4.75f), 0.0f);
}

TEST(HeightQueries, OutsideTheFieldFollowsTheBorderProfile) {
    test_field t(1, [](int i, int j) { return static_cast<float>(i * 3 + j * j % 7); });
    for (float z = 0.3f; z < 128; z += 7.7f) {
        // Equal up to rounding: the cells beyond the border may split the other way.
        EXPECT_NEAR(field_height_at(t.field, -5, z), field_height_at(t.field, 0, z), 1e-4) << z;
        EXPECT_NEAR(field_height_at(t.field, 500, z), field_height_at(t.field, 128, z), 1e-4) << z;
        EXPECT_NEAR(field_height_at(t.field, z, -0.001f), field_height_at(t.field, z, 0), 1e-4)
            << z;
    }
    EXPECT_EQ(field_height_at(t.field, -40, -40), t.at(0, 0));
    EXPECT_EQ(field_height_at(t.field, 1e9f, 1e9f), t.at(128, 128));
    EXPECT_EQ(field_height_at(t.field, -1e30f, 3), t.at(0, 3));
    // Beyond the x border the ground has no slope along x.
    EXPECT_EQ(field_normal_at(t.field, -3.5f, 10.2f).x, 0);
    EXPECT_TRUE(std::isfinite(field_height_at(t.field, NAN, 3)));
}

TEST(HeightQueries, LoadedHeightsIgnoreDeformation) {
    test_field t(1, [](int, int) { return 2.0f; });
    field_set_height(t.field, 10, 10, 5);
    EXPECT_EQ(field_height_at(t.field, 10, 10), 5);
    EXPECT_EQ(field_loaded_height_at(t.field, 10, 10), 2);
    EXPECT_EQ(t.field.max_height, 5) << "writes keep the range";
}

TEST(NormalCache, EveryTriangleIsDirtyAfterLoading) {
    test_field t(1, [](int, int) { return 0.0f; });
    size_t triangles = 256 * 128;
    for (size_t k = 0; k < triangles; k++) ASSERT_EQ(t.field.normal_dirty[k], 1);
}

TEST(NormalCache, AWriteDirtiesExactlyTheTrianglesTouchingTheSample) {
    test_field t(1, [](int, int) { return 0.0f; });
    size_t triangles = 256 * 128;
    // Refresh everything.
    for (int j = 0; j < 129; j++)
        for (int i = 0; i < 129; i++) field_vertex_normal_at(t.field, i, j);
    for (size_t k = 0; k < triangles; k++) ASSERT_EQ(t.field.normal_dirty[k], 0) << k;

    struct expectation {
        int i, j, dirty;
    };
    // Even samples sit on 8 triangles, odd ones on 4, border samples on fewer.
    for (expectation e : {expectation{10, 20, 8}, expectation{11, 20, 4}, expectation{0, 0, 2},
                          expectation{128, 0, 2}, expectation{0, 5, 2}}) {
        field_set_height(t.field, e.i, e.j, 1.0f);
        int dirty = 0;
        for (size_t k = 0; k < triangles; k++) dirty += t.field.normal_dirty[k];
        EXPECT_EQ(dirty, e.dirty) << e.i << "," << e.j;
        // The vertex normal reflects the edit and leaves its triangles clean again.
        vec3 n = field_vertex_normal_at(t.field, e.i + (e.i < 128 ? 1 : -1), e.j);
        EXPECT_LT(n.y, 1.0f);
        for (int dj = -1; dj <= 1; dj++)
            for (int di = -1; di <= 1; di++) field_vertex_normal_at(t.field, e.i + di, e.j + dj);
        for (size_t k = 0; k < triangles; k++) ASSERT_EQ(t.field.normal_dirty[k], 0) << k;
        field_set_height(t.field, e.i, e.j, 0.0f);
        for (int dj = -1; dj <= 1; dj++)
            for (int di = -1; di <= 1; di++) field_vertex_normal_at(t.field, e.i + di, e.j + dj);
    }
}

TEST(NormalCache, VertexNormalAfterEditMatchesAFreshField) {
    test_field edited(1, [](int, int) { return 0.0f; });
    for (int j = 0; j < 129; j++)
        for (int i = 0; i < 129; i++) field_vertex_normal_at(edited.field, i, j);
    field_set_height(edited.field, 30, 31, 2.5f);
    test_field fresh(1, [](int i, int j) { return i == 30 && j == 31 ? 2.5f : 0.0f; });
    for (int j = 29; j <= 33; j++)
        for (int i = 28; i <= 32; i++) {
            vec3 a = field_vertex_normal_at(edited.field, i, j);
            vec3 b = field_vertex_normal_at(fresh.field, i, j);
            EXPECT_EQ(a.x, b.x);
            EXPECT_EQ(a.y, b.y);
            EXPECT_EQ(a.z, b.z);
        }
}

TEST(NormalCache, ChangedRegionCoversEveryWrite) {
    test_field t(1, [](int, int) { return 0.0f; });
    int a, b, c, d;
    EXPECT_FALSE(field_take_changed(t.field, &a, &b, &c, &d));
    field_set_height(t.field, 5, 9, 1);
    field_set_height(t.field, 2, 12, 1);
    field_set_height(t.field, 400, 12, 1); // outside: ignored
    ASSERT_TRUE(field_take_changed(t.field, &a, &b, &c, &d));
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 9);
    EXPECT_EQ(c, 5);
    EXPECT_EQ(d, 12);
    EXPECT_FALSE(field_take_changed(t.field, &a, &b, &c, &d));
}

namespace {
struct visit_log {
    std::vector<ground_triangle> triangles;
};
void record_triangle(const ground_triangle& t, void* context) {
    static_cast<visit_log*>(context)->triangles.push_back(t);
}
} // namespace

TEST(TrianglesInSquare, CoversTheSquareWithTheQueryTriangulation) {
    test_field t(2, [](int i, int j) { return static_cast<float>((i * 5 + j * 3) % 4); });
    visit_log log;
    field_triangles_in_square(t.field, 9.5f, 20.1f, 14.2f, 23.9f, record_triangle, &log);
    // Columns 4..7, rows 10..11.
    ASSERT_EQ(log.triangles.size(), 4u * 2 * 2);
    EXPECT_EQ(log.triangles[0].corner[0].x, 8.0f);
    EXPECT_EQ(log.triangles[0].corner[0].z, 20.0f);
    for (const ground_triangle& tri : log.triangles) {
        // Each triangle's centroid lies on the height query's surface.
        float x = (tri.corner[0].x + tri.corner[1].x + tri.corner[2].x) / 3;
        float y = (tri.corner[0].y + tri.corner[1].y + tri.corner[2].y) / 3;
        float z = (tri.corner[0].z + tri.corner[1].z + tri.corner[2].z) / 3;
        EXPECT_NEAR(field_height_at(t.field, x, z), y, 1e-5);
    }
}

TEST(TrianglesInSquare, CellsOutsideTheGridGiveTheBorderProfile) {
    test_field t(1, [](int i, int j) { return static_cast<float>(i + 2 * j); });
    visit_log log;
    field_triangles_in_square(t.field, -3, 5, -1, 6, record_triangle, &log);
    ASSERT_EQ(log.triangles.size(), 2u * 2);
    for (const ground_triangle& tri : log.triangles)
        for (const vec3& c : tri.corner) {
            EXPECT_LT(c.x, 0.5f);
            EXPECT_EQ(c.y, 2 * c.z) << "clamped to column 0";
        }
}

// The bound that lets contact skip a square must never be below any corner the walk visits.
TEST(HeightQueries, HighestInSquareBoundsEveryVisitedTriangle) {
    height_field f;
    height_field_create(&f, 6, 2.0f, 0, 100);
    uint32_t x = 12345;
    for (int j = 0; j < f.samples_per_side; j++)
        for (int i = 0; i < f.samples_per_side; i++) {
            x = x * 1664525u + 1013904223u;
            f.heights[j * f.samples_per_side + i] = static_cast<float>(x >> 24) / 4.0f;
        }
    height_field_loaded(&f);
    struct visit_state {
        float highest = -1e30f;
    };
    for (int k = 0; k < 200; k++) {
        x = x * 1664525u + 1013904223u;
        float cx = static_cast<float>(x % 300) - 20, cz = static_cast<float>((x >> 12) % 300) - 20;
        float r = 0.3f + static_cast<float>(k % 7);
        visit_state v;
        field_triangles_in_square(
            f, cx - r, cz - r, cx + r, cz + r,
            [](const ground_triangle& t, void* c) {
                auto& s = *static_cast<visit_state*>(c);
                for (const vec3& p : t.corner) s.highest = std::max(s.highest, p.y);
            },
            &v);
        EXPECT_FLOAT_EQ(field_highest_in_square(f, cx - r, cz - r, cx + r, cz + r), v.highest)
            << cx << ", " << cz << " r " << r;
    }
    height_field_free(&f);
}
