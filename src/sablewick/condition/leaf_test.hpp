#pragma once
// What one leaf of a condition becomes: a single test of the program.

#include <cstdint>
#include <vector>

#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/program.hpp"

namespace sablewick::condition {

// The test of `spec`, its exits unset; an Array's ids come in `ids` (taken
// as scratch: sorted and cut down). Ids the test searches are appended to
// `pool`.
Test leaf_test(const parser::LeafSpec& spec, std::vector<std::int32_t>& ids, std::vector<std::int32_t>& pool);

}  // namespace sablewick::condition
