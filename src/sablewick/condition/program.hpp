#pragma once
// The flat form of a condition that the hot path evaluates.
//
// A condition is a sequence of tests in the order its leaves are written.
// Each test carries two exits: where to go when it holds and where when it
// does not, so And and Or need no instructions of their own (And(L, R): L's
// true exits lead to R, its false exits to the And's false; Or the other way
// round). Evaluation is a loop over tests with one comparison each and no
// stack; it short-circuits exactly like the tree.
//
// Leaf kinds are settled when compiling (leaf_test.hpp): a property text
// becomes the index of the value it reads in a Snapshot of the state,
// every integer and float comparison becomes an integer range (or a
// constant), small arrays become 64-bit masks, and a leaf whose answer
// cannot depend on the state (an unknown property, a Text value, an
// operator the value kind never satisfies) becomes a constant.
//
// List tests come in two forms. A program from the cache scans the life's id
// lists ("unbound"). A configuration binds its programs to its own dense
// numbering of event and talent ids (bound_program.hpp), and then a list
// test is a few bit tests against the sets PropertyState keeps beside its
// lists.
//
// Programs never recurse: parsing, compiling, binding and evaluating are
// loops over flat arrays, whatever the nesting.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sablewick/condition/ast.hpp"
#include "sablewick/condition/snapshot.hpp"
#include "sablewick/base/error.hpp"
#include "sablewick/property/state.hpp"

namespace sablewick::condition {

enum class TestKind : std::uint8_t {
    Range,      // value - lo <= span (unsigned, wrapping): the value in [lo, lo + span]
    Mask,       // value - lo in 0..63 and that bit of the 64-bit `members` set
    ListBit,    // bound: bit `bit` of the state's list bits (IdSpaces::bit_base)
    AnyBits,    // bound: any of the `count` list bits pool[first ..] names
    Set,        // value among the `count` sorted ids pool[first ..]
    ListMixed,  // bound: pool[first] = n list bits, pool[first + 1] = m ids the spaces lack, then both
    ListIds,    // unbound: the list shares an id with the `count` sorted ids pool[first ..]
    Const,      // never holds (a true constant has its exits swapped)
};

// One test of a program. Each kind reads its own fields over shared bytes:
//
//   byte 0      kind
//   byte 1      operand: the Snapshot value read (Range, Mask, Set) or the
//               property::ListKind searched (ListMixed, ListIds)
//   byte 2      negated: the exits were swapped when compiled
//   byte 3      unused
//   bytes 4-7   lo (Range, Mask), bit (ListBit) or first, an index into
//               the ids pool (AnyBits, Set, ListMixed, ListIds)
//   bytes 8-15  span (Range), members (Mask) or count (AnyBits, Set,
//               ListIds)
//   bytes 16-23 on_true, on_false: the exits
//
// The accessors check the kind in debug builds.
class Test {
public:
    // A test that never holds.
    Test() noexcept : Test(TestKind::Const, 0) {}

    static Test range(std::uint8_t value, std::int32_t lo, std::uint32_t span) noexcept {
        Test t(TestKind::Range, value);
        t.lo_ = lo;
        t.span_ = span;
        return t;
    }
    static Test mask(std::uint8_t value, std::int32_t lo, std::uint64_t members) noexcept {
        Test t(TestKind::Mask, value);
        t.lo_ = lo;
        t.members_ = members;
        return t;
    }
    static Test list_bit(std::uint32_t bit) noexcept {
        Test t(TestKind::ListBit, 0);
        t.bit_ = bit;
        return t;
    }
    static Test any_bits(std::uint32_t first, std::uint64_t count) noexcept {
        return pooled(TestKind::AnyBits, 0, first, count);
    }
    static Test set(std::uint8_t value, std::uint32_t first, std::uint64_t count) noexcept {
        return pooled(TestKind::Set, value, first, count);
    }
    // Its n and m at pool[first] and pool[first + 1] give its length.
    static Test list_mixed(property::ListKind list, std::uint32_t first) noexcept {
        return pooled(TestKind::ListMixed, static_cast<std::uint8_t>(list), first, 0);
    }
    static Test list_ids(property::ListKind list, std::uint32_t first, std::uint64_t count) noexcept {
        return pooled(TestKind::ListIds, static_cast<std::uint8_t>(list), first, count);
    }
    // A test that always holds is a negated one that never does.
    static Test constant(bool value) noexcept {
        Test t(TestKind::Const, 0);
        t.negated_ = value;
        return t;
    }

    TestKind kind() const noexcept { return kind_; }
    bool negated() const noexcept { return negated_; }
    void set_negated(bool negated) noexcept { negated_ = negated; }

    // The Snapshot index of the value read.
    std::uint8_t value() const noexcept {
        assert(kind_ == TestKind::Range || kind_ == TestKind::Mask || kind_ == TestKind::Set);
        return operand_;
    }
    property::ListKind list() const noexcept {
        assert(kind_ == TestKind::ListMixed || kind_ == TestKind::ListIds);
        return static_cast<property::ListKind>(operand_);
    }
    std::int32_t lo() const noexcept {
        assert(kind_ == TestKind::Range || kind_ == TestKind::Mask);
        return lo_;
    }
    std::uint32_t span() const noexcept {
        assert(kind_ == TestKind::Range);
        return span_;
    }
    std::uint64_t members() const noexcept {
        assert(kind_ == TestKind::Mask);
        return members_;
    }
    std::uint32_t bit() const noexcept {
        assert(kind_ == TestKind::ListBit);
        return bit_;
    }
    std::uint32_t first() const noexcept {
        assert(kind_ == TestKind::AnyBits || kind_ == TestKind::Set || kind_ == TestKind::ListMixed ||
               kind_ == TestKind::ListIds);
        return first_;
    }
    std::uint64_t count() const noexcept {
        assert(kind_ == TestKind::AnyBits || kind_ == TestKind::Set || kind_ == TestKind::ListIds);
        return count_;
    }

