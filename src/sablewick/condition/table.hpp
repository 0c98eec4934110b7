#pragma once
// A bound condition of a few tests, answered without a branch.
//
// The yearly draw evaluates hundreds of conditions, one per candidate, and
// which test comes next and where a program ends differ from candidate to
// candidate: walked test by test (run()), most of those branches
// mispredict. A condition of at most kRanges scalar tests and kBits list
// bits is instead computed whole: every slot's result is worked out and the
// answer read from a truth table indexed by them. The tests are free of
// side effects, so computing the ones a walk would skip changes nothing.
// Larger conditions keep their program and are walked.
//
// One condition is one 64-byte cache line, so a table of candidates can
// hold its conditions side by side and read them in order.

#include <cstdint>
#include <optional>

#include "sablewick/condition/bound_program.hpp"
#include "sablewick/property/state.hpp"

namespace sablewick::condition {

struct alignas(64) TableCondition {
    // Chosen on the benchmark configuration: 3 scalar tests and 4 list bits
    // cover 91 % of the draw's candidates and 97 % of the achievements.
    static constexpr int kRanges = 3;
    static constexpr int kBits = 4;
    static constexpr int kSlots = kRanges + kBits;
    static constexpr std::uint8_t kWalked = 0xFF;

    // Range slot k holds when v - lo[k] <= span[k] (unsigned, wrapping), v
    // the Snapshot value value[k]; slot 0 also needs bit (v - lo) of `mask`
    // (all ones unless it tests a set of small values: span 63). The table
    // ignores the results of unused slots.
    std::int32_t lo[kRanges] = {};
    std::uint32_t span[kRanges] = {};
    // Bit slot k: word `word[k]` of the state's list bits rotated right by
    // `rotate[k]` has the bit at the slot's place in the index.
    std::uint16_t word[kBits] = {};
    std::uint8_t value[kRanges] = {};
    std::uint8_t walked = 0;  // kWalked: a condition too large, walked
    std::uint8_t rotate[kBits] = {};
    union {
        std::uint64_t mask = ~std::uint64_t{0};  // slot 0's set (not walked)
        std::uint32_t start;                     // where the bound program starts (walked)
    };
    // Bit i: the answer when the slots' results, read as a binary number
    // with the ranges in the low bits, are i.
    std::uint64_t table[(1u << kSlots) / 64] = {};

    // The condition that walks the bound program starting at `start`.
    static TableCondition walk(std::uint32_t start) {
        TableCondition c;
        c.walked = kWalked;
        c.start = start;
        return c;
    }

    // The condition that always holds, or never.
    static TableCondition constant(bool value) {
        TableCondition c;
        for (std::uint64_t& word : c.table) word = value ? ~std::uint64_t{0} : 0;
        return c;
    }
};
static_assert(sizeof(TableCondition) == 64);

// A Snapshot value known ahead of the evaluation.
struct FixedValue {
    std::uint8_t value = 0;  // the Snapshot index
    std::int32_t is = 0;
};

// The table form of the bound program starting at `start` in `arena` (an
// exit for a constant one), or the program itself when it has more tests
// than the slots or a kind they cannot take. With `fixed`, the table holds
// only where that value is as given: its tests need no slot.
TableCondition tabulate(const TestArena& arena, std::uint32_t start, std::optional<FixedValue> fixed = std::nullopt);

// The table `c` (not a walked one) where the value `fixed` names is as
// given: the slots that read it answer as they would for that value, so the
// table no longer depends on them. Agrees with tabulate(..., fixed) on every
// state whose value is as given, and costs a few bit operations.
TableCondition fix_value(const TableCondition& c, FixedValue fixed) noexcept;

// True for a table that never holds.
bool never_holds(const TableCondition& c) noexcept;

// A scalar test that must hold for the condition to hold: value - lo <=
// span. For a condition without one, a test that always holds.
struct Gate {
    std::uint8_t value = 0;
    std::int32_t lo = 0;
    std::uint32_t span = 0xFFFFFFFFu;

    bool holds(const Snapshot& s) const noexcept {
        return static_cast<std::uint32_t>(s.values[value]) - static_cast<std::uint32_t>(lo) <= span;
    }
};
Gate gate_of(const TableCondition& c) noexcept;

// The table's answer (not for a walked condition).
[[gnu::always_inline]] inline bool holds_table(const TableCondition& c, const Snapshot& s) noexcept {
    const auto offset = [&](int k) {
        return static_cast<std::uint32_t>(s.values[c.value[k]]) - static_cast<std::uint32_t>(c.lo[k]);
    };
    const std::uint32_t d = offset(0);
    std::uint32_t index = static_cast<std::uint32_t>(d <= c.span[0]) & static_cast<std::uint32_t>(c.mask >> (d & 63));
    for (int k = 1; k < TableCondition::kRanges; ++k) index |= static_cast<std::uint32_t>(offset(k) <= c.span[k]) << k;
    for (int k = 0; k < TableCondition::kBits; ++k) {
        const std::uint64_t word = s.bits[c.word[k]];
        const unsigned turn = c.rotate[k];
        const std::uint64_t rotated = (word >> turn) | (word << ((64 - turn) & 63));
        index |= static_cast<std::uint32_t>(rotated) & (1u << (TableCondition::kRanges + k));
    }
    return (c.table[index >> 6] >> (index & 63)) & 1;
}

[[gnu::always_inline]] inline bool holds(const TableCondition& c, const TestArena& arena, const Snapshot& s) noexcept {
    if (c.walked == TableCondition::kWalked) [[unlikely]] {
        return run(arena.tests.data(), arena.pool.data(), c.start, s);
    }
    return holds_table(c, s);
}

// One scalar test and one list bit with the 4-entry table over them: the
// form most of the draw's conditions take (an event's own once-only bit,
// one property test, or both), in 24 bytes and a few instructions.
struct SmallCondition {
    std::uint64_t mask = ~std::uint64_t{0};  // as TableCondition's slot 0
    std::int32_t lo = 0;
    std::uint32_t span = 0;
    std::uint32_t bit = 0;  // in the state's list bits
    std::uint8_t value = 0;
    std::uint8_t table = 0;  // bit i: the answer when the range's result plus twice the bit's is i
};
static_assert(sizeof(SmallCondition) == 24);

// The small form of a table whose answer depends on at most one range slot
// and one bit slot; none for any other (a walked one included).
std::optional<SmallCondition> shrink(const TableCondition& c) noexcept;

[[gnu::always_inline]] inline bool holds(const SmallCondition& c, const Snapshot& s) noexcept {
    const std::uint32_t d = static_cast<std::uint32_t>(s.values[c.value]) - static_cast<std::uint32_t>(c.lo);
    const std::uint32_t range =
        static_cast<std::uint32_t>(d <= c.span) & static_cast<std::uint32_t>(c.mask >> (d & 63));
    const auto bit = static_cast<std::uint32_t>(s.bits[c.bit >> 6] >> (c.bit & 63));
    return (c.table >> ((range & 1) | ((bit & 1) << 1))) & 1;
}

}  // namespace sablewick::condition
