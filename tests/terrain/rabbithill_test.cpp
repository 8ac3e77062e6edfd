// The generated default track "rabbithill": its lap, its field, the shape of its features and
// the surfaces under them, read back from the data set the generator wrote.
#include "common/common.h"
#include "forge_layout.h"

#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "resources/texture.h"
#include "terrain/erosion.h"
#include "terrain/terrain.h"

#include "support/data_set_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

float degrees(float slope) { return std::atan(slope) * 180 / k_pi_f; }

struct Rabbithill : ::testing::Test {
    fs::path home;
    const track_layout& layout = rabbithill_layout();

    void SetUp() override {
        home = data_set_home_open("tb_rabbithill_");
        ground_free();
        // Decoding every ground picture is for the one test that checks them.
        bool textures = strcmp(::testing::UnitTest::GetInstance()->current_test_info()->name(),
                               "EverySurfaceHasItsGeneratedTexture") == 0;
        ground_set_texture_loader(textures ? texture_load : nullptr);
        ASSERT_TRUE(height_field_load(k_rabbithill_folder));
        ASSERT_TRUE(surface_types_load(k_rabbithill_folder));
        ASSERT_TRUE(tilemap_load(k_rabbithill_folder));
    }
    void TearDown() override {
        ground_set_texture_loader(texture_load);
        ground_free();
        data_set_home_close(home);
    }

    // Ground height under the centre line at s.
    float centre_height(float s) const {
        layout_point p = layout_at(layout, s);
        return ground_height_at(p.x, p.z);
    }
    // Slope along the direction of travel over the foot ahead of s.
    float slope_along(float s) const { return centre_height(s + 1.0f) - centre_height(s); }
    // Slope of the groove relative to the graded hillside it is cut into.
    float feature_slope(float s) const {
        return slope_along(s) - (layout_grade(layout, s + 1.0f) - layout_grade(layout, s));
    }
    float feature_height(float s) const { return centre_height(s) - layout_grade(layout, s); }

    std::string surface_name_at(float x, float z) const {
        return surface_type_get(surface_type_at(x, z)).name;
    }
    std::string material_at(float x, float z) const {
        std::string name = surface_name_at(x, z);
        return name.substr(0, name.find('-'));
    }
};

// The radius of the lap's turning at s, from the heading change over 10 ft.
float turn_radius(const track_layout& layout, float s) {
    layout_point a = layout_at(layout, s - 5), b = layout_at(layout, s + 5);
    float dot = std::clamp(a.dir_x * b.dir_x + a.dir_z * b.dir_z, -1.0f, 1.0f);
    float angle = std::acos(dot);
    return angle > 1e-6f ? 10.0f / angle : 1e9f;
}

bool is_jump(feature_kind k) {
    return k == feature_kind::tabletop || k == feature_kind::double_jump ||
           k == feature_kind::triple_jump || k == feature_kind::step_up ||
           k == feature_kind::finish_jump || k == feature_kind::rhythm_lane;
}
} // namespace

TEST_F(Rabbithill, LapIsClosedSmoothAndOfRaceLength) {
    EXPECT_GE(layout.length, 2500);
    EXPECT_LE(layout.length, 3500);
    const layout_point& first = layout.points.front();
    const layout_point& last = layout.points.back();
    EXPECT_NEAR(std::hypot(first.x - last.x, first.z - last.z), layout.step, 0.05f);
    for (size_t k = 0; k < layout.points.size(); k++) {
        const layout_point& a = layout.points[k];
        const layout_point& b = layout.points[(k + 1) % layout.points.size()];
        ASSERT_NEAR(std::hypot(b.x - a.x, b.z - a.z), layout.step, 0.05f)
            << "even spacing at " << a.s;
        ASSERT_GT(a.dir_x * b.dir_x + a.dir_z * b.dir_z, 0.999f) << "no kink at " << a.s;
    }
    float tightest = 1e9f;
    for (float s = 0; s < layout.length; s += 2)
        tightest = std::min(tightest, turn_radius(layout, s));
    EXPECT_GT(tightest, 30.0f) << "a hairpin a bike can ride";
}

TEST_F(Rabbithill, LapParallelsNeverShareGround) {
    // Parts of the lap far apart along it stay far enough apart that their shoulders don't meet.
    for (size_t a = 0; a < layout.points.size(); a += 8) {
        for (size_t b = a + 8; b < layout.points.size(); b += 8) {
            const layout_point& p = layout.points[a];
            const layout_point& q = layout.points[b];
            float along = std::min(q.s - p.s, layout.length - (q.s - p.s));
            if (along < 200) continue;
            ASSERT_GT(std::hypot(p.x - q.x, p.z - q.z), p.half_width + q.half_width + 2 * 16.0f)
                << p.s << " and " << q.s;
        }
    }
}

