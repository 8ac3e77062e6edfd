// The ground's level-of-detail mesh: watertight between patches of every detail, every corner
// on the height field, the error bound kept, fewer triangles further away, the pyramid's
// recomputation in budgeted steps, and the drawing order.
#include "ground_fixture.h"

#include <array>
#include <map>
#include <set>
#include <utility>

namespace {
struct LevelOfDetail : GroundTest {
    void SetUp() override {
        GroundTest::SetUp();
        write_track(7, 1.0f, rolling);
        ASSERT_TRUE(load_track_ground());
    }

    static ground_texture_choice no_texture(int, int, int) { return {}; }

    // The mesh for an eye, looking straight down unless told otherwise.
    static ground_mesh mesh_for(float x, float y, float z, const float* view = nullptr) {
        const float eye[3] = {x, y, z};
        const float down[3] = {0, -1, 0};
        lod_refine(eye);
        ground_mesh m;
        lod_build_mesh(eye, view ? view : down, 0, no_texture, &m);
        return m;
    }

    static int node_side(int level) { return 1 << (ground().field.size_exponent + 1 - level); }
};

// Every eye place the tests look from: corners, edges, the middle, outside, high and low.
std::vector<std::array<float, 3>> eye_places() {
    std::vector<std::array<float, 3>> eyes;
    for (float x : {0.0f, 3.0f, 63.5f, 128.0f, 200.0f, 255.0f, 256.0f, 300.0f})
        for (float z : {0.0f, 17.0f, 128.0f, 254.0f, -20.0f})
            eyes.push_back({x, GroundTest::rolling(x, z) + 5, z});
    eyes.push_back({128, 400, 128});
    return eyes;
}
} // namespace

TEST_F(LevelOfDetail, PatchesOfEveryDetailShareTheirEdgesAndCoverTheGround) {
    const height_field& f = ground().field;
    const int last = f.samples_per_side - 1;
    for (const auto& eye : eye_places()) {
        SCOPED_TRACE(testing::Message() << "eye " << eye[0] << ", " << eye[2]);
        const ground_mesh m = mesh_for(eye[0], eye[1], eye[2]);
        // Each stretch of a patch's outline between two of its vertices: inside the ground the
        // patch beyond has exactly the same stretch, so no vertex of one lies on the middle of
        // the other's edge.
        std::map<std::pair<std::pair<int, int>, std::pair<int, int>>, int> stretches;
        long long area = 0;
        int levels_seen = 0;
        for (const ground_mesh_fan& fan : m.fans) {
            const int side = node_side(fan.level);
            area += static_cast<long long>(side) * side;
            levels_seen |= 1 << fan.level;
            for (int k = 0; k + 1 < fan.count; k++) {
                std::pair<int, int> a{m.ring[2 * (fan.first + k)], m.ring[2 * (fan.first + k) + 1]};
                std::pair<int, int> b{m.ring[2 * (fan.first + k + 1)],
                                      m.ring[2 * (fan.first + k + 1) + 1]};
                stretches[{std::min(a, b), std::max(a, b)}]++;
            }
        }
        EXPECT_EQ(area, static_cast<long long>(last) * last) << "the patches tile the ground";
        EXPECT_GT(__builtin_popcount(levels_seen), 2) << "patches of several details meet";
        for (const auto& [s, count] : stretches) {
            const bool border = (s.first.first == s.second.first &&
                                 (s.first.first == 0 || s.first.first == last)) ||
                                (s.first.second == s.second.second &&
                                 (s.first.second == 0 || s.first.second == last));
            ASSERT_EQ(count, border ? 1 : 2) << "stretch " << s.first.first << "," << s.first.second
                                             << " - " << s.second.first << "," << s.second.second;
        }
        // Every corner drawn is a sample at its height.
        for (size_t v = 0; v < m.vertices.size(); v += 5) {
            const int i = static_cast<int>(std::lround(m.vertices[v] / f.cell_size));
            const int j = static_cast<int>(std::lround(m.vertices[v + 2] / f.cell_size));
            ASSERT_FLOAT_EQ(m.vertices[v], static_cast<float>(i) * f.cell_size);
            ASSERT_FLOAT_EQ(m.vertices[v + 2], static_cast<float>(j) * f.cell_size);
            ASSERT_EQ(m.vertices[v + 1],
                      f.heights[static_cast<size_t>(j) * f.samples_per_side + i]);
        }
    }
}

