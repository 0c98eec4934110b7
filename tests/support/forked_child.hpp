#pragma once
// Reads back a value computed in a forked child, for the tests of what a
// child must not share with its parent.

#include <gtest/gtest.h>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <type_traits>

namespace forked_child {

// Forks; the child sends make() through a pipe and exits, and the parent
// stores it in `from_child` once the child has ended with status 0. Wrap the
// call in ASSERT_NO_FATAL_FAILURE.
template <class T, class Make>
void read_value(T& from_child, Make make) {
    static_assert(std::is_trivially_copyable_v<T>);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const T value = make();
        const bool sent = write(pipe_fds[1], &value, sizeof value) == static_cast<ssize_t>(sizeof value);
        _exit(sent ? 0 : 1);
    }
    close(pipe_fds[1]);
    const ssize_t got = read(pipe_fds[0], &from_child, sizeof from_child);
    close(pipe_fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof from_child));
}

}  // namespace forked_child
