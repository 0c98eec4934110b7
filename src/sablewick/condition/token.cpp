#include "sablewick/condition/token.hpp"

#include "sablewick/base/debug_text.hpp"

namespace sablewick::condition {

std::string debug_form(std::span<const Token> tokens) {
    std::string out = "[";
    bool first = true;
    for (const Token& token : tokens) {
        if (!first) out += ", ";
        first = false;
        switch (token.kind) {
            case Token::Kind::Condition:
                out += "Condition(";
                append_debug_quoted(out, token.text);
                out += ')';
                break;
            case Token::Kind::And: out += "And"; break;
            case Token::Kind::Or: out += "Or"; break;
            case Token::Kind::OpenParen: out += "OpenParen"; break;
            case Token::Kind::CloseParen: out += "CloseParen"; break;
        }
    }
    out += ']';
    return out;
}

}  // namespace sablewick::condition