TEST_F(LevelOfDetail, EveryCoarsePatchIsWithinTheErrorItMayShowAtItsDistance) {
    const float factor = ground_config().lod_factor;
    const height_field& f = ground().field;
    int coarse = 0;
    for (const auto& eye : eye_places()) {
        const ground_mesh m = mesh_for(eye[0], eye[1], eye[2]);
        for (const ground_mesh_fan& fan : m.fans) {
            // A finest patch drawn whole is the height field itself.
            if (fan.level == f.size_exponent && lod_refined(fan.level, fan.i, fan.j)) continue;
            const float side = f.extent / static_cast<float>(1 << fan.level);
            const float dx = (static_cast<float>(fan.i) + 0.5f) * side - eye[0];
            const float dz = (static_cast<float>(fan.j) + 0.5f) * side - eye[2];
            const float distance = std::sqrt(dx * dx + dz * dz);
            ASSERT_LE(lod_node_error(fan.level, fan.i, fan.j), factor * distance * 1.0001f)
                << "level " << fan.level << " node " << fan.i << "," << fan.j;
            coarse++;
        }
    }
    EXPECT_GT(coarse, 100);
}

TEST_F(LevelOfDetail, FarGroundGetsFewerTrianglesThanNearGround) {
    // A rougher detail setting so that distance, not the field's size, sets the detail.
    {
        ground_settings g = ground_config();
        g.lod_factor = 0.02f;
        ground_configure(g);
    }
    ground_lod_build();
    const float eye[3] = {128, rolling(128, 128) + 4, 128};
    const ground_mesh m = mesh_for(eye[0], eye[1], eye[2]);
    const height_field& f = ground().field;
    // Triangles per square foot in rings around the eye.
    const float rings[] = {0, 24, 60, 120, 400};
    double triangles[4] = {}, area[4] = {};
    for (const ground_mesh_fan& fan : m.fans) {
        const float side = f.extent / static_cast<float>(1 << fan.level);
        const float dx = (static_cast<float>(fan.i) + 0.5f) * side - eye[0];
        const float dz = (static_cast<float>(fan.j) + 0.5f) * side - eye[2];
        const float d = std::sqrt(dx * dx + dz * dz);
        for (int r = 0; r < 4; r++)
            if (d >= rings[r] && d < rings[r + 1]) {
                triangles[r] += fan.count - 1;
                area[r] += side * side;
            }
    }
    for (int r = 0; r + 1 < 4; r++) {
        ASSERT_GT(area[r + 1], 0);
        EXPECT_GT(triangles[r] / area[r], 1.5 * triangles[r + 1] / area[r + 1])
            << "ring " << r << " against the ring beyond it";
    }
}

TEST_F(LevelOfDetail, ChangedHeightsAreTakenUpInBudgetedStepsToTheSameBounds) {
    // Dig a pit and raise a mound, as ruts would.
    for (int j = 40; j < 52; j++)
        for (int i = 100; i < 118; i++) ground_set_height(i, j, rolling(i, j) - 2);
    for (int j = 200; j < 204; j++)
        for (int i = 10; i < 14; i++) ground_set_height(i, j, rolling(i, j) + 3);
    const float before = lod_bound(7, 54, 22);
    int calls = 0;
    do {
        ground_refresh(30);
        calls++;
        ASSERT_LT(calls, 100000);
    } while (lod_recomputing());
    EXPECT_GT(calls, 20) << "the work is spread over frames";
    const int levels = ground().field.size_exponent;
    std::vector<float> stepped;
    for (int level = 0; level <= levels; level++)
        for (int j = 0; j < (1 << level); j++)
            for (int i = 0; i < (1 << level); i++) stepped.push_back(lod_bound(level, i, j));
    ground_lod_build();
    size_t k = 0;
    for (int level = 0; level <= levels; level++)
        for (int j = 0; j < (1 << level); j++)
            for (int i = 0; i < (1 << level); i++)
                ASSERT_EQ(stepped[k++], lod_bound(level, i, j)) << level << " " << i << "," << j;
    EXPECT_GT(lod_bound(7, 54, 22), before) << "the pit's node got a larger bound";
    // Nothing changed since: nothing more to do.
    ground_refresh(30);
    EXPECT_FALSE(lod_recomputing());
}

