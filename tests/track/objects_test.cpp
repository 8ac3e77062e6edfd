// Track objects: the four files read, written back and damaged; statues standing on the ground
// and turning to the camera; the flaggers following the race; decals in the ground's grid.
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_local.h"
#include "track/track_objects.h"

#include "bike/data/bike_shape.h"
#include "common/message.h"
#include "resources/texture.h"
#include "terrain/terrain.h"

#include "support/flat_track_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {
constexpr int k_n = (1 << (FlatTrackTest::k_field_exponent + 1)) + 1; // 129 samples a side

struct Objects : FlatTrackTest {
    void SetUp() override {
        FlatTrackTest::SetUp();
        for (const char* name : {"a.ppm", "b.ppm", "t0.ppm", "t1.ppm", "t2.ppm", "t3.ppm", "t4.ppm",
                                 "warn.ppm", "calm.ppm"})
            write(data / name, "P6\n2 2\n255\n" + std::string(12, char(90)));
        write(data / "pole.shp", "1\n0 1 0 0.5 0.8 5000 500\n");
    }

    // Ten gates in a row and a first lap of five of them, then all ten.
    static void ten_gates() {
        std::string text = "checkpoints:\n";
        for (int g = 0; g < 10; g++)
            text += "5 [" + std::to_string(10 * g + 5) + " 0 50] [1 0 0]\n";
        text += "firstlap:\n0 1 2 3 4\nnormallap:\n5 6 7 8 9 0 1 2 3 4\n";
        timing_gates_parse(text);
        ASSERT_EQ(gate_count(), 10);
        ASSERT_EQ(first_lap_length(), 5);
        ASSERT_EQ(normal_lap_length(), 10);
    }

    static uint32_t picture(const char* name) { return texture_load(name); }
};

