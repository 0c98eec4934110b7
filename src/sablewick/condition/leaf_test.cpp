#include "sablewick/condition/leaf_test.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace sablewick::condition {

using ast::Operator;
using property::Code;
using Kind = ast::ConditionValue::Kind;

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// The Snapshot value a scalar leaf reads, or none for a property outside
// the table (RDM among them), which reads 0.
std::optional<std::uint8_t> scalar_read(Code code) {
    if (code <= Code::SUM) return static_cast<std::uint8_t>(code);
    return std::nullopt;
}

// [lo, hi] with lo <= hi, or a constant.
struct Interval {
    bool empty = false;
    std::int32_t lo = kMin, hi = kMax;
};

Interval int_interval(Operator op, std::int32_t n) {
    switch (op) {
        case Operator::Greater: return n == kMax ? Interval{true} : Interval{false, n + 1, kMax};
        case Operator::Less: return n == kMin ? Interval{true} : Interval{false, kMin, n - 1};
        case Operator::GreaterEqual: return {false, n, kMax};
        case Operator::LessEqual: return {false, kMin, n};
        default: return {false, n, n};  // = and != (negated by the caller)
    }
}

// An int32 v against a double f under IEEE 754 as an integer interval:
// v > f is v >= floor(f) + 1, v < f is v <= ceil(f) - 1, and so on; NaN
// compares false.
Interval float_interval(Operator op, double f) {
    if (std::isnan(f)) return {true};
    const double lo_limit = static_cast<double>(kMin), hi_limit = static_cast<double>(kMax);
    double lo = -HUGE_VAL, hi = HUGE_VAL;
    switch (op) {
        case Operator::Greater: lo = std::floor(f) + 1.0; break;
        case Operator::GreaterEqual: lo = std::ceil(f); break;
        case Operator::Less: hi = std::ceil(f) - 1.0; break;
        case Operator::LessEqual: hi = std::floor(f); break;
        default: return {true};
    }
    if (lo > hi_limit || hi < lo_limit) return {true};
    Interval out;
    out.lo = lo <= lo_limit ? kMin : static_cast<std::int32_t>(lo);
    out.hi = hi >= hi_limit ? kMax : static_cast<std::int32_t>(hi);
    return out;
}

// Sorted and without duplicates: a list shares an id with the array
// whatever their order and repetitions. Returns where they start in `pool`.
std::uint32_t put_sorted(std::vector<std::int32_t>& ids, std::vector<std::int32_t>& pool) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    const auto first = static_cast<std::uint32_t>(pool.size());
    pool.insert(pool.end(), ids.begin(), ids.end());
    return first;
}

Test list_test(Code code, const parser::LeafSpec& spec, std::vector<std::int32_t>& ids,
               std::vector<std::int32_t>& pool) {
    const Operator op = spec.op;
    const Kind value = spec.value.kind;
    const bool any = (value == Kind::Int && (op == Operator::Equal || op == Operator::NotEqual)) ||
                     (value == Kind::Array && (op == Operator::In || op == Operator::NotIn));
    if (!any) return Test::constant(false);
    if (value == Kind::Int) {
        ids.clear();
        ids.push_back(spec.value.n);
    }
    const auto list =
        static_cast<property::ListKind>(static_cast<std::uint8_t>(code) - static_cast<std::uint8_t>(Code::TLT));
    const std::uint32_t first = put_sorted(ids, pool);
    Test t = Test::list_ids(list, first, ids.size());
    t.set_negated(op == Operator::NotEqual || op == Operator::NotIn);
    return t;
}

Test number_test(std::optional<std::uint8_t> read, const parser::LeafSpec& spec) {
    const Operator op = spec.op;
    if (op == Operator::In || op == Operator::NotIn) return Test::constant(false);
    Interval range;
    bool negate = false;
    if (spec.value.kind == Kind::Int) {
        range = int_interval(op, spec.value.n);
        negate = op == Operator::NotEqual;
    } else {
        range = float_interval(op, spec.value.f);
    }
    if (range.empty) return Test::constant(negate);
    if (!read) return Test::constant((range.lo <= 0 && 0 <= range.hi) != negate);
    Test t = Test::range(*read, range.lo, static_cast<std::uint32_t>(range.hi) - static_cast<std::uint32_t>(range.lo));
    t.set_negated(negate);
    return t;
}

Test array_test(std::optional<std::uint8_t> read, const parser::LeafSpec& spec, std::vector<std::int32_t>& ids,
                std::vector<std::int32_t>& pool) {
    const Operator op = spec.op;
    if (op != Operator::In && op != Operator::NotIn) return Test::constant(false);
    const bool negate = op == Operator::NotIn;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (!read) return Test::constant(std::binary_search(ids.begin(), ids.end(), 0) != negate);
    Test t;
    if (ids.size() == 1) {
        t = Test::range(*read, ids.front(), 0);
    } else if (static_cast<std::int64_t>(ids.back()) - ids.front() < 64) {
        std::uint64_t members = 0;
        for (std::int32_t id : ids) members |= std::uint64_t{1} << (id - ids.front());
        t = Test::mask(*read, ids.front(), members);
    } else {
        const std::uint32_t first = put_sorted(ids, pool);
        t = Test::set(*read, first, ids.size());
    }
    t.set_negated(negate);
    return t;
}

}  // namespace

Test leaf_test(const parser::LeafSpec& spec, std::vector<std::int32_t>& ids, std::vector<std::int32_t>& pool) {
    const Code code = property::code_from_text(spec.property);
    if (property::is_list(code)) return list_test(code, spec, ids, pool);
    const std::optional<std::uint8_t> read = scalar_read(code);
    switch (spec.value.kind) {
        case Kind::Int:
        case Kind::Float: return number_test(read, spec);
        case Kind::Array: return array_test(read, spec, ids, pool);
        case Kind::Text: break;
    }
    return Test::constant(false);
}

}  // namespace sablewick::condition
