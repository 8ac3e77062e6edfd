// Damaged demos: cut short inside every block, lengths that lie, a wrong block type, a huge
// length. Reading keeps what it could, never reads past the file, and the tool's check names
// the damaged block by its offset.
#include "demo_world.h"

#include "demo/demo_tool.h"

namespace {
// A demo of two riders and twenty blocks: states every 16 tics with a message among them.
struct sample_demo {
    std::string bytes;
    std::vector<uint32_t> starts, lengths; // each block's offset and payload length
    std::vector<int> entries;              // state entries in each block
    uint32_t previous = 0;

    sample_demo() {
        bytes = "QV06 2 0 3 1800\npractice\nyz250f(2017)||||\n1\nA\n\nrm125||||\n2\nB\n\n";
        for (int k = 0; k < 20; k++) {
            if (k == 7) {
                block(k * 16, demo_block_message, "hello");
                entries.push_back(0);
                continue;
            }
            std::string payload;
            int count = 2 + k % 3 * 2;
            for (int i = 0; i < count; i++) {
                demo_entry e;
                e.rider = i % 2;
                e.tic = k * 16 - (count - 1 - i) / 2 * 4;
                uint8_t packed[k_demo_entry_size];
                demo_entry_pack(e, packed);
                payload.append(reinterpret_cast<const char*>(packed), sizeof packed);
            }
            block(k * 16, demo_block_states, payload);
            entries.push_back(count);
        }
    }
    void block(int tic, int type, const std::string& payload) {
        starts.push_back(static_cast<uint32_t>(bytes.size()));
        lengths.push_back(static_cast<uint32_t>(payload.size()));
        uint8_t head[k_demo_block_head_size];
        demo_block_head_pack(
            {static_cast<uint32_t>(payload.size()) ^ previous, tic, static_cast<uint8_t>(type)},
            head);
        previous = static_cast<uint32_t>(payload.size());
        bytes.append(reinterpret_cast<const char*>(head), sizeof head);
        bytes += payload;
    }
    int entries_before(int block) const {
        int n = 0;
        for (int k = 0; k < block; k++) n += entries[k];
        return n;
    }
    // Rewrites block k's stored length so that it claims `length` bytes.
    std::string with_length(int k, uint32_t length) const {
        std::string out = bytes;
        uint32_t before = k > 0 ? lengths[k - 1] : 0, stored = length ^ before;
        for (int i = 0; i < 4; i++) out[starts[k] + i] = static_cast<char>(stored >> (8 * i));
        return out;
    }
};

class DemoDamage : public TempDataTest {
  protected:
    std::string path() const { return (root / "damaged.qvdemo").string(); }

