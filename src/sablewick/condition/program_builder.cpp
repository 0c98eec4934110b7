#include "sablewick/condition/program_builder.hpp"

#include "sablewick/condition/leaf_test.hpp"

namespace sablewick::condition {

void ProgramBuilder::reserve(std::size_t leaves) {
    out_.tests_.reserve(leaves);
    joins_.reserve(leaves);
}

std::uint32_t ProgramBuilder::leaf(const parser::LeafSpec& spec, std::vector<std::int32_t>& ids) {
    out_.tests_.push_back(leaf_test(spec, ids, out_.pool_));
    return static_cast<std::uint32_t>(out_.tests_.size() - 1);
}

std::uint32_t ProgramBuilder::join(bool is_and, std::uint32_t left, std::uint32_t right) {
    joins_.push_back({left, right, first(left) | (is_and ? kAnd : 0)});
    return kJoin | static_cast<std::uint32_t>(joins_.size() - 1);
}

CompiledCondition ProgramBuilder::finish(std::uint32_t root) {
    struct Pending {
        std::uint32_t node, on_true, on_false;
    };
    std::vector<Pending> stack{{root, kExitTrue, kExitFalse}};
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        if (!(p.node & kJoin)) {
            // A negated test takes its exits the other way round, so
            // evaluation never negates.
            Test& t = out_.tests_[p.node];
            t.on_true = t.negated() ? p.on_false : p.on_true;
            t.on_false = t.negated() ? p.on_true : p.on_false;
            continue;
        }
        const Join& n = joins_[p.node & ~kJoin];
        const std::uint32_t right_start = first(n.right);
        // The left side first on the stack, so a chain grouped to the
        // left (the usual a|b|c|...) keeps the stack short.
        if (n.first & kAnd) {
            stack.push_back({n.left, right_start, p.on_false});
        } else {
            stack.push_back({n.left, p.on_true, right_start});
        }
        stack.push_back({n.right, p.on_true, p.on_false});
    }
    fold_constants();
    joins_.clear();
    return std::move(out_);
}

// An exit into a constant test goes straight on to where that test leads (a
// constant never holds; a true one has its exits swapped). Exits only lead
// forward, so one backward pass settles chains.
void ProgramBuilder::fold_constants() {
    std::vector<Test>& tests = out_.tests_;
    const auto follow = [&](std::uint32_t target) {
        if (target >= kExitFalse) return target;
        const Test& t = tests[target];
        return t.kind() == TestKind::Const ? t.on_false : target;
    };
    for (std::size_t i = tests.size(); i-- > 0;) {
        tests[i].on_true = follow(tests[i].on_true);
        tests[i].on_false = follow(tests[i].on_false);
    }
}

}  // namespace sablewick::condition