std::string billboard_line(float x, float offset, float z, float size, float factor,
                           const char* word) {
    char line[256];
    snprintf(line, sizeof line, "[%f %f %f] %f %f %s\n", x, offset, z, size, factor, word);
    return line;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Billboards

TEST_F(Objects, AColourPrefixTintsTheCardAndABrokenOneIsPartOfTheName) {
    uint8_t colour[4];
    std::string name;
    billboard_texture_word("#ff8000#@a.ppm", colour, &name);
    EXPECT_EQ(name, "@a.ppm");
    EXPECT_EQ(colour[0], 255);
    EXPECT_EQ(colour[1], 128);
    EXPECT_EQ(colour[2], 0);
    EXPECT_EQ(colour[3], 255);
    billboard_texture_word("#ff80g0#@a.ppm", colour, &name);
    EXPECT_EQ(name, "#ff80g0#@a.ppm") << "not six hexadecimal digits: the whole word is the name";
    EXPECT_EQ(colour[1], 255);
    billboard_texture_word("#ff8000", colour, &name);
    EXPECT_EQ(name, "#ff8000") << "seven characters are too short to hold a prefix";
}

TEST_F(Objects, TheTracksCardsComeAfterTheReservedOnesAndAreWrittenBackUnchanged) {
    const std::string text = billboard_line(10, 0.5f, 20, 30, 0.5f, "@a.ppm") +
                             billboard_line(11.25f, 0, 21, 6, 1.2f, "#ff8000#@b.ppm") +
                             billboard_line(12, -1, 22, 2, 4, "#fffffe#@a.ppm");
    make_track({{"billboards", text + billboard_line(1, 0, 1, 1, 1, "@missing.ppm")}});
    ASSERT_EQ(billboard_reserved_count(), k_reserved_billboards);
    ASSERT_EQ(billboard_count(), k_reserved_billboards + 4);
    EXPECT_EQ(billboard_first_file(), k_reserved_billboards);
    const billboard& first = billboards()[k_reserved_billboards];
    EXPECT_FLOAT_EQ(first.y, 0.5f) << "the foot stands its offset above the ground";
    EXPECT_EQ(first.texture, picture("@a.ppm"));
    EXPECT_EQ(billboards()[k_reserved_billboards + 1].colour[1], 128);
    EXPECT_EQ(billboards()[k_reserved_billboards + 3].texture, 0u)
        << "a picture that does not load leaves the card undrawn";
    // The card without a picture is kept but not written; (255, 255, 254) keeps its prefix.
    EXPECT_EQ(billboards_format(), text);
    ASSERT_TRUE(billboards_save("field"));
    EXPECT_EQ(read(home / "field" / "billboards"), text);
}

TEST_F(Objects, WhiteCardsAreWrittenWithoutAPrefix) {
    billboards_parse(billboard_line(1, 0, 2, 3, 1, "#ffffff#@a.ppm"));
    EXPECT_EQ(billboards_format(), billboard_line(1, 0, 2, 3, 1, "@a.ppm"));
}

// ---------------------------------------------------------------------------------------------
// Statues

TEST_F(Objects, StatuesAreReadAfterTheGatePiecesAndWrittenBackUnchanged) {
    const std::string text = "[10.000000 0.250000 20.000000] 1.500000 null @a.ppm @pole.shp\n"
                             "[30.000000 0.000000 40.000000] -7.000000 null null null\n";
    make_track({{"timing_gates", "startinggate:\n[50 0 50] 0\n[55 0 50] 0\n"},
                {"statues", text + "[1 2 3] 4 null null\n"}});
    ASSERT_EQ(start_slot_count(), 2);
    ASSERT_EQ(statue_count(), 4) << "two gate pieces, two statues; the short entry ends the file";
    EXPECT_EQ(statue_first_file(), 2);
    EXPECT_EQ(start_gate_piece_statue(1), 1);
    EXPECT_NEAR(statues()[1].z, 47, 1e-4f) << "the piece stands 3 ft ahead of its slot";
    const statue& s = statues()[2];
    EXPECT_FLOAT_EQ(s.y, 0.25f);
    ASSERT_NE(s.collision, nullptr);
    EXPECT_EQ(s.collision->spheres.size(), 1u);
    EXPECT_EQ(s.model, 0) << "null: nothing drawn";
    EXPECT_EQ(statues_format(), text);
    ASSERT_TRUE(statues_save("field"));
    EXPECT_EQ(read(home / "field" / "statues"), text);
    EXPECT_NE(log_text().find("'statues': nothing read from the text after its 2 readable parts "
                              "(\"[1 2 3] 4 null null"),
              std::string::npos)
        << "the log says where the file stopped being read";
}

TEST_F(Objects, AMissingShapeLeavesTheStatueWithoutCollisionAndSaysSo) {
    statues_parse("[1 0 1] 0 null @a.ppm @nowhere.shp\n");
    ASSERT_EQ(statue_count(), 1);
    EXPECT_EQ(statues()[0].collision, nullptr);
    EXPECT_EQ(message_recent(0), "Warning: missing shape file @nowhere.shp");
}

TEST_F(Objects, AStatueLeansWithTheSlopeUnlessItsValueIsBelowAWholeTurn) {
    make_track({});
    // A slope rising 0.5 ft per foot towards +x.
    for (int j = 0; j < k_n; j++)
        for (int i = 0; i < k_n; i++) ground_set_height(i, j, 0.5f * static_cast<float>(i));
    const int leaning = statue_add(40, 0, 40, 0, nullptr, nullptr, nullptr);
    const int upright = statue_add(40, 0, 40, -7, nullptr, nullptr, nullptr);
    const statue& l = statues()[leaning];
    const statue& u = statues()[upright];
    EXPECT_FLOAT_EQ(l.y, 20);
    // The orientation's middle column is the model's up axis in the world.
    const float n = 1 / std::sqrt(1.25f);
    EXPECT_NEAR(l.orientation[1], -0.5f * n, 1e-5f) << "leans back from the rise";
    EXPECT_NEAR(l.orientation[4], n, 1e-5f);
    EXPECT_NEAR(u.orientation[1], 0, 1e-6f);
    EXPECT_NEAR(u.orientation[4], 1, 1e-6f) << "stands upright on the slope";
    // Its heading still turns it: the model's x axis is (cos a, 0, -sin a).
    EXPECT_NEAR(u.orientation[0], std::cos(-7.0f), 1e-5f);
    EXPECT_NEAR(u.orientation[6], -std::sin(-7.0f), 1e-5f);
}

TEST_F(Objects, AStatueFacesTheCameraFromItsDistanceOnAndKeepsItsLastFacing) {
    const int index = statue_add(0, 0, 0, 5, nullptr, nullptr, nullptr);
    statue s = statues()[index];
    EXPECT_FLOAT_EQ(s.face_distance, 32);
    const float near[3] = {0, 0, 31};
    EXPECT_FALSE(statue_face_camera(s, near, 0, 1)) << "closer than 32 ft: left as it is";
    EXPECT_FLOAT_EQ(s.orientation[8], 1);
    const float far[3] = {33, 0, 0};
    EXPECT_TRUE(statue_face_camera(s, far, 0, 1));
    // The model's z axis points at the camera.
    EXPECT_NEAR(s.orientation[2], 1, 1e-6f);
    EXPECT_NEAR(s.orientation[8], 0, 1e-6f);
    const float closer[3] = {0, 0, 20};
    EXPECT_FALSE(statue_face_camera(s, closer, 0, 1));
    EXPECT_NEAR(s.orientation[2], 1, 1e-6f) << "the last facing stays";
}

TEST_F(Objects, ARaisedGatePieceStandsAndALoweredOneLiesForward) {
    const int index = statue_add(0, 0, 0, 0, nullptr, nullptr, nullptr);
    float r[9];
    statue_rotation(statues()[index], r);
    EXPECT_NEAR(r[4], 1, 1e-6f);
    statue_set_tilt(index, -k_gate_piece_swing);
    const statue& s = statues()[index];
    statue_rotation(s, r);
    // Its up axis now points along -z, away from the riders who stand at its +z.
    EXPECT_NEAR(r[1], 0, 1e-6f);
    EXPECT_NEAR(r[4], 0, 1e-6f);
    EXPECT_NEAR(r[7], -1, 1e-6f);
}

// ---------------------------------------------------------------------------------------------
// Flaggers

TEST_F(Objects, MarshalGateNumbersAreKeptWithinTheTracksGates) {
    ten_gates();
    flaggers_parse("[0 0 0] [10 0 0] 6 0.5 2 @t0.ppm @t1.ppm @t2.ppm @t3.ppm @t4.ppm\n"
                   "[5 0 5] 6 0.5 @t0.ppm @t1.ppm @t2.ppm @t3.ppm\n"
                   "[9 0 9] 6 0.5 -5 -1 3 999 @calm.ppm @warn.ppm\n"
                   "[8 0 8] 6 0.5 9 -1 -1 -1 @calm.ppm @warn.ppm\n");
    ASSERT_EQ(marshal_count(), 2);
    const marshal_flagger& m = marshal_at(0);
    EXPECT_EQ(m.gates[0], -1);
    EXPECT_EQ(m.gates[1], -1);
    EXPECT_EQ(m.gates[2], 3);
    EXPECT_EQ(m.gates[3], 9);
    EXPECT_EQ(billboard_count(), 4) << "starter, lap board and two marshals";
}

TEST_F(Objects, TheStarterShowsTheBoardsThenWalksOffTheLine) {
    ten_gates();
    flaggers_parse("[0 0 0] [10 1 0] 6 0.5 2 @t0.ppm @t1.ppm @t2.ppm @t3.ppm @t4.ppm\n");
    const starter_flagger& s = starter();
    ASSERT_GE(s.billboard, 0);
    auto at = [&](float seconds) {
        flagger_race_view race;
        race.tic = static_cast<int>(std::lround(seconds * 128));
        flaggers_update(race);
        return billboards()[s.billboard];
    };
    EXPECT_EQ(at(1).texture, picture("@t0.ppm"));
    EXPECT_EQ(at(5.2f).texture, picture("@t1.ppm"));
    billboard card = at(5.9f);
    EXPECT_EQ(card.texture, picture("@t2.ppm"));
    EXPECT_FLOAT_EQ(card.x, 0) << "still at A";
    card = at(7);
    EXPECT_EQ(card.texture, picture("@t3.ppm"));
    EXPECT_NEAR(card.x, 5, 1e-4f) << "half way to B one second into a two-second walk";
    EXPECT_NEAR(card.y, 0.5f, 1e-4f);
    card = at(8);
    EXPECT_EQ(card.texture, picture("@t4.ppm"));
    EXPECT_FLOAT_EQ(card.x, 10);
}

TEST_F(Objects, TheLapBoardCountsTheLeadersLaps) {
    ten_gates();
    flaggers_parse("[0 0 0] [10 0 0] 6 0.5 2 @a.ppm @a.ppm @a.ppm @a.ppm @a.ppm\n"
                   "[5 0 5] 6 0.5 @t0.ppm @t1.ppm @t2.ppm @t3.ppm\n");
    auto shown = [&](int position) {
        flagger_race_view race;
        race.race_laps = 3;
        race.halfway_lap = 1;
        race.finish_time = 1 << 30;
        race.leader_position = position;
        flaggers_update(race);
        return billboards()[lap_board().billboard].texture;
    };
    EXPECT_EQ(shown(3), picture("@t0.ppm")) << "P = F1 - 2: no lap completed";
    EXPECT_EQ(shown(4), picture("@t1.ppm")) << "P = F1 - 1: lap 1 completed, half way";
    EXPECT_EQ(shown(14), picture("@t2.ppm")) << "two laps done: the last lap";
    EXPECT_EQ(shown(24), picture("@t3.ppm")) << "three: finished";
}

TEST_F(Objects, AMarshalWarnsWhileAFallenRiderHeadsForOneOfItsGates) {
    ten_gates();
    flaggers_parse("[0 0 0] [10 0 0] 6 0.5 2 @a.ppm @a.ppm @a.ppm @a.ppm @a.ppm\n"
                   "[5 0 5] 6 0.5 @a.ppm @a.ppm @a.ppm @a.ppm\n"
                   "[9 0 9] 6 0.5 3 -1 -1 -1 @calm.ppm @warn.ppm\n"
                   "[8 0 8] 6 0.5 8 -1 -1 -1 @calm.ppm @warn.ppm\n");
    flagger_race_view race;
    race.down_count = 1;
    race.down_positions[0] = 18; // folded onto the normal lap: entry 8, gate 8
    flaggers_update(race);
    EXPECT_EQ(billboards()[marshal_at(0).billboard].texture, picture("@calm.ppm"));
    EXPECT_EQ(billboards()[marshal_at(1).billboard].texture, picture("@warn.ppm"));
    EXPECT_EQ(gate_at(8).rider_down, 1);
    race.down_count = 0;
    flaggers_update(race);
    EXPECT_EQ(billboards()[marshal_at(1).billboard].texture, picture("@calm.ppm"));
    EXPECT_EQ(gate_at(8).rider_down, 0) << "the marks are cleared every frame";
}

// ---------------------------------------------------------------------------------------------
// Decals

TEST_F(Objects, DecalsGoIntoEveryGridCellTheyOverlapInOrder) {
    const std::string text = "[8.000000 8.000000] 0.000000 4.000000 1.000000 @a.ppm\n"
                             "[64.000000 64.000000] 0.785398 20.000000 0.500000 @b.ppm\n"
                             "[100.000000 20.000000] 1.000000 4.000000 1.000000 @b.ppm\n";
    make_track({{"decals", "[1 1] 0 1 1 @missing.ppm\n" + text}});
    ASSERT_EQ(decal_count(), 3) << "the decal whose picture does not load is skipped";
    EXPECT_EQ(decals_format(), text);
    // The ground is 128 ft across: cells of 16 ft. The second decal straddles the middle.
    const std::vector<int>& corner = decal_grid_cell(0, 0);
    ASSERT_EQ(corner.size(), 1u);
    EXPECT_EQ(corner[0], 0);
    for (int cz = 3; cz <= 4; cz++)
        for (int cx = 3; cx <= 4; cx++) {
            const std::vector<int>& cell = decal_grid_cell(cx, cz);
            ASSERT_EQ(cell.size(), 1u) << cx << " " << cz;
            EXPECT_EQ(cell[0], 1);
        }
    EXPECT_TRUE(decal_grid_cell(5, 5).empty());
    // A decal added later over the first lands after it in the cell.
    ground_decal d;
    d.x = 10, d.z = 10, d.size = 2, d.texture = 1;
    const int added = decal_add(d, "added.png");
    ASSERT_EQ(decal_grid_cell(0, 0).size(), 2u);
    EXPECT_EQ(decal_grid_cell(0, 0)[1], added);
}

TEST_F(Objects, TheGroundHearsOfEveryDecalPaintedOverIt) {
    make_track({});
    struct marks {
        int count = 0;
        int i0 = 0, j0 = 0, i1 = 0, j1 = 0;
    };
    static marks seen;
    seen = marks{};
    decal_ground_hooks hooks;
    hooks.mark_dirty = [](int i0, int j0, int i1, int j1) {
        seen.count++;
        seen.i0 = i0, seen.j0 = j0, seen.i1 = i1, seen.j1 = j1;
    };
    decals_set_ground_hooks(&hooks);
    decals_parse("[50 60] 0 10 0.4 @a.ppm\n");
    decals_set_ground_hooks(nullptr);
    ASSERT_EQ(seen.count, 1);
    // 4 ft wide across x, 10 ft long along z.
    EXPECT_EQ(seen.i0, 48);
    EXPECT_EQ(seen.i1, 52);
    EXPECT_EQ(seen.j0, 55);
    EXPECT_EQ(seen.j1, 65);
}

// ---------------------------------------------------------------------------------------------
// Damaged files: each reader takes what it can and stops; nothing crashes.

namespace {
// The text with random damage: bytes changed, cut short, doubled or dropped.
std::string damaged(const std::string& text, std::mt19937& random) {
    std::string out = text;
    const int edits = 1 + static_cast<int>(random() % 6);
    const char junk[] = "[]#.-+e0123456789 \n\tnulx@%";
    for (int k = 0; k < edits && !out.empty(); k++) {
        const size_t at = random() % out.size();
        switch (random() % 5) {
        case 0:
            out[at] = junk[random() % (sizeof junk - 1)];
            break;
        case 1:
            out.resize(at);
            break;
        case 2:
            out.insert(at, out.substr(at, random() % 40));
            break;
        case 3:
            out.erase(at, random() % 8);
            break;
        default:
            out[at] = static_cast<char>(random() % 256);
            break;
        }
    }
    return out;
}

int entries(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '['));
}

