#include "sablewick/condition/ast.hpp"

#include <cmath>

namespace sablewick::condition::ast {

bool ConditionValue::operator==(const ConditionValue& other) const {
    if (storage_.index() != other.storage_.index()) return false;
    if (kind() == Kind::Float) {
        const double a = as_float(), b = other.as_float();
        return a == b || (std::isnan(a) && std::isnan(b));
    }
    return storage_ == other.storage_;
}

AstNode::AstNode(Private, Kind kind, std::string property, Operator op, ConditionValue value)
    : kind_(kind), op_(op), property_(std::move(property)), value_(std::move(value)) {}

std::unique_ptr<AstNode> AstNode::condition(std::string property, Operator op, ConditionValue value) {
    return std::make_unique<AstNode>(Private{}, Kind::Condition, std::move(property), op, std::move(value));
}

std::unique_ptr<AstNode> AstNode::branch(Kind kind, std::unique_ptr<AstNode> left, std::unique_ptr<AstNode> right) {
    auto node = std::make_unique<AstNode>(Private{}, kind, std::string(), Operator::Greater, ConditionValue::Int(0));
    left->parent_ = node.get();
    right->parent_ = node.get();
    node->left_ = std::move(left);
    node->right_ = std::move(right);
    return node;
}

std::unique_ptr<AstNode> AstNode::and_(std::unique_ptr<AstNode> left, std::unique_ptr<AstNode> right) {
    return branch(Kind::And, std::move(left), std::move(right));
}

std::unique_ptr<AstNode> AstNode::or_(std::unique_ptr<AstNode> left, std::unique_ptr<AstNode> right) {
    return branch(Kind::Or, std::move(left), std::move(right));
}

// Destroys a subtree by right rotations: every node is freed once it has no
// left child, so no destructor ever descends.
void AstNode::release(std::unique_ptr<AstNode> cur) noexcept {
    while (cur) {
        if (cur->left_) {
            std::unique_ptr<AstNode> left = std::move(cur->left_);
            cur->left_ = std::move(left->right_);
            left->right_ = std::move(cur);
            cur = std::move(left);
        } else {
            std::unique_ptr<AstNode> next = std::move(cur->right_);
            cur.reset();
            cur = std::move(next);
        }
    }
}

AstNode::~AstNode() {
    if (left_) release(std::move(left_));
    if (right_) release(std::move(right_));
}

std::unique_ptr<AstNode> AstNode::clone() const {
    // Pre-order with an explicit stack; each entry fills one child slot.
    struct Item {
        const AstNode* source;
        AstNode* parent;
        std::unique_ptr<AstNode>* slot;
    };
    std::unique_ptr<AstNode> root;
    std::vector<Item> stack;
    stack.push_back({this, nullptr, &root});
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        const AstNode& s = *item.source;
        *item.slot = std::make_unique<AstNode>(Private{}, s.kind_, s.property_, s.op_, s.value_);
        AstNode* copy = item.slot->get();
        copy->parent_ = item.parent;
        if (!s.is_condition()) {
            stack.push_back({s.right_.get(), copy, &copy->right_});
            stack.push_back({s.left_.get(), copy, &copy->left_});
        }
    }
    return root;
}

bool AstNode::operator==(const AstNode& other) const {
    std::vector<std::pair<const AstNode*, const AstNode*>> stack;
    stack.emplace_back(this, &other);
    while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        if (a->kind_ != b->kind_) return false;
        if (a->is_condition()) {
            if (a->property_ != b->property_ || a->op_ != b->op_ || !(a->value_ == b->value_)) return false;
        } else {
            stack.emplace_back(a->right_.get(), b->right_.get());
            stack.emplace_back(a->left_.get(), b->left_.get());
        }
    }
    return true;
}

}  // namespace sablewick::condition::ast
