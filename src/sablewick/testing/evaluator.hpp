#pragma once
// Whether a condition tree holds for a life's state: the reference that the
// compiled form, the table form and the fuzzers are checked against. A life
// never walks a tree.

#include "sablewick/condition/ast.hpp"

namespace sablewick::property {
class PropertyState;
}

namespace sablewick::condition::evaluator {

// Short-circuits like the tree: the right operand of And is visited only
// when the left holds, of Or only when it fails. Walks by parent links:
// no recursion, no allocation. Property texts outside the code table read 0.
bool check(const ast::AstNode& node, const property::PropertyState& state) noexcept;

}  // namespace sablewick::condition::evaluator