    std::uint32_t on_true = 0;
    std::uint32_t on_false = 0;

private:
    Test(TestKind kind, std::uint8_t operand) noexcept : kind_(kind), operand_(operand) {}
    // A test over ids in the pool.
    static Test pooled(TestKind kind, std::uint8_t operand, std::uint32_t first, std::uint64_t count) noexcept {
        Test t(kind, operand);
        t.first_ = first;
        t.count_ = count;
        return t;
    }

    TestKind kind_;
    std::uint8_t operand_;
    bool negated_ = false;
    union {
        std::int32_t lo_ = 0;
        std::uint32_t bit_;
        std::uint32_t first_;
    };
    union {
        std::uint64_t count_ = 0;
        std::uint32_t span_;
        std::uint64_t members_;
    };
};
// The walk's working set: at 24 bytes, eight tests fill three cache lines.
static_assert(sizeof(Test) == 24);

// Exits that end the evaluation.
inline constexpr std::uint32_t kExitFalse = 0xFFFFFFFEu;
inline constexpr std::uint32_t kExitTrue = 0xFFFFFFFFu;

namespace detail {

inline bool has_id(const std::int32_t* sorted, std::uint64_t count, std::int32_t id) noexcept {
    if (count <= 8) {
        for (std::uint64_t i = 0; i < count; ++i) {
            if (sorted[i] == id) return true;
        }
        return false;
    }
    return std::binary_search(sorted, sorted + count, id);
}

inline bool bit_of(const std::uint64_t* bits, std::uint32_t index) noexcept {
    return (bits[index >> 6] >> (index & 63)) & 1;
}

// Whether any of `count` bits is set: every bit read, one answer, no branch
// per bit (which one is set varies from test to test and mispredicts).
inline bool any_bit(const std::uint64_t* bits, const std::int32_t* indices, std::uint64_t count) noexcept {
    std::uint64_t any = 0;
    for (std::uint64_t k = 0; k < count; ++k) {
        const auto index = static_cast<std::uint32_t>(indices[k]);
        any |= bits[index >> 6] >> (index & 63);
    }
    return any & 1;
}

// Every kind but Range, ListBit and AnyBits (rare_test.cpp).
bool rare_test(const Test& t, const std::int32_t* pool, const Snapshot& s) noexcept;

}  // namespace detail

// Runs the program starting at `pc` (exits are absolute indices), one test
// after another.
[[gnu::always_inline]] inline bool run(const Test* tests, const std::int32_t* pool, std::uint32_t pc,
                                       const Snapshot& s) noexcept {
    while (pc < kExitFalse) {
        const Test& t = tests[pc];
        bool holds;
        if (t.kind() == TestKind::Range) {
            holds = static_cast<std::uint32_t>(s.values[t.value()]) - static_cast<std::uint32_t>(t.lo()) <= t.span();
        } else if (t.kind() == TestKind::ListBit) {
            holds = detail::bit_of(s.bits, t.bit());
        } else if (t.kind() == TestKind::AnyBits) {
            holds = detail::any_bit(s.bits, pool + t.first(), t.count());
        } else {
            holds = detail::rare_test(t, pool, s);
        }
        pc = holds ? t.on_true : t.on_false;
    }
    return pc == kExitTrue;
}

struct TestArena;

class CompiledCondition {
public:
    // Linear in the tree's size; no recursion (compile_tree.cpp).
    static CompiledCondition compile(const ast::AstNode& tree);

    // Parses and compiles a trimmed, non-empty text in one pass
    // (one_pass_parser.cpp): the program, or the failure of a word that does
    // not parse in an otherwise well-formed text. Empty when the arrangement
    // of words, operators and parentheses is irregular; the caller then
    // takes the parser that decides the error messages (tokenize,
    // parse_tokens).
    static std::optional<Result<CompiledCondition>> compile_text(std::string_view trimmed);

    // Same answer as evaluator::check on the compiled tree. No allocation.
    bool evaluate(const property::PropertyState& state) const noexcept {
        return run(tests_.data(), pool_.data(), 0, Snapshot(state));
    }

    // Appends this program to `arena` with its list tests bound to `spaces`
    // (a state evaluated with it must be bound to the same spaces); where it
    // would end holding it goes on at `if_true`, where it would end failing
    // at `if_false` (exits or tests of the arena). Returns where evaluation
    // starts: `if_true` or `if_false` itself for a program whose answer is
    // constant, which then appends nothing (bound_program.cpp).
    std::uint32_t bind(const property::IdSpaces& spaces, TestArena& arena, std::uint32_t if_true = kExitTrue,
                       std::uint32_t if_false = kExitFalse) const;

    std::size_t size() const noexcept { return tests_.size(); }
    // Bytes held: tests and ids.
    std::size_t bytes() const noexcept {
        return tests_.capacity() * sizeof(Test) + pool_.capacity() * sizeof(std::int32_t);
    }

private:
    friend class ProgramBuilder;
    std::vector<Test> tests_;
    std::vector<std::int32_t> pool_;
};

}  // namespace sablewick::condition