TEST_F(Rabbithill, FieldSizeAndSpacing) {
    const height_field& f = ground().field;
    EXPECT_GE(f.size_exponent, 8);
    EXPECT_EQ(f.size_exponent, k_rabbithill_size_exponent);
    EXPECT_LE(f.cell_size, 2.0f) << "jumps need samples no coarser than 2 ft";
    EXPECT_GE(f.extent, 1024.0f);
    EXPECT_FLOAT_EQ(f.extent, k_rabbithill_extent);
    EXPECT_EQ(ground().surfaces.tiles_per_side, 1 << f.size_exponent);
    for (const layout_point& p : layout.points) {
        ASSERT_GT(std::min(p.x, p.z) - p.half_width, 100.0f);
        ASSERT_LT(std::max(p.x, p.z) + p.half_width, f.extent - 100.0f);
    }
}

TEST_F(Rabbithill, EveryFeatureOnceInRidingOrder) {
    const feature_kind wanted[] = {
        feature_kind::start_straight,  feature_kind::berm_turn,   feature_kind::tabletop,
        feature_kind::double_jump,     feature_kind::whoops,      feature_kind::triple_jump,
        feature_kind::off_camber_turn, feature_kind::rhythm_lane, feature_kind::step_up,
        feature_kind::sand_section,    feature_kind::finish_jump};
    float previous_end = 0;
    size_t next = 0;
    for (const layout_feature& f : layout.features) {
        EXPECT_GE(f.s_begin, previous_end) << f.name << " overlaps the feature before it";
        EXPECT_GT(f.s_end, f.s_begin) << f.name;
        EXPECT_LE(f.s_end, layout.length) << f.name;
        previous_end = f.s_end;
        if (next < std::size(wanted) && f.kind == wanted[next]) next++;
    }
    EXPECT_EQ(next, std::size(wanted)) << "missing or out of order";
    EXPECT_GT(layout.finish_s, layout_find(layout, feature_kind::finish_jump)->s_end);
    EXPECT_LT(layout.finish_s, layout.length);
    // The start straight is wide and the ground there is nearly flat.
    EXPECT_GE(layout_at(layout, 0).half_width * 2, 60.0f);
    for (float s = 0; s < 300; s += 5) ASSERT_LT(std::fabs(degrees(slope_along(s))), 6.0f) << s;
}

TEST_F(Rabbithill, JumpsSitOnStraightsAndStandAtRealHeights) {
    struct expectation {
        feature_kind kind;
        float low, high; // ft above the graded ground
    };
    const expectation heights[] = {
        {feature_kind::tabletop, 4, 6.5f},    {feature_kind::double_jump, 4.5f, 7},
        {feature_kind::triple_jump, 5, 7.5f}, {feature_kind::step_up, 5.5f, 8.5f},
        {feature_kind::finish_jump, 5, 8},    {feature_kind::rhythm_lane, 2, 4},
        {feature_kind::whoops, 1.5f, 3},
    };
    for (const expectation& e : heights) {
        const layout_feature* f = layout_find(layout, e.kind);
        ASSERT_NE(f, nullptr);
        float top = -1e9f;
        for (float s = f->s_begin; s < f->s_end; s += 0.5f) top = std::max(top, feature_height(s));
        EXPECT_GE(top, e.low) << f->name;
        EXPECT_LE(top, e.high) << f->name;
        // Flat before and after: the feature starts and ends on the grade.
        EXPECT_NEAR(feature_height(f->s_begin - 3), 0, 0.3f) << f->name;
        EXPECT_NEAR(feature_height(f->s_end + 3), 0, 0.3f) << f->name;
        if (!is_jump(e.kind)) continue;
        for (float s = f->s_begin - 20; s < f->s_end + 20; s += 5)
            ASSERT_GT(turn_radius(layout, s), 250.0f)
                << f->name << " at " << s << " of " << f->s_begin;
    }
}

