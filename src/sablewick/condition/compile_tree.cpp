// Compiling a syntax tree: the program of a text that the one-pass parser
// gave up on and the splitting parser parsed.

#include <vector>

#include "sablewick/condition/program.hpp"
#include "sablewick/condition/program_builder.hpp"

namespace sablewick::condition {

namespace {

// The leaf as the parsers describe one; an Array's ids go to `ids`.
parser::LeafSpec spec_of(const ast::AstNode& leaf, std::vector<std::int32_t>& ids) {
    using Kind = ast::ConditionValue::Kind;
    parser::LeafSpec spec;
    spec.property = leaf.property();
    spec.op = leaf.op();
    const ast::ConditionValue& value = leaf.value();
    spec.value.kind = value.kind();
    ids.clear();
    switch (value.kind()) {
        case Kind::Int: spec.value.n = value.as_int(); break;
        case Kind::Float: spec.value.f = value.as_float(); break;
        case Kind::Array: ids = value.as_array(); break;
        case Kind::Text: break;
    }
    return spec;
}

}  // namespace

CompiledCondition CompiledCondition::compile(const ast::AstNode& tree) {
    ProgramBuilder builder;
    std::vector<std::int32_t> ids;
    // Post-order without recursion: a node is joined once both children are.
    struct Frame {
        const ast::AstNode* node;
        bool expanded;
    };
    std::vector<Frame> stack{{&tree, false}};
    std::vector<std::uint32_t> built;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const ast::AstNode* node = frame.node;
        if (node->is_condition()) {
            built.push_back(builder.leaf(spec_of(*node, ids), ids));
            stack.pop_back();
        } else if (!frame.expanded) {
            frame.expanded = true;
            stack.push_back({node->right(), false});
            stack.push_back({node->left(), false});
        } else {
            const std::uint32_t right = built.back();
            built.pop_back();
            const std::uint32_t left = built.back();
            built.pop_back();
            built.push_back(builder.join(node->kind() == ast::AstNode::Kind::And, left, right));
            stack.pop_back();
        }
    }
    return builder.finish(built.back());
}

}  // namespace sablewick::condition
