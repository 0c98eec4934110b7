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
// Leaf kinds are settled when compiling: a property text becomes the index
// of the value it reads in a Snapshot of the state (effective minima and
// maxima and the summary score among them), every integer and float
// comparison becomes an integer range (or a constant), small arrays become
// 64-bit masks, and a leaf whose answer cannot depend on the state (an
// unknown property, a Text value, an operator the value kind never
// satisfies) becomes a constant.
//
// List tests come in two forms. A program from the cache scans the life's id
// lists ("unbound"). A configuration binds its programs to its own dense
// numbering of event and talent ids (bind), and then a list test is a few bit
// tests against the sets PropertyState keeps beside its lists.
//
// Programs never recurse: parsing, compiling, binding and evaluating are
// loops over flat arrays, whatever the nesting.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sablewick/base/error.hpp"
#include "sablewick/condition/ast.hpp"
#include "sablewick/property/state.hpp"

namespace sablewick::condition {

// What a test reads of a life, taken once for a batch of tests against one
// state (the draw's candidates, a talent pass, an achievement check): every
// scalar a condition can name, effective minima and maxima and the summary
// score worked out, and the state's list bits.
struct Snapshot {
    // By property::Code: AGE .. CACHV, LAGE .. LSPR and HAGE .. HSPR
    // effective, SUM.
    static constexpr std::size_t kValues = static_cast<std::size_t>(property::Code::SUM) + 1;
    std::int32_t values[kValues];
    const std::uint64_t* bits;
    const property::PropertyState* state;
    // Ids appended to TLT and EVT so far (the other lists never change).
    std::size_t appended;

    explicit Snapshot(const property::PropertyState& s) noexcept;

    // What a condition can read, as a mask: bit k for values[k], kLists for
    // the id lists.
    static constexpr std::uint32_t kLists = std::uint32_t{1} << kValues;
    static constexpr std::uint32_t kEverything = (kLists << 1) - 1;
    // What differs between the two snapshots of one life.
    std::uint32_t changed_since(const Snapshot& earlier) const noexcept;
};

enum class TestKind : std::uint8_t {
    Range,      // value a - x <= z (unsigned, wrapping): in [x, x + z]
    Mask,       // value a - x in 0..63 with that bit of the 64-bit mask z
    ListBit,    // bound: bit x of the state's list bits (IdSpaces::bit_base)
    AnyBits,    // bound: any of the z bits pool[x ..] of the state's list bits
    Set,        // value a among the z sorted ids pool[x ..]
    ListMixed,  // bound: pool[x] = n bits, pool[x + 1] = m ids of list a the spaces lack, then both
    ListIds,    // unbound: list a shares an id with the z sorted ids pool[x ..]
    Const,      // never holds (a true constant has its exits swapped)
};

// One test, 24 bytes. A test with kNegate has its exits swapped when
// compiled, so evaluation never negates.
struct Test {
    TestKind kind = TestKind::Const;
    std::uint8_t a = 0;  // the value read (a Snapshot index), or the list
    std::uint8_t flags = 0;
    std::int32_t x = 0;
    std::uint64_t z = 0;
    std::uint32_t on_true = 0;
    std::uint32_t on_false = 0;

    static constexpr std::uint8_t kNegate = 1;
};
static_assert(sizeof(Test) == 24);

// Exits that end the evaluation.
inline constexpr std::uint32_t kExitFalse = 0xFFFFFFFEu;
inline constexpr std::uint32_t kExitTrue = 0xFFFFFFFFu;

// The tests of many programs side by side (a configuration keeps all of its
// bound conditions in one), with the ids their tests refer to.
struct TestArena {
    std::vector<Test> tests;
    std::vector<std::int32_t> pool;
};

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

// Every kind but Range, ListBit and AnyBits.
bool rare_test(const Test& t, const std::int32_t* pool, const Snapshot& s) noexcept;

}  // namespace detail

// Runs the program starting at `pc` (exits are absolute indices), one test
// after another.
[[gnu::always_inline]] inline bool run(const Test* tests, const std::int32_t* pool, std::uint32_t pc,
                                       const Snapshot& s) noexcept {
    while (pc < kExitFalse) {
        const Test& t = tests[pc];
        bool holds;
        if (t.kind == TestKind::Range) {
            holds = static_cast<std::uint32_t>(s.values[t.a]) - static_cast<std::uint32_t>(t.x) <= t.z;
        } else if (t.kind == TestKind::ListBit) {
            holds = detail::bit_of(s.bits, static_cast<std::uint32_t>(t.x));
        } else if (t.kind == TestKind::AnyBits) {
            holds = detail::any_bit(s.bits, pool + t.x, t.z);
        } else {
            holds = detail::rare_test(t, pool, s);
        }
        pc = holds ? t.on_true : t.on_false;
    }
    return pc == kExitTrue;
}

// What the bound program starting at `start` can read (Snapshot masks).
std::uint32_t reads(const TestArena& arena, std::uint32_t start);

class CompiledCondition {
public:
    // Linear in the tree's size; no recursion.
    static CompiledCondition compile(const ast::AstNode& tree);

    // Parses and compiles a trimmed, non-empty text in one pass: the
    // program, or the failure of a word that does not parse in an otherwise
    // well-formed text. Empty when the arrangement of words, operators and
    // parentheses is irregular; the caller then takes the exact road
    // (tokenize, parse_tokens) for the failure's message.
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
    // constant, which then appends nothing.
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
