#include "sablewick/testing/evaluator.hpp"

#include "sablewick/testing/compare.hpp"
#include "sablewick/property/state.hpp"

namespace sablewick::condition::evaluator {

namespace {

using ast::AstNode;
using ast::ConditionValue;
using property::Code;

bool check_leaf(const AstNode& leaf, const property::PropertyState& state) noexcept {
    const Code code = property::code_from_text(leaf.property());
    const ConditionValue& value = leaf.value();
    if (const auto* list = state.list(code)) {
        switch (value.kind()) {
            case ConditionValue::Kind::Int: return compare::list_int(leaf.op(), *list, value.as_int());
            case ConditionValue::Kind::Array: return compare::list_array(leaf.op(), *list, value.as_array());
            default: return false;
        }
    }
    const std::int32_t v = state.scalar(code);
    switch (value.kind()) {
        case ConditionValue::Kind::Int: return compare::scalar_int(leaf.op(), v, value.as_int());
        case ConditionValue::Kind::Float: return compare::scalar_float(leaf.op(), v, value.as_float());
        case ConditionValue::Kind::Array: return compare::scalar_array(leaf.op(), v, value.as_array());
        case ConditionValue::Kind::Text: return false;
    }
    return false;
}

}  // namespace

bool check(const AstNode& root, const property::PropertyState& state) noexcept {
    const AstNode* node = &root;
    for (;;) {
        while (!node->is_condition()) node = node->left();
        bool result = check_leaf(*node, state);
        // Climb while the result decides the parent; descend right where it
        // does not.
        for (;;) {
            if (node == &root) return result;
            const AstNode* parent = node->parent();
            if (node == parent->left()) {
                const bool decided = parent->kind() == AstNode::Kind::And ? !result : result;
                if (!decided) {
                    node = parent->right();
                    break;
                }
            }
            node = parent;
        }
    }
}

}  // namespace sablewick::condition::evaluator