    // trailbok-demo check on the file: its exit status and what it printed.
    int check(std::string* said) {
        std::string file = path();
        const char* argv[] = {"trailbok-demo", "check", file.c_str()};
        FILE* out = tmpfile();
        int status = demo_tool_run(3, argv, out, out);
        rewind(out);
        said->clear();
        for (int c; (c = fgetc(out)) != EOF;) *said += static_cast<char>(c);
        fclose(out);
        return status;
    }
    static std::string at(uint32_t offset) {
        return "damaged at offset " + std::to_string(offset) + ":";
    }
    // Reads the bytes as a file and checks them: damage is found exactly at `offset` by both,
    // and at least `kept` states were read before it.
    read_back expect_damage_at(const std::string& bytes, uint32_t offset, int kept) {
        write(path(), bytes);
        read_back got;
        EXPECT_TRUE(read_whole(path(), &got));
        EXPECT_TRUE(got.damaged);
        EXPECT_EQ(got.damage_offset, offset) << got.damage;
        EXPECT_GE(static_cast<int>(got.states.size()), kept);
        std::string said;
        EXPECT_EQ(check(&said), 1);
        EXPECT_NE(said.find(at(offset)), std::string::npos) << said;
        return got;
    }
};

TEST_F(DemoDamage, AWholeFileChecksWhole) {
    sample_demo d;
    write(path(), d.bytes);
    read_back got;
    ASSERT_TRUE(read_whole(path(), &got));
    EXPECT_FALSE(got.damaged) << got.damage;
    EXPECT_EQ(static_cast<int>(got.states.size()), d.entries_before(20));
    std::string said;
    EXPECT_EQ(check(&said), 0) << said;
    EXPECT_NE(said.find("whole"), std::string::npos) << said;
}

TEST_F(DemoDamage, CutShortInsideEveryBlockKeepsEverythingBeforeTheCut) {
    sample_demo d;
    for (int k = 0; k < 20; k++) {
        uint32_t start = d.starts[k], length = d.lengths[k];
        // Inside the head, inside the payload, one byte short of the block's end.
        for (uint32_t cut : {start + 4, start + 9 + length / 2, start + 9 + length - 1}) {
            SCOPED_TRACE("block " + std::to_string(k) + " cut at " + std::to_string(cut));
            // Entries wholly before the cut are read, streaming through the cut block.
            int whole_in_block = d.entries[k] > 0 && cut > start + 9
                                     ? static_cast<int>((cut - start - 9) / k_demo_entry_size)
                                     : 0;
            int kept = d.entries_before(k) + whole_in_block;
            read_back got = expect_damage_at(d.bytes.substr(0, cut), start, kept);
            EXPECT_EQ(static_cast<int>(got.states.size()), kept);
        }
    }
}

TEST_F(DemoDamage, ALengthThatLiesIsFoundAtOrJustAfterItsBlock) {
    sample_demo d;
    const int k = 5;
    // One byte more: no whole number of entries, so the block itself is found wrong.
    expect_damage_at(d.with_length(k, d.lengths[k] + 1), d.starts[k], d.entries_before(k));
    std::string said;

    // One entry more or fewer: the block reads on into its neighbour, and what follows is
    // damage found no later than the end of the block after it.
    for (int change : {k_demo_entry_size, -k_demo_entry_size}) {
        SCOPED_TRACE(change);
        write(path(), d.with_length(k, d.lengths[k] + change));
        read_back lied;
        ASSERT_TRUE(read_whole(path(), &lied));
        ASSERT_TRUE(lied.damaged);
        EXPECT_GE(lied.damage_offset, d.starts[k]);
        EXPECT_LE(lied.damage_offset, d.starts[k + 2]);
        EXPECT_GE(static_cast<int>(lied.states.size()), d.entries_before(k));
        EXPECT_EQ(check(&said), 1);
    }
}

TEST_F(DemoDamage, AWrongBlockTypeIsSkippedAndTheBlocksAfterItStillRead) {
    sample_demo d;
    const int k = 9;
    std::string bytes = d.bytes;
    bytes[d.starts[k] + 8] = 9;
    read_back got = expect_damage_at(bytes, d.starts[k], 0);
    EXPECT_NE(got.damage.find("type 9"), std::string::npos);
    EXPECT_EQ(static_cast<int>(got.states.size()), d.entries_before(20) - d.entries[k]);
}

TEST_F(DemoDamage, AHugeLengthEndsTheReadingAtItsBlock) {
    sample_demo d;
    // Not a whole number of entries, and a whole number that streams on to the file's end.
    for (uint32_t huge : {0x7ffffff0u, 0xffffffd0u}) {
        // The rest of the file reads as entries of that block, none past the end.
        const int k = 12;
        expect_damage_at(d.with_length(k, huge), d.starts[k], d.entries_before(k));
    }
}

TEST_F(DemoDamage, CheckSaysWhatIsNoDemoAtAll) {
    write(path(), "QV09 1 0 0\npractice\n");
    std::string said;
    EXPECT_EQ(check(&said), 1);
    EXPECT_NE(said.find(at(0)), std::string::npos) << said;
    EXPECT_NE(said.find("version 9"), std::string::npos) << said;
    fs::remove(path());
    EXPECT_EQ(check(&said), 1);
    EXPECT_NE(said.find("can't open"), std::string::npos) << said;
}

// A recorded race cut short plays as far as it goes in the game.
TEST_F(demo_world, ARecordingCutShortPlaysUpToTheCut) {
    const recorded_race& rec = a_short_recording();
    // Cut in the middle of the race, inside a block.
    std::string cut = rec.demo.substr(0, rec.demo.size() / 2 + 17);
    write(default_demo(), cut);
    read_back kept;
    ASSERT_TRUE(read_whole(default_demo(), &kept));
    ASSERT_TRUE(kept.damaged);
    int last = 0;
    for (const demo_entry& e : kept.states)
        if (e.rider == 0) last = std::max(last, e.tic);
    ASSERT_TRUE(demo_play_race(k_demo_default_file, {}));
    // Posed as recorded up to the last state read, and held from there on.
    while (race_clock() <= last) race_world_tic();
    EXPECT_TRUE(
        same_pose(compact_state_encode(race_slot(0).bike), rec.states[0].at(last), rec.ranges[0]));
    for (int t = 0; t < 3 * k_tics_per_second; t++) race_world_tic();
    EXPECT_EQ(history_newest_tic(0), last);
    EXPECT_GE(race_slot(0).bike, 0) << "the rider stays in the race";
}
} // namespace
