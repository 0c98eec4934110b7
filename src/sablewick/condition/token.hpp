#pragma once
// One lexical unit of a condition text.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace sablewick::condition {

struct Token {
    enum class Kind : std::uint8_t { Condition, And, Or, OpenParen, CloseParen };

    Kind kind = Kind::Condition;
    std::string text;  // Condition only: one word, never empty

    static Token condition(std::string word) { return Token{Kind::Condition, std::move(word)}; }
    static Token and_() { return Token{Kind::And, {}}; }
    static Token or_() { return Token{Kind::Or, {}}; }
    static Token open_paren() { return Token{Kind::OpenParen, {}}; }
    static Token close_paren() { return Token{Kind::CloseParen, {}}; }

    bool operator==(const Token&) const = default;
};

// Debug form of a token sequence, e.g.
// [Condition("AGE"), Condition(">"), Condition("10")], each word quoted by
// append_debug_quoted (debug_text.hpp). A fixed interface text: the
// parser's messages carry it.
std::string debug_form(std::span<const Token> tokens);

}  // namespace sablewick::condition