TEST_F(Rabbithill, TakeOffsAreRideableAndLandingsLongerAndShallower) {
    for (feature_kind kind :
         {feature_kind::tabletop, feature_kind::double_jump, feature_kind::triple_jump,
          feature_kind::step_up, feature_kind::finish_jump}) {
        const layout_feature* f = layout_find(layout, kind);
        // The take-off face: from where the ground starts rising to its lip.
        float s = f->s_begin;
        while (feature_slope(s) < 0.05f) s += 0.5f;
        float face_begin = s, steepest_up = 0, previous = feature_slope(s), worst_change = 0;
        while (feature_slope(s) > 0.05f && s < f->s_end) {
            float slope = feature_slope(s);
            steepest_up = std::max(steepest_up, slope);
            worst_change = std::max(worst_change, std::fabs(slope - previous));
            previous = slope;
            s += 0.5f;
        }
        float take_off_length = s - face_begin;
        EXPECT_GE(degrees(steepest_up), 20.0f) << f->name;
        EXPECT_LE(degrees(steepest_up), 37.0f) << f->name;
        // Sampled at 1.25 ft, a rounded lip changes slope a little per half foot; a kink would
        // jump by the whole face slope at once.
        EXPECT_LT(worst_change, 0.25f) << f->name << ": the face or lip kinks";

        // The landing face: from the last crest down to where the ground levels out.
        float e = f->s_end;
        while (feature_slope(e) > -0.05f) e -= 0.5f;
        float landing_end = e, steepest_down = 0;
        while (feature_slope(e) < -0.05f && e > s) {
            steepest_down = std::min(steepest_down, feature_slope(e));
            e -= 0.5f;
        }
        float landing_length = landing_end - e;
        EXPECT_GE(degrees(-steepest_down), 8.0f) << f->name;
        EXPECT_LT(-steepest_down, steepest_up) << f->name << ": landing shallower than the face";
        EXPECT_GT(landing_length, take_off_length) << f->name << ": landing longer than the face";
    }
}

TEST_F(Rabbithill, StepUpLandsHigherThanItTakesOff) {
    const layout_feature* f = layout_find(layout, feature_kind::step_up);
    float s = f->s_begin;
    while (feature_slope(s) > -0.05f) s += 0.5f; // the take-off's lip
    float lip = feature_height(s);
    float plateau = 0;
    for (float t = s; t < f->s_end; t += 0.5f) plateau = std::max(plateau, feature_height(t));
    EXPECT_GT(plateau, lip + 2.0f);
}

TEST_F(Rabbithill, TurnsAreBankedTheRightWay) {
    auto bank = [&](const layout_feature* f) {
        // Height of the groove's left edge over its right edge at the turn's middle, and which
        // way the lap turns there.
        float s = (f->s_begin + f->s_end) / 2;
        layout_point p = layout_at(layout, s), q = layout_at(layout, s + 10);
        float left_x = p.dir_z, left_z = -p.dir_x, h = p.half_width - 2;
        float left = ground_height_at(p.x + left_x * h, p.z + left_z * h);
        float right = ground_height_at(p.x - left_x * h, p.z - left_z * h);
        float turning_left = (p.dir_x * q.dir_z - p.dir_z * q.dir_x) < 0 ? 1.0f : -1.0f;
        return (left - right) * turning_left; // positive: the inside is higher
    };
    EXPECT_LT(bank(layout_find(layout, feature_kind::berm_turn)), -2.5f)
        << "a berm's outside stands up";
    EXPECT_GT(bank(layout_find(layout, feature_kind::off_camber_turn)), 1.5f)
        << "off-camber falls away";
}

