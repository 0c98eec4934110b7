#pragma once
// The flat form of a condition tree that the hot path evaluates.
//
// One accumulator and forward jumps: a leaf sets it; And(L, R) compiles to
// L, jump-if-false to the end, R; Or(L, R) to L, jump-if-true to the end, R.
// That short-circuits exactly like the tree and needs no stack. Property
// texts are resolved to codes once, at compile time.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sablewick/condition/ast.hpp"
#include "sablewick/property/code.hpp"

namespace sablewick::property { class PropertyState; }

namespace sablewick::condition {

class CompiledCondition {
public:
    // Linear in the tree's size; no recursion.
    static CompiledCondition compile(const ast::AstNode& tree);

    // Same answer as evaluator::check on the compiled tree. No allocation.
    bool evaluate(const property::PropertyState& state) const noexcept;

    std::size_t size() const noexcept { return code_.size(); }

private:
    enum class Step : std::uint8_t {
        ScalarInt,    // scalar code against n
        ScalarFloat,  // scalar code against f
        ScalarArray,  // scalar code against pool_[offset, offset + length)
        ListInt,      // id list against n
        ListArray,    // id list against the pool
        False,        // a leaf that never holds (Text values, Float on a list)
        JumpIfFalse,  // to target
        JumpIfTrue,   // to target
    };
    struct Instruction {
        Step step;
        ast::Operator op;
        property::Code code;
        std::int32_t n;
        double f;
        std::size_t target;  // jump target, or array offset into pool_
        std::size_t length;  // array length
    };

    void emit_leaf(const ast::AstNode& leaf);
    void thread_jumps() noexcept;
    bool evaluate_leaf(const Instruction& in, const property::PropertyState& state) const noexcept;

    std::vector<Instruction> code_;
    std::vector<std::int32_t> pool_;
};

}  // namespace sablewick::condition
