// The allocation checker and the working-set range.
#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
struct MemoryCheck : ::testing::Test {
    void SetUp() override {
        setenv("QV_CHECK_ALLOC", "1", 1);
        memory_checks_reset();
    }
    void TearDown() override {
        unsetenv("QV_CHECK_ALLOC");
        memory_checks_reset();
    }
};

std::string captured_report() {
    FILE* f = tmpfile();
    report_allocations(f);
    rewind(f);
    std::string text;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, f)) text += buffer;
    fclose(f);
    return text;
}
} // namespace

TEST_F(MemoryCheck, ReportsUnreleasedBlocksWithSerials) {
    ASSERT_TRUE(memory_checks_on());
    void* kept = checked_alloc(10);
    void* freed = checked_calloc(4, 8);
    void* grown = checked_realloc(checked_alloc(3), 300);
    checked_free(freed);
    EXPECT_EQ(memory_checked_count(), 2);
    char expected[128];
    // Serials count every allocation: kept 0, freed 1, the first of grown 2, its move 3.
    snprintf(expected, sizeof expected, "%p:0\n%p:3\n", kept, grown);
    EXPECT_EQ(captured_report(), expected);
    checked_free(kept);
    checked_free(grown);
    EXPECT_EQ(captured_report(), "");
}

TEST_F(MemoryCheck, DoubleFreeIsReportedNotFreed) {
    void* block = checked_alloc(16);
    checked_free(block);
    testing::internal::CaptureStderr();
    checked_free(block);
    std::string err = testing::internal::GetCapturedStderr();
    char expected[64];
    snprintf(expected, sizeof expected, "Allocation not found for %p!\n", block);
    EXPECT_EQ(err, expected);
}

TEST_F(MemoryCheck, ReallocatingAnUnknownBlockReportsItAndKeepsTheData) {
    // A block from outside the checker, holding what its owner wrote.
    auto* outside = static_cast<char*>(malloc(16));
    ASSERT_NE(outside, nullptr);
    strcpy(outside, "rider names");
    testing::internal::CaptureStderr();
    auto* grown = static_cast<char*>(checked_realloc(outside, 4096));
    std::string err = testing::internal::GetCapturedStderr();
    char expected[64];
    snprintf(expected, sizeof expected, "Allocation not found for %p!\n",
             static_cast<void*>(outside));
    EXPECT_EQ(err, expected);
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(grown, "rider names");
    grown[4095] = 1; // the whole new size is there
    EXPECT_EQ(memory_checked_count(), 1) << "the new block is checked from now on";
    testing::internal::CaptureStderr();
    checked_free(grown);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(memory_checked_count(), 0);
}

TEST_F(MemoryCheck, FreedBlocksAreWipedAndNullIsAllowed) {
    checked_free(nullptr);
    auto* bytes = static_cast<unsigned char*>(checked_alloc(64));
    memset(bytes, 0xAB, 64);
    EXPECT_EQ(memory_checked_count(), 1);
    checked_free(bytes);
    EXPECT_EQ(memory_checked_count(), 0);
}

TEST(MemoryNoCheck, PlainAllocationWhenOff) {
    unsetenv("QV_CHECK_ALLOC");
    memory_checks_reset();
    void* block = checked_alloc(8);
    EXPECT_FALSE(memory_checks_on());
    EXPECT_EQ(memory_checked_count(), 0);
    checked_free(block);
}

TEST(WorkingSet, RangeFollowsPhysicalMemory) {
    uint32_t lo = 0, hi = 0;
    ASSERT_TRUE(working_set_range(4ull << 30, &lo, &hi));
    EXPECT_EQ(lo, 1073741824u);
    EXPECT_EQ(hi, 2113929216u);
    ASSERT_TRUE(working_set_range(512ull << 20, &lo, &hi));
    EXPECT_EQ(hi, 480u << 20);
    EXPECT_EQ(lo, 480u << 20) << "the minimum never exceeds the maximum";
    EXPECT_FALSE(working_set_range(63ull << 20, &lo, &hi));
}

TEST(OutOfMemory, ClosesSoundThenExitsWithStatusOne) {
    set_out_of_memory_hook([] { fputs("sound closed\n", stderr); });
    EXPECT_EXIT(out_of_memory(), ::testing::ExitedWithCode(1), "sound closed");
    set_out_of_memory_hook(nullptr);
}