// Reads 400 damaged copies of a good text, the tables emptied before each; `check` then looks
// at what was read.
template <typename Read, typename Check>
void read_damaged(const std::string& good, uint32_t seed, Read read, Check check) {
    std::mt19937 random(seed);
    for (int k = 0; k < 400; k++) {
        objects_free();
        const std::string text = damaged(good, random);
        read(text);
        check(text, random);
        if (::testing::Test::HasFatalFailure()) return;
    }
}
} // namespace

TEST_F(Objects, DamagedBillboardFilesGiveAtMostOneCardPerEntry) {
    const std::string good = billboard_line(1, 0, 2, 3, 0.5f, "#ff0000#@a.ppm") +
                             billboard_line(4, 1, 5, 6, 1, "@b.ppm") +
                             billboard_line(7, 0, 8, 9, 2, "@a.ppm");
    read_damaged(good, 1, billboards_parse, [](const std::string& text, std::mt19937&) {
        ASSERT_LE(billboard_count(), entries(text)) << text;
        billboards_format();
    });
}

TEST_F(Objects, DamagedStatueFilesGiveAtMostOneStatuePerEntry) {
    const std::string good = "[1 0 2] 0.5 null @a.ppm @pole.shp\n[3 1 4] 5 null null null\n"
                             "[5 0 6] -7 null @b.ppm null\n";
    read_damaged(good, 2, statues_parse, [](const std::string& text, std::mt19937&) {
        ASSERT_LE(statue_count(), entries(text)) << text;
        statues_format();
    });
}

