// The reliable channel: every message handled once and in order however the wire reorders,
// duplicates or loses them, with one message in flight at a time.
#include "net/net_reliable.h"

#include "common/random.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct wire_packet {
    double arrives = 0; // s
    int32_t sequence = 0;
    int sub_type = 0;
    std::vector<uint8_t> payload;
};

// Both ends of one channel over a wire that loses, duplicates and delays by random amounts (so
// that packets overtake each other), run until everything was acknowledged.
struct channel_run {
    reliable_sender sender;
    reliable_receiver receiver;
    std::vector<int> handled; // first payload byte of every message handled, in handling order
    int acks_sent = 0;
    int sends = 0;
    int window = 0;      // 0: the oldest message alone, as a game sends
    double finished = 0; // s, when the last message was acknowledged

    void handle(const uint8_t* payload) { handled.push_back(payload[0]); }

    void run(int messages, int loss_percent, int duplicate_percent, double most_delay) {
        mt19937_state random;
        mt_seed(random, 1234);
        auto chance = [&](int percent) {
            return static_cast<int>(mt_next(random) % 100) < percent;
        };
        auto delay = [&] { return most_delay * (mt_next(random) % 1000) / 1000.0; };
        for (int i = 0; i < messages; i++) {
            uint8_t payload[2] = {static_cast<uint8_t>(i), 0xee};
            reliable_queue(sender, 19, payload, 2);
        }
        std::vector<wire_packet> to_receiver;
        std::vector<std::pair<double, int32_t>> to_sender; // acknowledgments
        double now = 0;
        for (; now < 600 && !sender.queue.empty(); now += 0.01) {
            for (;;) {
                const reliable_message* m = window ? reliable_due_in_window(sender, now, window)
                                                   : reliable_due(sender, now);
                if (!m) break;
                sends++;
                int copies = chance(loss_percent) ? 0 : chance(duplicate_percent) ? 2 : 1;
                for (int c = 0; c < copies; c++)
                    to_receiver.push_back({now + delay(), m->sequence, m->sub_type, m->payload});
                if (!window) break;
            }
            for (size_t i = 0; i < to_receiver.size();) {
                if (to_receiver[i].arrives > now) {
                    i++;
                    continue;
                }
                wire_packet p = to_receiver[i];
                to_receiver.erase(to_receiver.begin() + static_cast<long>(i));
                reliable_arrival a =
                    reliable_arrive(receiver, p.sequence, p.sub_type, p.payload.data(),
                                    static_cast<int>(p.payload.size()));
                if (a == arrival_refused) continue;
                acks_sent++;
                if (!chance(loss_percent)) to_sender.push_back({now + delay(), p.sequence});
                if (a != arrival_handle) continue;
                handle(p.payload.data());
                reliable_message early;
                while (reliable_next_early(receiver, &early)) handle(early.payload.data());
            }
            for (size_t i = 0; i < to_sender.size();) {
                if (to_sender[i].first > now) {
                    i++;
                    continue;
                }
                if (window)
                    reliable_acknowledged_in_window(sender, to_sender[i].second, window);
                else
                    reliable_acknowledged(sender, to_sender[i].second);
                to_sender.erase(to_sender.begin() + static_cast<long>(i));
            }
        }
        finished = now;
    }
};

std::vector<int> zero_to(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; i++) v.push_back(i);
    return v;
}

TEST(reliable, EveryMessageIsHandledOnceInOrderOverALossyDuplicatingReorderingWire) {
    channel_run r;
    r.run(60, 30, 25, 1.2); // delays beyond the resend time: copies overtake each other
    EXPECT_TRUE(r.sender.queue.empty());
    EXPECT_EQ(r.handled, zero_to(60));
    EXPECT_GT(r.sends, 60) << "the losses were made up by sending again";
}

TEST(reliable, OverAGoodWireEachMessageGoesOnce) {
    channel_run r;
    r.run(20, 0, 0, 0.005);
    EXPECT_EQ(r.handled, zero_to(20));
    EXPECT_EQ(r.sends, 20);
}

