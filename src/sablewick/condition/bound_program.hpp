#pragma once
// Programs bound to a configuration's numbering of event and talent ids,
// kept side by side in one arena (CompiledCondition::bind appends them).

#include <cstdint>
#include <vector>

#include "sablewick/condition/program.hpp"

namespace sablewick::condition {

// The tests of many programs side by side (a configuration keeps all of its
// bound conditions in one), with the ids their tests refer to.
struct TestArena {
    std::vector<Test> tests;
    std::vector<std::int32_t> pool;
};

// What the bound program starting at `start` can read (Snapshot masks).
std::uint32_t reads(const TestArena& arena, std::uint32_t start);

}  // namespace sablewick::condition