TEST_F(LevelOfDetail, GroundBehindTheEyeIsLeftOutAndTheRestComesBackToFront) {
    const float eye[3] = {128, rolling(128, 128) + 4, 128};
    const float east[3] = {1, 0, 0};
    const ground_mesh m = mesh_for(eye[0], eye[1], eye[2], east);
    ASSERT_FALSE(m.fans.empty());
    const height_field& f = ground().field;
    struct span {
        float x0, x1, z0, z1;
    };
    std::vector<span> drawn;
    for (const ground_mesh_fan& fan : m.fans) {
        const float side = f.extent / static_cast<float>(1 << fan.level);
        const span s{static_cast<float>(fan.i) * side, static_cast<float>(fan.i + 1) * side,
                     static_cast<float>(fan.j) * side, static_cast<float>(fan.j + 1) * side};
        EXPECT_GE(s.x1, eye[0]) << "nothing wholly behind the eye";
        drawn.push_back(s);
    }
    // Looking east, of two patches side by side along x the eastern one comes first, so that
    // the nearer one is painted over it.
    int pairs = 0;
    for (size_t a = 0; a < drawn.size(); a++)
        for (size_t b = a + 1; b < drawn.size(); b++) {
            if (drawn[a].z1 <= drawn[b].z0 || drawn[b].z1 <= drawn[a].z0) continue;
            pairs++;
            ASSERT_LT(drawn[b].x0, drawn[a].x1) << "patch " << b << " beyond patch " << a;
        }
    EXPECT_GT(pairs, 100);
}

TEST_F(LevelOfDetail, GroundBesideTheViewIsLeftOutButNothingTheEyeSees) {
    const height_field& f = ground().field;
    const float eye[3] = {60, rolling(60, 90) + 4, 90};
    const float length = std::sqrt(1 + 0.2f * 0.2f + 0.5f * 0.5f);
    const float view[3] = {1 / length, -0.2f / length, 0.5f / length};
    const float tangent = 0.8f;
    lod_refine(eye);
    ground_mesh all, seen;
    lod_build_mesh(eye, view, 0, no_texture, &all);
    lod_build_mesh(eye, view, tangent, no_texture, &seen);
    EXPECT_LT(seen.fans.size() * 3, all.fans.size() * 2) << "a good part lies beside the view";
    std::set<std::array<int, 3>> kept;
    for (const ground_mesh_fan& fan : seen.fans) kept.insert({fan.level, fan.i, fan.j});
    // Any fan with a corner inside the cone the eye sees is drawn.
    const int n = f.samples_per_side;
    for (const ground_mesh_fan& fan : all.fans) {
        bool inside = false;
        for (int k = 0; k < fan.count && !inside; k++) {
            const int i = all.ring[2 * (fan.first + k)], j = all.ring[2 * (fan.first + k) + 1];
            const float d[3] = {static_cast<float>(i) * f.cell_size - eye[0],
                                f.heights[static_cast<size_t>(j) * n + i] - eye[1],
                                static_cast<float>(j) * f.cell_size - eye[2]};
            const float along = d[0] * view[0] + d[1] * view[1] + d[2] * view[2];
            const float across =
                std::sqrt(std::max(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - along * along, 0.0f));
            inside = along > 0 && across < tangent * along;
        }
        if (!inside) continue;
        ASSERT_TRUE(kept.count({fan.level, fan.i, fan.j}))
            << "level " << fan.level << " node " << fan.i << "," << fan.j;
    }
}

// "--max-detail-distance": within it every node of the finest level is drawn, and the ground
// further off keeps the detail it had.
TEST_F(LevelOfDetail, TheFullDetailDistanceRefinesEveryFinestNodeWithinIt) {
    const height_field& f = ground().field;
    const int e = f.size_exponent;
    const float eye[3] = {128, rolling(128, 128) + 5, 128};
    const float reach = 60;
    const float side = f.extent / static_cast<float>(1 << e);
    auto finest_within = [&](float distance, bool* all) {
        int refined = 0;
        *all = true;
        for (int j = 0; j < 1 << e; j++)
            for (int i = 0; i < 1 << e; i++) {
                const float dx = (static_cast<float>(i) + 0.5f) * side - eye[0];
                const float dz = (static_cast<float>(j) + 0.5f) * side - eye[2];
                if (dx * dx + dz * dz > distance * distance) continue;
                const bool marked = lod_refined(e, i, j);
                refined += marked;
                *all = *all && marked;
            }
        return refined;
    };
    bool all = false;
    lod_refine(eye);
    const int usual = finest_within(reach, &all);
    ASSERT_FALSE(all) << "the usual detail leaves some of it coarser";
    const int far_usual = finest_within(200, &all) - usual;
    lod_refine(eye, reach);
    EXPECT_GT(finest_within(reach, &all), usual);
    EXPECT_TRUE(all);
    lod_refine(eye);
    EXPECT_EQ(finest_within(200, &all) - usual, far_usual) << "back as it was without it";
}
