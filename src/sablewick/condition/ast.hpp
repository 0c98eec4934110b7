#pragma once
// The syntax tree of a condition. Nodes live on the heap and know their
// parent, so the tree can be walked without a stack; copying, comparing and
// destroying never recurse, whatever the depth.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sablewick::condition::ast {

enum class Operator : std::uint8_t {
    Greater,       // ">"
    Less,          // "<"
    GreaterEqual,  // ">="
    LessEqual,     // "<="
    Equal,         // "="
    NotEqual,      // "!="
    In,            // "?"
    NotIn,         // "!"
};

class ConditionValue {
public:
    enum class Kind : std::uint8_t { Int, Float, Array, Text };

    static ConditionValue Int(std::int32_t n) { return ConditionValue(Storage(std::in_place_index<0>, n)); }
    static ConditionValue Float(double f) { return ConditionValue(Storage(std::in_place_index<1>, f)); }
    static ConditionValue Array(std::vector<std::int32_t> a) {
        return ConditionValue(Storage(std::in_place_index<2>, std::move(a)));
    }
    static ConditionValue Text(std::string t) { return ConditionValue(Storage(std::in_place_index<3>, std::move(t))); }

    Kind kind() const noexcept { return static_cast<Kind>(storage_.index()); }
    std::int32_t as_int() const { return std::get<0>(storage_); }
    double as_float() const { return std::get<1>(storage_); }
    const std::vector<std::int32_t>& as_array() const { return std::get<2>(storage_); }
    const std::string& as_text() const { return std::get<3>(storage_); }

    // Same kind and contents; two NaN floats count as equal so that equal
    // texts give equal trees.
    bool operator==(const ConditionValue& other) const;

private:
    using Storage = std::variant<std::int32_t, double, std::vector<std::int32_t>, std::string>;
    explicit ConditionValue(Storage s) : storage_(std::move(s)) {}
    Storage storage_;
};

class AstNode {
    struct Private {};

public:
    enum class Kind : std::uint8_t { Condition, And, Or };

    static std::unique_ptr<AstNode> condition(std::string property, Operator op, ConditionValue value);
    static std::unique_ptr<AstNode> and_(std::unique_ptr<AstNode> left, std::unique_ptr<AstNode> right);
    static std::unique_ptr<AstNode> or_(std::unique_ptr<AstNode> left, std::unique_ptr<AstNode> right);

    AstNode(Private, Kind kind, std::string property, Operator op, ConditionValue value);
    AstNode(const AstNode&) = delete;
    AstNode& operator=(const AstNode&) = delete;
    ~AstNode();

    // Deep copy: an independent tree equal to this one.
    std::unique_ptr<AstNode> clone() const;

    // Structural equality: variants, property texts, operators and values.
    bool operator==(const AstNode& other) const;

    Kind kind() const noexcept { return kind_; }
    bool is_condition() const noexcept { return kind_ == Kind::Condition; }
    // Condition nodes only.
    const std::string& property() const noexcept { return property_; }
    Operator op() const noexcept { return op_; }
    const ConditionValue& value() const noexcept { return value_; }
    // And / Or nodes only (null for a condition).
    const AstNode* left() const noexcept { return left_.get(); }
    const AstNode* right() const noexcept { return right_.get(); }
    // Null for a root.
    const AstNode* parent() const noexcept { return parent_; }

private:
    static std::unique_ptr<AstNode> branch(Kind kind, std::unique_ptr<AstNode> left, std::unique_ptr<AstNode> right);
    static void release(std::unique_ptr<AstNode> node) noexcept;

    Kind kind_;
    Operator op_;
    AstNode* parent_ = nullptr;
    std::unique_ptr<AstNode> left_;
    std::unique_ptr<AstNode> right_;
    std::string property_;
    ConditionValue value_;
};

}  // namespace sablewick::condition::ast
