#pragma once
// Turns the tokens of one condition text into a tree: the parser that
// decides the error messages. The one-pass parser (one_pass_parser.cpp)
// compiles the texts whose words, operators and parentheses are arranged
// regularly and gives up on the others, which this one then parses or
// reports.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "sablewick/base/error.hpp"
#include "sablewick/condition/ast.hpp"
#include "sablewick/condition/token.hpp"
#include "sablewick/condition/value_parser.hpp"

namespace sablewick::condition::parser {

// Splits at the last "|" at depth 0, else at the last "&" at depth 0 (both
// group to the left, "|" binds more loosely); a single Condition token is a
// leaf; otherwise a first "(" and a last ")" are dropped, unpaired or not.
// The first failure met, left part before right part, is returned.
//
// Works with an explicit stack and answers "last split at depth 0 in this
// slice" by binary search, so long chains and deep nesting cost O(n log n)
// and never recurse.
Result<std::unique_ptr<ast::AstNode>> parse_tokens(std::span<const Token> tokens);

// One word: the first sign of >= <= != > < = ? ! (in that order) that occurs
// at all, at its first occurrence; property and value are trimmed.
Result<std::unique_ptr<ast::AstNode>> parse_condition(std::string_view text);

// The same split without building a node: views into `text`, an Array's ids
// appended to `ids`.
struct LeafSpec {
    std::string_view property;
    ast::Operator op = ast::Operator::Greater;
    ValueSpec value;
};
enum class LeafError : std::uint8_t { None, NoOperator, InvalidArray };
LeafError split_leaf(std::string_view text, LeafSpec& out, std::vector<std::int32_t>& ids);

// The failure split_leaf reported for `word` (not None), as both parsers
// give it.
SablewickError leaf_failure(LeafError error, std::string_view word, const LeafSpec& spec);

}  // namespace sablewick::condition::parser
