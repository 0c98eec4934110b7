#pragma once
// The one way the engine tests a condition text: the empty-text shortcut,
// the process-wide cache CONDITION_CACHE of parsed conditions, and on a miss
// tokenize, parse, compile and store.

#include <cstddef>
#include <string_view>

#include "sablewick/condition/compiled.hpp"
#include "sablewick/error.hpp"

namespace sablewick::property {
class PropertyState;
}

namespace sablewick::condition::cache {

// True for the empty text without touching (or creating) the cache.
// Otherwise the cached form of the text exactly as passed (untrimmed key),
// parsed on a miss; failures are returned and never stored.
Result<bool> check_condition(std::string_view condition, const property::PropertyState& state);

// The cache's compiled form of a non-empty text, parsing and storing it on a
// miss. Entries are immutable and never removed, so the pointer stays valid
// for the life of the process.
Result<const CompiledCondition*> resolve(std::string_view condition);

// Test hooks.
namespace testing {
bool exists() noexcept;
std::size_t size();
bool contains(std::string_view condition);
}  // namespace testing

}  // namespace sablewick::condition::cache
