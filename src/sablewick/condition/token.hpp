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
// [Condition("AGE"), Condition(">"), Condition("10")]
// Inside the quotes '"' and '\' get a backslash; tab, CR, LF and NUL are
// written \t \r \n \0; other control characters (U+0001..U+001F, U+007F,
// U+0080..U+009F) as \u{hex}; everything else unchanged.
std::string debug_form(std::span<const Token> tokens);

}  // namespace sablewick::condition
