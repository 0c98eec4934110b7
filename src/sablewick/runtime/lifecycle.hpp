#pragma once
// Per-thread state seeded from the OS must not be shared by a forked child
// and its parent: such state remembers the generation it was seeded in and
// seeds again once the generation has moved on.

namespace sablewick {

// Bumped in a forked child (a pthread_atfork handler, registered on the
// first call, which comes before any state has been seeded).
unsigned fork_generation() noexcept;

}  // namespace sablewick
