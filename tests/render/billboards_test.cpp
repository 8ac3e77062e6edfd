// The billboard sort: cards behind the eye dropped, far ones first, and cards of one texture
// brought together only where the eye cannot see the difference.
#include "render/render.h"
#include "track/track_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {
billboard card(float x, float z, uint32_t texture, float size = 2) {
    billboard b;
    b.x = x;
    b.z = z;
    b.size = size;
    b.texture = texture;
    return b;
}

// The eye at the origin looking north (-z): its backward axis and its right.
const float k_back[3] = {0, 0, 1};
const float k_right[3] = {1, 0, 0};
const float k_eye[3] = {0, 0, 0};

std::vector<int32_t> kept_and_sorted(std::vector<billboard>& cards, int reserved = 0) {
    std::vector<int32_t> order(cards.size() + 1), scratch(cards.size() + 1), keys(cards.size());
    int n = billboards_keep(cards.data(), static_cast<int>(cards.size()), reserved, k_back, k_eye,
                            keys.data(), order.data());
    billboards_radix_sort(keys.data(), order.data(), scratch.data(), n);
    order.resize(static_cast<size_t>(n));
    return order;
}
} // namespace

TEST(Billboards, CardsInFrontAreSortedFarthestFirst) {
    std::vector<billboard> cards = {card(0, -10, 1),   card(3, 5, 1),   card(-2, -300, 2),
                                    card(1, -0.5f, 1), card(0, -40, 0), card(0, -20, 3)};
    cards[5].colour[3] = 0;
    std::vector<int32_t> order = kept_and_sorted(cards);
    // Behind the eye (index 1), without texture (4) or fully transparent (5): not drawn.
    EXPECT_EQ(order, (std::vector<int32_t>{2, 0, 3}));
}

TEST(Billboards, TheSortIsStableAndHandlesFarKeysOnBothSides) {
    std::vector<billboard> cards;
    for (int k = 0; k < 300; k++)
        cards.push_back(
            card(static_cast<float>(k), -static_cast<float>((k * 7919) % 97) * 37.5f - 1, 1));
    cards.push_back(card(0, -5000, 2));
    cards.push_back(card(0, -5000, 3));
    std::vector<int32_t> order = kept_and_sorted(cards);
    ASSERT_EQ(order.size(), cards.size());
    for (size_t k = 1; k < order.size(); k++) {
        const billboard& a = cards[order[k - 1]];
        const billboard& b = cards[order[k]];
        ASSERT_LE(a.z, b.z) << "farthest (most negative z) first";
        if (a.z == b.z) {
            EXPECT_LT(order[k - 1], order[k]) << "equal keys keep their order";
        }
    }
}

TEST(Billboards, RoostParticlesSortInFrontOfTheCardsTheyRiseFrom) {
    std::vector<billboard> cards = {card(0, -10, 1, 1), card(0, -10, 2, 1)};
    std::vector<int32_t> order = kept_and_sorted(cards, 1);
    EXPECT_EQ(order, (std::vector<int32_t>{1, 0})) << "the particle counts its width nearer";
}

TEST(Billboards, SameTexturesComeTogetherWhereTheEyeSeesNoDifference) {
    // Far to near: A, B, A'. B lies well to the side of A', so A' can be drawn right after A.
    std::vector<billboard> cards = {card(-8, -40, 1), card(8, -30, 2), card(-8, -20, 1)};
    std::vector<int32_t> order = {0, 1, 2};
    billboards_batch(cards.data(), order.data(), 3, 8, k_right, k_eye);
    EXPECT_EQ(order, (std::vector<int32_t>{0, 2, 1}));
    // When B stands in front of where A' is seen, the order stays.
    cards[1].x = -12;
    order = {0, 1, 2};
    billboards_batch(cards.data(), order.data(), 3, 8, k_right, k_eye);
    EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2}));
}

TEST(Billboards, TheLookAheadWindowBoundsTheReordering) {
    std::vector<billboard> cards = {card(-50, -90, 1), card(10, -80, 2), card(20, -70, 3),
                                    card(30, -60, 4), card(-50, -50, 1)};
    std::vector<int32_t> order = {0, 1, 2, 3, 4};
    billboards_batch(cards.data(), order.data(), 5, 4, k_right, k_eye);
    EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 3, 4})) << "four cards apart is too far";
    billboards_batch(cards.data(), order.data(), 5, 5, k_right, k_eye);
    EXPECT_EQ(order, (std::vector<int32_t>{0, 4, 1, 2, 3}));
    order = {0, 1, 2, 3, 4};
    billboards_batch(cards.data(), order.data(), 5, 1, k_right, k_eye);
    EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 3, 4})) << "a window of 1 switches it off";
}
