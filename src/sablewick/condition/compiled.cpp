#include "sablewick/condition/compiled.hpp"

#include <span>

#include "sablewick/condition/compare.hpp"
#include "sablewick/property/state.hpp"

namespace sablewick::condition {

using ast::AstNode;
using ast::ConditionValue;
using property::Code;

void CompiledCondition::emit_leaf(const AstNode& leaf) {
    Instruction in{Step::False, leaf.op(), property::code_from_text(leaf.property()), 0, 0.0, 0, 0};
    const ConditionValue& value = leaf.value();
    const bool list = property::is_list(in.code);
    switch (value.kind()) {
        case ConditionValue::Kind::Int:
            in.step = list ? Step::ListInt : Step::ScalarInt;
            in.n = value.as_int();
            break;
        case ConditionValue::Kind::Float:
            if (!list) {
                in.step = Step::ScalarFloat;
                in.f = value.as_float();
            }
            break;
        case ConditionValue::Kind::Array:
            in.step = list ? Step::ListArray : Step::ScalarArray;
            in.target = pool_.size();
            in.length = value.as_array().size();
            pool_.insert(pool_.end(), value.as_array().begin(), value.as_array().end());
            break;
        case ConditionValue::Kind::Text:
            break;
    }
    code_.push_back(in);
}

CompiledCondition CompiledCondition::compile(const AstNode& tree) {
    CompiledCondition out;
    struct Frame {
        const AstNode* node;
        int stage;           // 0: not started, 1: left done, 2: right done
        std::size_t jump;    // index of the node's jump
    };
    std::vector<Frame> stack;
    stack.push_back({&tree, 0, 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const AstNode* node = frame.node;
        if (node->is_condition()) {
            out.emit_leaf(*node);
            stack.pop_back();
            continue;
        }
        if (frame.stage == 0) {
            frame.stage = 1;
            stack.push_back({node->left(), 0, 0});
        } else if (frame.stage == 1) {
            frame.stage = 2;
            frame.jump = out.code_.size();
            const Step step = node->kind() == AstNode::Kind::And ? Step::JumpIfFalse : Step::JumpIfTrue;
            out.code_.push_back({step, ast::Operator::Greater, Code::Unknown, 0, 0.0, 0, 0});
            stack.push_back({node->right(), 0, 0});
        } else {
            out.code_[frame.jump].target = out.code_.size();
            stack.pop_back();
        }
    }
    out.thread_jumps();
    return out;
}

// A jump that lands on a jump with the accumulator unchanged can go straight
// to where that one leads: a chain a|b|c|... then exits in one step.
void CompiledCondition::thread_jumps() noexcept {
    const std::size_t n = code_.size();
    for (std::size_t i = n; i-- > 0;) {
        Instruction& in = code_[i];
        if (in.step != Step::JumpIfFalse && in.step != Step::JumpIfTrue) continue;
        std::size_t t = in.target;
        if (t < n) {
            const Step landing = code_[t].step;
            if (landing == in.step) {
                t = code_[t].target;  // already threaded: it lies further on
            } else if (landing == Step::JumpIfFalse || landing == Step::JumpIfTrue) {
                t = t + 1;  // the opposite jump is never taken here
            }
        }
        in.target = t;
    }
}

bool CompiledCondition::evaluate_leaf(const Instruction& in, const property::PropertyState& state) const noexcept {
    switch (in.step) {
        case Step::ScalarInt: return compare::scalar_int(in.op, state.scalar(in.code), in.n);
        case Step::ScalarFloat: return compare::scalar_float(in.op, state.scalar(in.code), in.f);
        case Step::ScalarArray:
            return compare::scalar_array(in.op, state.scalar(in.code),
                                         std::span<const std::int32_t>(pool_.data() + in.target, in.length));
        case Step::ListInt: return compare::list_int(in.op, *state.list(in.code), in.n);
        case Step::ListArray:
            return compare::list_array(in.op, *state.list(in.code),
                                       std::span<const std::int32_t>(pool_.data() + in.target, in.length));
        default: return false;
    }
}

bool CompiledCondition::evaluate(const property::PropertyState& state) const noexcept {
    const std::size_t n = code_.size();
    bool acc = false;
    std::size_t pc = 0;
    while (pc < n) {
        const Instruction& in = code_[pc];
        switch (in.step) {
            case Step::JumpIfFalse: pc = acc ? pc + 1 : in.target; break;
            case Step::JumpIfTrue: pc = acc ? in.target : pc + 1; break;
            default:
                acc = evaluate_leaf(in, state);
                ++pc;
                break;
        }
    }
    return acc;
}

}  // namespace sablewick::condition
