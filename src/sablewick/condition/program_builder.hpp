#pragma once
// Assembles a program from its leaves and its And/Or structure; both
// parsers' compilers (compile_tree.cpp, one_pass_parser.cpp) build with it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/program.hpp"

namespace sablewick::condition {

// Collects a program's tests in leaf order and its And/Or structure, then
// sets every test's exits.
class ProgramBuilder {
public:
    // Room for `leaves` leaves joined by one operator fewer, so a long text
    // grows no array again.
    void reserve(std::size_t leaves);
    // A leaf: appends its test; returns its node (a leaf's node is its test).
    std::uint32_t leaf(const parser::LeafSpec& spec, std::vector<std::int32_t>& ids);
    // And / Or of two nodes built before.
    std::uint32_t join(bool is_and, std::uint32_t left, std::uint32_t right);
    // The program whose whole is node `root`.
    CompiledCondition finish(std::uint32_t root);

private:
    // A node is a test (a leaf) or, with kJoin set, an index into joins_.
    static constexpr std::uint32_t kJoin = 0x80000000u;
    // In Join::first: an And, not an Or.
    static constexpr std::uint32_t kAnd = 0x80000000u;
    struct Join {
        std::uint32_t left, right;
        std::uint32_t first;  // the test of its first leaf, and kAnd
    };
    std::uint32_t first(std::uint32_t node) const noexcept {
        return (node & kJoin) ? joins_[node & ~kJoin].first & ~kAnd : node;
    }
    void fold_constants();

    CompiledCondition out_;
    std::vector<Join> joins_;
};

}  // namespace sablewick::condition
