#pragma once
// The comparison table of a condition leaf, as the tree evaluator reads it.
// The compiled form has its own (condition/program.hpp); the evaluator test
// holds the two to the same answers.

#include <cstdint>
#include <span>

#include "sablewick/condition/ast.hpp"

namespace sablewick::condition::compare {

using ast::Operator;

inline bool occurs(std::int32_t n, std::span<const std::int32_t> ids) noexcept {
    for (std::int32_t x : ids) {
        if (x == n) return true;
    }
    return false;
}

inline bool any_occurs(std::span<const std::int32_t> list, std::span<const std::int32_t> array) noexcept {
    for (std::int32_t x : list) {
        if (occurs(x, array)) return true;
    }
    return false;
}

inline bool scalar_int(Operator op, std::int32_t v, std::int32_t n) noexcept {
    switch (op) {
        case Operator::Greater: return v > n;
        case Operator::Less: return v < n;
        case Operator::GreaterEqual: return v >= n;
        case Operator::LessEqual: return v <= n;
        case Operator::Equal: return v == n;
        case Operator::NotEqual: return v != n;
        default: return false;
    }
}

// IEEE 754 comparison: false whenever f is NaN. "=" and "!=" never hold.
inline bool scalar_float(Operator op, std::int32_t v, double f) noexcept {
    const double x = static_cast<double>(v);
    switch (op) {
        case Operator::Greater: return x > f;
        case Operator::Less: return x < f;
        case Operator::GreaterEqual: return x >= f;
        case Operator::LessEqual: return x <= f;
        default: return false;
    }
}

inline bool scalar_array(Operator op, std::int32_t v, std::span<const std::int32_t> a) noexcept {
    if (op == Operator::In) return occurs(v, a);
    if (op == Operator::NotIn) return !occurs(v, a);
    return false;
}

inline bool list_int(Operator op, std::span<const std::int32_t> list, std::int32_t n) noexcept {
    if (op == Operator::Equal) return occurs(n, list);
    if (op == Operator::NotEqual) return !occurs(n, list);
    return false;
}

inline bool list_array(Operator op, std::span<const std::int32_t> list, std::span<const std::int32_t> a) noexcept {
    if (op == Operator::In) return any_occurs(list, a);
    if (op == Operator::NotIn) return !any_occurs(list, a);
    return false;
}

}  // namespace sablewick::condition::compare