TEST_F(Rabbithill, SurfacesUnderGrooveInfieldAndSand) {
    // The groove on the straights is packed dirt.
    for (feature_kind kind :
         {feature_kind::tabletop, feature_kind::double_jump, feature_kind::triple_jump,
          feature_kind::whoops, feature_kind::rhythm_lane, feature_kind::finish_jump}) {
        const layout_feature* f = layout_find(layout, kind);
        for (float s = f->s_begin; s < f->s_end; s += 3) {
            layout_point p = layout_at(layout, s);
            ASSERT_EQ(material_at(p.x, p.z), "dirt") << f->name << " at " << s;
        }
    }
    const layout_feature* sand = layout_find(layout, feature_kind::sand_section);
    for (float s = sand->s_begin + 10; s < sand->s_end - 10; s += 3) {
        layout_point p = layout_at(layout, s);
        ASSERT_EQ(surface_name_at(p.x, p.z), "sand") << s;
    }
    layout_point berm = layout_at(layout, (layout_find(layout, feature_kind::berm_turn)->s_begin +
                                           layout_find(layout, feature_kind::berm_turn)->s_end) /
                                              2);
    EXPECT_EQ(surface_name_at(berm.x, berm.z), "loam");
    layout_point gate = layout_at(layout, 20);
    EXPECT_EQ(surface_name_at(gate.x, gate.z), "hardpack");
    // The infield and the hillside around: grass wherever the lap is far away.
    int checked = 0;
    for (float z = 10; z < ground().field.extent; z += 37) {
        for (float x = 10; x < ground().field.extent; x += 37) {
            if (layout_locate(layout, x, z).distance < 60) continue;
            ASSERT_EQ(material_at(x, z), "grass") << x << "," << z;
            checked++;
        }
    }
    EXPECT_GT(checked, 500);
    // Grass grips less and rolls easier than dirt; sand drags hardest.
    int dirt = surface_type_at(layout_at(layout, 950).x, layout_at(layout, 950).z);
    int grass = surface_type_at(5, 5);
    layout_point sp = layout_at(layout, (sand->s_begin + sand->s_end) / 2);
    int sand_type = surface_type_at(sp.x, sp.z);
    EXPECT_LT(friction_at(grass, 20), friction_at(dirt, 20));
    float dirt_roll, grass_roll, sand_roll, second;
    roll_resist_at(dirt, 20, &dirt_roll, &second);
    roll_resist_at(grass, 20, &grass_roll, &second);
    roll_resist_at(sand_type, 20, &sand_roll, &second);
    EXPECT_GT(sand_roll, 2 * dirt_roll);
    EXPECT_LT(grass_roll, dirt_roll);
}

TEST_F(Rabbithill, BlendTilesMeetTheirNeighbours) {
    // Each tile's four corner types, read from its blend code, agree with the neighbours
    // sharing those corners, and the groove's edge is made of blend tiles.
    const surface_set& set = ground().surfaces;
    int tiles = set.tiles_per_side;
    auto corner = [&](int xc, int zc, int bit) {
        int32_t code = surface_type_get(set.tilemap[zc * tiles + xc]).blend_code;
        EXPECT_NE(code, static_cast<int32_t>(0xFFFFFF00u));
        int base = (code >> 16) & 0xFF, other = (code >> 8) & 0xFF;
        return (code >> bit) & 1 ? other : base;
    };
    int blended = 0;
    for (int zc = 0; zc < tiles; zc++) {
        for (int xc = 0; xc < tiles; xc++) {
            if ((surface_type_get(set.tilemap[zc * tiles + xc]).blend_code & 0xF) != 0) blended++;
            if (xc + 1 < tiles) {
                ASSERT_EQ(corner(xc, zc, 2), corner(xc + 1, zc, 3)) << xc << "," << zc;
                ASSERT_EQ(corner(xc, zc, 0), corner(xc + 1, zc, 1)) << xc << "," << zc;
            }
            if (zc + 1 < tiles) {
                ASSERT_EQ(corner(xc, zc, 1), corner(xc, zc + 1, 3))
                    << xc << "," << zc << " " << surface_type_get(set.tilemap[zc * tiles + xc]).name
                    << " over " << surface_type_get(set.tilemap[(zc + 1) * tiles + xc]).name;
                ASSERT_EQ(corner(xc, zc, 0), corner(xc, zc + 1, 2)) << xc << "," << zc;
            }
        }
    }
    // Both edges of about 3,300 ft of groove, 2.5 ft tiles.
    EXPECT_GT(blended, 2000);
}

TEST_F(Rabbithill, EverySurfaceHasItsGeneratedTexture) {
    const surface_set& set = ground().surfaces;
    EXPECT_GE(set.count, 5);
    for (int k = 0; k < set.count; k++)
        EXPECT_NE(set.types[k].texture, 0u) << set.types[k].texture_name << " did not load";
}

