#pragma once
// Random source of a run. The engine takes it as a parameter so tests can
// script the draws; production uses the calling thread's generator.

#include <cstdint>

namespace sablewick {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual std::uint64_t next_u64() = 0;
    // One 32-bit word (taken from a 64-bit output by default).
    virtual std::uint32_t next_u32() { return static_cast<std::uint32_t>(next_u64() >> 32); }

    // Uniform value in [0, 1): (x >> 11) * 2^-53.
    double next_unit() { return static_cast<double>(next_u64() >> 11) * 0x1.0p-53; }
};

// The calling thread's generator, seeded from the operating system and
// reseeded in a child process after fork. Made on the thread's first call,
// which throws std::bad_alloc when there is no memory for it.
RandomSource& thread_random();

}  // namespace sablewick
