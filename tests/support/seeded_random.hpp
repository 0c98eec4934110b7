#pragma once
// The benchmarks' random source: seeded, so two trees that agree run the
// same lives for the same seed. The programs built against an older tree
// (bench/against) take it from this tree.

#include <cstdint>
#include <random>

// bench/against builds this against older trees too, whose random source
// sat at the top of src/sablewick.
#if __has_include("sablewick/base/random.hpp")
#include "sablewick/base/random.hpp"
#else
#include "sablewick/random.hpp"
#endif

namespace sablewick::bench {

class SeededRandom final : public RandomSource {
public:
    explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t next_u64() override { return engine_(); }

private:
    std::mt19937_64 engine_;
};

}  // namespace sablewick::bench
