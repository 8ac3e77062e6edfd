// MT19937 against the published reference outputs.
#include "common/random.h"

#include <gtest/gtest.h>

#include <random>

TEST(Random, StandardSeedGivesPublishedSequence) {
    mt19937_state s;
    mt_seed(s, 5489);
    EXPECT_EQ(mt_next(s), 3499211612u);
    EXPECT_EQ(mt_next(s), 581869302u);
    EXPECT_EQ(mt_next(s), 3890346734u);
    // The 10000th output of the default-seeded generator is the published check value.
    mt_seed(s, 5489);
    uint32_t v = 0;
    for (int i = 0; i < 10000; i++) v = mt_next(s);
    EXPECT_EQ(v, 4123659995u);
}

TEST(Random, MatchesTheStandardLibraryForOtherSeeds) {
    for (uint32_t seed : {0u, 1u, 19650218u, 0xFFFFFFFFu}) {
        mt19937_state s;
        mt_seed(s, seed);
        std::mt19937 reference(seed);
        for (int i = 0; i < 1500; i++) ASSERT_EQ(mt_next(s), reference()) << "seed " << seed;
    }
}

TEST(Random, ReseedingRestartsTheSystemGenerator) {
    random_seed(77);
    uint32_t a = random_next(), b = random_next();
    random_seed(77);
    EXPECT_EQ(random_next(), a);
    EXPECT_EQ(random_next(), b);
}