TEST_F(Rabbithill, NoCliffsAndAGentleHillside) {
    // The steepest ground is a jump's back face; where the groove's shoulders meet the
    // hillside, or two shoulders meet each other, nothing is steeper.
    const height_field& f = ground().field;
    float steepest = 0, steepest_hillside = 0;
    for (float z = 0.6f; z < f.extent; z += 1.25f) {
        for (float x = 0.6f; x < f.extent; x += 1.25f) {
            vec3 n = field_normal_at(f, x, z);
            float slope = std::sqrt(n.x * n.x + n.z * n.z) / n.y;
            steepest = std::max(steepest, slope);
        }
    }
    for (float z = 5; z < f.extent; z += 40) {
        for (float x = 5; x < f.extent; x += 40) {
            if (layout_locate(layout, x, z).distance < 100) continue; // all 40 ft of the run clear
            for (float dz = 0; dz < 40; dz += 5) {
                vec3 n = field_normal_at(f, x, z + dz);
                steepest_hillside =
                    std::max(steepest_hillside, std::sqrt(n.x * n.x + n.z * n.z) / n.y);
            }
        }
    }
    EXPECT_LT(degrees(steepest), 42.0f);
    EXPECT_LT(degrees(steepest_hillside), 10.0f) << "a gently rolling hillside";
    EXPECT_GT(degrees(steepest_hillside), 2.0f) << "but not a flat plain";
}

// The surfaces' rutting as a race leaves it: the same wheel passes over one spot of each
// material, at the default rate ("--erode 1"), dig the racing dirt into a rut that shows, mark
// the hard pack of the start only a little, and leave the grass alone; no rut goes below what
// its surface's depth table allows.
TEST_F(Rabbithill, TheRacingDirtRutsHardPackBarelyMarksAndGrassNever) {
    const height_field& f = ground().field;
    // A spot whose ground cells all around are of the named material (any of its plain
    // variants) and nearly level along x, so that neither the slope limits nor a neighbouring
    // surface decide what happens.
    const auto is_material = [](const char* type, const std::string& material) {
        const std::string name = type;
        return name == material || name.rfind(material + "-alt", 0) == 0;
    };
    const auto spot = [&](const char* material, float* x, float* z) {
        for (float sz = 40; sz < f.extent - 40; sz += 2.5f)
            for (float sx = 40; sx < f.extent - 40; sx += 2.5f) {
                bool fits =
                    std::fabs(ground_height_at(sx - 4, sz) - ground_height_at(sx, sz)) < 0.2f;
                for (float dz = -5; dz <= 5 && fits; dz += 1.25f)
                    for (float dx = -5; dx <= 5 && fits; dx += 1.25f)
                        fits = is_material(surface_type_get(surface_type_at(sx + dx, sz + dz)).name,
                                           material);
                if (fits) {
                    *x = sx, *z = sz;
                    return true;
                }
            }
        return false;
    };
    // Two hundred passes: ten riders' two wheels for ten laps.
    const auto rut = [&](float x, float z) {
        erosion_reset();
        erosion_set_setting(1024);
        for (int pass = 0; pass < 200; pass++) {
            erosion_point p;
            p.x = x, p.z = z, p.push_x = 1, p.push_z = 0, p.count = 4;
            const float zero[2] = {0, 0};
            uint8_t record[k_edit_record_max_bytes];
            terrain_edit_apply(record, terrain_edit_encode(&p, 1, zero, zero, f.extent, record));
        }
        erosion_settle();
        float deepest = 0;
        for (float dz = -3; dz <= 3; dz += 0.25f)
            for (float dx = -3; dx <= 3; dx += 0.25f)
                deepest = std::max(deepest, field_loaded_height_at(f, x + dx, z + dz) -
                                                ground_height_at(x + dx, z + dz));
        erosion_reset();
        return deepest;
    };
    // The depth at which the table stops all digging.
    const auto floor_of = [](float x, float z) {
        const erosion_params& e = surface_type_get(surface_type_at(x, z)).erosion;
        for (int k = 0; k < e.limit_count; k++)
            if (e.limit_a[k] <= 0 && e.limit_b[k] <= 0) return e.limit_depth[k];
        return 1e9f;
    };
    float dx = 0, dz = 0, hx = 0, hz = 0, gx = 0, gz = 0;
    ASSERT_TRUE(spot("dirt", &dx, &dz));
    ASSERT_TRUE(spot("hardpack", &hx, &hz));
    ASSERT_TRUE(spot("grass", &gx, &gz));
    const float dirt = rut(dx, dz), hardpack = rut(hx, hz), grass = rut(gx, gz);
    EXPECT_GT(dirt, 0.4f) << "the racing dirt ruts deep enough to see";
    EXPECT_LE(dirt, floor_of(dx, dz) + 1e-4f);
    EXPECT_GT(hardpack, 0.0f) << "hard pack marks";
    EXPECT_LT(hardpack, dirt / 4) << "but barely";
    EXPECT_LE(hardpack, floor_of(hx, hz) + 1e-4f);
    EXPECT_EQ(grass, 0.0f) << "grass does not rut";
}
