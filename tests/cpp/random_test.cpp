#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
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

// A forked child starts from a copy of its parent's generator; unless it
// reseeds, it would live its parent's next lives draw for draw.
TEST(ThreadRandom, ForkedChildDoesNotRepeatItsParent) {
    auto& random = sablewick::thread_random();
    random.next_u64();  // the generator exists before the fork
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    std::array<std::uint64_t, 4> draws{};
    if (child == 0) {
        for (auto& x : draws) x = sablewick::thread_random().next_u64();
        const bool sent = write(pipe_fds[1], draws.data(), sizeof draws) == static_cast<ssize_t>(sizeof draws);
        _exit(sent ? 0 : 1);
    }
    close(pipe_fds[1]);
    std::array<std::uint64_t, 4> from_child{};
    const ssize_t got = read(pipe_fds[0], from_child.data(), sizeof from_child);
    close(pipe_fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof from_child));
    for (auto& x : draws) x = random.next_u64();
    EXPECT_NE(draws, from_child);
}

}  // namespace
