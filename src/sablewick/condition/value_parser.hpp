#pragma once
// The right-hand side of a condition leaf.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sablewick/base/error.hpp"
#include "sablewick/condition/ast.hpp"

namespace sablewick::condition {

// Optional sign, one or more ASCII digits, within the signed 32-bit range.
std::optional<std::int32_t> parse_int(std::string_view text) noexcept;

// Optional sign, then inf / infinity / nan in any case, or digits with at
// most one '.' (at least one digit) and an optional exponent. Nearest
// double, ties to even; overflow gives an infinity, underflow a zero, of
// the number's sign.
std::optional<double> parse_float(std::string_view text) noexcept;

// What a value text is, without building the value: the kind, the number,
// and for an Array its ids appended to `ids` (Text keeps the trimmed text as
// a view). "[...]" is an Array; else Int, Float, or Text. False for an
// invalid array.
struct ValueSpec {
    ast::ConditionValue::Kind kind = ast::ConditionValue::Kind::Text;
    std::int32_t n = 0;
    double f = 0.0;
    std::string_view text;  // the trimmed value
};
bool classify_value(std::string_view text, ValueSpec& out, std::vector<std::int32_t>& ids);

// The value `spec` describes; `ids` are an Array's.
ast::ConditionValue make_value(const ValueSpec& spec, std::vector<std::int32_t> ids);

}  // namespace sablewick::condition
