#include <gtest/gtest.h>

#include <set>

#include "sablewick/random.hpp"

namespace {

TEST(ThreadRandom, UnitValuesLieInHalfOpenInterval) {
    auto& random = sablewick::thread_random();
    std::set<double> seen;
    for (int i = 0; i < 1000; ++i) {
        double r = random.next_unit();
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
        seen.insert(r);
    }
    EXPECT_GT(seen.size(), 990u);
}

}  // namespace
