#pragma once
// A value text built into its value, for the parser's and the fuzzers'
// checks; the parsers themselves classify values (condition/value_parser.hpp)
// without building one.

#include <string_view>

#include "sablewick/base/error.hpp"
#include "sablewick/condition/ast.hpp"

namespace sablewick::condition {

// "[...]": Array (or "Invalid array: " + text); else Int, Float, or Text.
Result<ast::ConditionValue> parse_value(std::string_view text);

}  // namespace sablewick::condition
