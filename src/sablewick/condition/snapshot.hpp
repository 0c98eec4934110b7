#pragma once
// What a condition reads of a life, taken once for a batch of tests against
// one state.

#include <cstddef>
#include <cstdint>

#include "sablewick/property/state.hpp"

namespace sablewick::condition {

// Taken for the draw's candidates, a talent pass or an achievement check:
// every scalar a condition can name, effective minima and maxima and the
// summary score worked out, and the state's list bits.
struct Snapshot {
    // By property::Code: AGE .. CACHV, LAGE .. LSPR and HAGE .. HSPR
    // effective, SUM.
    static constexpr std::size_t kValues = static_cast<std::size_t>(property::Code::SUM) + 1;
    std::int32_t values[kValues];
    const std::uint64_t* bits;
    const property::PropertyState* state;
    // Ids appended to TLT and EVT so far (the other lists never change).
    std::size_t appended;

    explicit Snapshot(const property::PropertyState& s) noexcept;

    // What a condition can read, as a mask: bit k for values[k], kLists for
    // the id lists.
    static constexpr std::uint32_t kLists = std::uint32_t{1} << kValues;
    static constexpr std::uint32_t kEverything = (kLists << 1) - 1;
    // What differs between the two snapshots of one life.
    std::uint32_t changed_since(const Snapshot& earlier) const noexcept;
};

}  // namespace sablewick::condition
