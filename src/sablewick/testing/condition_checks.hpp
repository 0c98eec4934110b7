#pragma once
// One-off answers of condition texts, for tests, fuzzers and benchmarks: a
// life reads its conditions bound into the compiled rules instead
// (simulator/compiled_rules.hpp).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "sablewick/base/error.hpp"
#include "sablewick/condition/condition_text.hpp"

namespace sablewick::property {
class PropertyState;
}

namespace sablewick::condition {

enum class Outcome : std::uint8_t { False, True, Invalid };

// True, False, or Invalid when the text does not tokenize or parse. Same
// answer as cache::check_condition on the record's text.
Outcome check(const ConditionText& record, const property::PropertyState& state);

}  // namespace sablewick::condition

namespace sablewick::condition::cache {

class Entry;

// True for the empty text without touching (or creating) the cache, else
// the cached answer of the text. A text that parses is kept for the life of
// the process; a failure is returned and kept only while something else
// holds the text.
Result<bool> check_condition(std::string_view condition, const property::PropertyState& state);

// Hooks into the cache's own state (defined in condition/cache.cpp).
namespace testing {
bool exists() noexcept;
// Texts held.
std::size_t size();
// Whether the cache holds the text with its parsed program.
bool contains(std::string_view condition);
// Texts parsed since the process started.
std::size_t parses() noexcept;
// Holds `entry` for the life of the process.
void keep_for_good(const std::shared_ptr<const Entry>& entry);
}  // namespace testing

}  // namespace sablewick::condition::cache
