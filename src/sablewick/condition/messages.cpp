#include "sablewick/condition/messages.hpp"

#include <string>

namespace sablewick::condition::messages {

SablewickError empty_condition() { return SablewickError::invalid_condition("Empty condition"); }

SablewickError unbalanced_parentheses() { return SablewickError::invalid_condition("Unbalanced parentheses"); }

SablewickError empty_token_list() { return SablewickError::invalid_condition("Empty token list"); }

SablewickError cannot_parse(std::span<const Token> tokens) {
    return SablewickError::invalid_condition("Cannot parse tokens: " + debug_form(tokens));
}

SablewickError no_operator(std::string_view word) {
    return SablewickError::invalid_condition("No operator found in: " + std::string(word));
}

SablewickError invalid_array(std::string_view value) {
    return SablewickError::invalid_condition("Invalid array: " + std::string(value));
}

}  // namespace sablewick::condition::messages
