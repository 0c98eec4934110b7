#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>

#include "forked_child.hpp"
#include "sablewick/base/random.hpp"

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

// A forked child starts from a copy of its parent's generator; unless it
// reseeds, it would live its parent's next lives draw for draw.
TEST(ThreadRandom, ForkedChildDoesNotRepeatItsParent) {
    auto& random = sablewick::thread_random();
    random.next_u64();  // the generator exists before the fork
    using Draws = std::array<std::uint64_t, 4>;
    Draws from_child{};
    ASSERT_NO_FATAL_FAILURE(forked_child::read_value(from_child, [] {
        Draws draws{};
        for (auto& x : draws) x = sablewick::thread_random().next_u64();
        return draws;
    }));
    Draws draws{};
    for (auto& x : draws) x = random.next_u64();
    EXPECT_NE(draws, from_child);
}

}  // namespace
