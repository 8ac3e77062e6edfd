// The input event queue: order, the deadline form, and a full ring dropping events.
#include "platform/event_queue.h"

#include <gtest/gtest.h>

TEST(EventQueue, TakesInOrderAndHonoursDeadline) {
    event_queue_clear();
    event_queue_push({1, 1, 0.5});
    event_queue_push({2, 0, 1.5});
    platform_event e;
    double deadline = 1.0;
    ASSERT_TRUE(event_queue_take(&e, &deadline));
    EXPECT_EQ(e.control, 1);
    EXPECT_FALSE(event_queue_take(&e, &deadline)) << "the head is stamped after the deadline";
    ASSERT_TRUE(event_queue_take(&e, nullptr));
    EXPECT_EQ(e.control, 2);
    EXPECT_EQ(e.pressed, 0);
    EXPECT_FALSE(event_queue_take(&e, nullptr));
}

TEST(EventQueue, FullRingDropsNewEvents) {
    event_queue_clear();
    for (int i = 0; i < k_event_queue_size; i++) EXPECT_TRUE(event_queue_push({i, 1, 0}));
    EXPECT_FALSE(event_queue_push({999, 1, 0}));
    EXPECT_EQ(event_queue_count(), k_event_queue_size);
    platform_event e;
    for (int i = 0; i < k_event_queue_size; i++) {
        ASSERT_TRUE(event_queue_take(&e, nullptr));
        EXPECT_EQ(e.control, i);
    }
    EXPECT_FALSE(event_queue_take(&e, nullptr));
}
