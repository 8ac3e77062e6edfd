// The message list: visible lines, expiry, the ring and the log line.
#include "common/message.h"

#include <gtest/gtest.h>

#include <string>

TEST(Messages, VisibleLinesGrowToTheLimitThenExpireOneByOne) {
    messages_clear();
    messages_set_max_lines(5);
    messages_set_clock(10.0);
    for (int i = 0; i < 6; i++) show_message("line %d", i);
    EXPECT_EQ(messages_visible(), 5);
    EXPECT_EQ(message_recent(0), "line 5");
    EXPECT_EQ(message_recent(5), "line 0");
    messages_expire(11.9);
    EXPECT_EQ(messages_visible(), 5) << "nothing leaves in the first 2 s";
    messages_expire(12.1);
    EXPECT_EQ(messages_visible(), 4);
    messages_expire(16.0);
    EXPECT_EQ(messages_visible(), 4) << "the next one leaves 5 s later";
    messages_expire(17.2);
    EXPECT_EQ(messages_visible(), 3);
}

TEST(Messages, LongTextIsCutAndNewlineDropped) {
    messages_clear();
    show_message("%s\n", std::string(400, 'x').c_str());
    EXPECT_EQ(message_recent(0).size(), static_cast<size_t>(k_message_length));
    show_message("short\n");
    EXPECT_EQ(message_recent(0), "short");
}

TEST(Messages, RingWrapsAfterAThousand) {
    messages_clear();
    for (int i = 0; i < 1005; i++) show_message("m%d", i);
    EXPECT_EQ(message_recent(0), "m1004");
    EXPECT_EQ(message_recent(999), "m5");
}

#include "common/loading.h"

namespace {
double g_fake_clock = 0;
std::string g_drawn;
} // namespace

TEST(Loading, StepsTicksAndTheLongestGap) {
    loading_set_clock([] { return g_fake_clock; });
    loading_set_drawer([](const char* text) { g_drawn = text; });
    loading_reset_gaps();
    g_fake_clock = 1.0;
    loading_step_begin("Loading terrain");
    EXPECT_EQ(g_drawn, "Loading terrain");
    g_fake_clock = 1.05;
    loading_tick("Loading heights");
    EXPECT_EQ(g_drawn, "Loading terrain") << "ticks show at most every 1/8 s";
    g_fake_clock = 1.2;
    loading_tick("Loading heights");
    EXPECT_EQ(g_drawn, "Loading heights");
    g_fake_clock = 1.4;
    loading_tick("Loading heights");
    EXPECT_EQ(g_drawn, "Loading heights.");
    g_fake_clock = 3.4;
    loading_step_done("Loading terrain");
    EXPECT_EQ(g_drawn, "Loading terrain...done");
    const char* before = nullptr;
    EXPECT_DOUBLE_EQ(loading_longest_gap(&before), 2.0);
    EXPECT_STREQ(before, "Loading heights.");
    loading_set_drawer(nullptr);
    loading_set_clock(nullptr);
}