TEST_F(Objects, DamagedFlaggerFilesKeepWhatMatches) {
    ten_gates();
    const std::string good = "[0 0 0] [10 0 0] 6 0.5 2 @t0.ppm @t1.ppm @t2.ppm @t3.ppm @t4.ppm\n"
                             "[5 0 5] 6 0.5 @t0.ppm @t1.ppm @t2.ppm @t3.ppm\n"
                             "[9 0 9] 6 0.5 -5 -1 3 999 @calm.ppm @warn.ppm\n";
    read_damaged(good, 3, flaggers_parse, [](const std::string& text, std::mt19937& random) {
        ASSERT_LE(billboard_count(), entries(text)) << text;
        for (int m = 0; m < marshal_count(); m++)
            for (int g : marshal_at(m).gates) ASSERT_TRUE(g >= -1 && g < 10) << text;
        // Whatever was read follows a race without trouble.
        flagger_race_view race;
        race.tic = static_cast<int>(random() % 2000);
        race.leader_position = static_cast<int>(random() % 40) - 5;
        race.down_count = 1;
        race.down_positions[0] = static_cast<int>(random() % 40) - 5;
        flaggers_update(race);
    });
}

TEST_F(Objects, DamagedDecalFilesGiveAtMostOneDecalPerEntry) {
    make_track({});
    const std::string good = "[8 8] 0 4 1 @a.ppm\n[64 64] 0.7 20 0.5 @b.ppm\n[1e9 -5] 3 1e30 -1 "
                             "@a.ppm\n";
    read_damaged(good, 4, decals_parse, [](const std::string& text, std::mt19937&) {
        ASSERT_LE(decal_count(), entries(text)) << text;
        for (int cz = 0; cz < k_decal_grid; cz++)
            for (int cx = 0; cx < k_decal_grid; cx++)
                for (int i : decal_grid_cell(cx, cz)) ASSERT_LT(i, decal_count());
    });
}