// The server keeps a window of messages in flight, so a backlog drains many to a round trip
// instead of one; the receiver still handles each once, in order.
TEST(reliable, AWindowOfMessagesInFlightKeepsTheOrderAndDrainsABacklogFaster) {
    channel_run lossy;
    lossy.window = 32;
    lossy.run(200, 30, 25, 1.2);
    EXPECT_TRUE(lossy.sender.queue.empty());
    EXPECT_EQ(lossy.handled, zero_to(200));

    channel_run one, many;
    many.window = 32;
    one.run(200, 0, 0, 0.05);
    many.run(200, 0, 0, 0.05);
    EXPECT_EQ(many.handled, zero_to(200));
    EXPECT_EQ(many.sends, 200);
    EXPECT_LT(many.finished * 10, one.finished) << many.finished << " s against " << one.finished;
}

TEST(reliable, OnlyTheOldestMessageIsSentAndAgainEveryHalfSecond) {
    reliable_sender s;
    const uint8_t a = 1, b = 2;
    reliable_queue(s, 19, &a, 1);
    reliable_queue(s, 19, &b, 1);
    const reliable_message* m = reliable_due(s, 10.0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->sequence, 0);
    EXPECT_EQ(reliable_due(s, 10.4), nullptr);
    m = reliable_due(s, 10.5);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->sequence, 0);
    // An acknowledgment of anything but the oldest changes nothing.
    EXPECT_FALSE(reliable_acknowledged(s, 1));
    EXPECT_TRUE(reliable_acknowledged(s, 0));
    m = reliable_due(s, 10.6);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->sequence, 1);
    EXPECT_EQ(m->payload[0], 2);
}

TEST(reliable, AMessageAheadIsKeptAndHandledRightAfterTheOneBeforeIt) {
    reliable_receiver r;
    const uint8_t x = 0;
    for (int32_t sequence = 0; sequence < 4; sequence++)
        ASSERT_EQ(reliable_arrive(r, sequence, 19, &x, 1), arrival_handle);
    const uint8_t five = 5, four = 4;
    EXPECT_EQ(reliable_arrive(r, 5, 19, &five, 1), arrival_stored);
    EXPECT_EQ(reliable_arrive(r, 5, 19, &five, 1), arrival_stored) << "kept once";
    reliable_message m;
    EXPECT_FALSE(reliable_next_early(r, &m)) << "not before 4";
    EXPECT_EQ(reliable_arrive(r, 4, 19, &four, 1), arrival_handle);
    ASSERT_TRUE(reliable_next_early(r, &m));
    EXPECT_EQ(m.sequence, 5);
    EXPECT_EQ(m.payload[0], 5);
    EXPECT_FALSE(reliable_next_early(r, &m));
    EXPECT_EQ(r.expected, 6);
}

TEST(reliable, ADuplicateIsAcknowledgedAgainButNotHandledTwice) {
    reliable_receiver r;
    const uint8_t x = 0;
    EXPECT_EQ(reliable_arrive(r, 0, 19, &x, 1), arrival_handle);
    EXPECT_EQ(reliable_arrive(r, 0, 19, &x, 1), arrival_behind);
    EXPECT_EQ(r.expected, 1);
}

TEST(reliable, MessagesFarAheadOrTooManyAreNotKeptNorAcknowledged) {
    reliable_receiver r;
    const uint8_t x = 0;
    EXPECT_EQ(reliable_arrive(r, k_early_window + 1, 19, &x, 1), arrival_refused);
    EXPECT_EQ(reliable_arrive(r, INT32_MAX, 19, &x, 1), arrival_refused);
    for (int i = 0; i < k_early_max; i++)
        ASSERT_EQ(reliable_arrive(r, 10 + i, 19, &x, 1), arrival_stored);
    EXPECT_EQ(reliable_arrive(r, 9, 19, &x, 1), arrival_refused);
    EXPECT_EQ(reliable_arrive(r, INT32_MIN, 19, &x, 1), arrival_behind);
}
} // namespace
