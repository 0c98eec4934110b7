#pragma once
// The failures of the condition language, one function each. Their texts
// are fixed interface texts: the host reads them after "Invalid condition: ".

#include <span>
#include <string_view>

#include "sablewick/condition/token.hpp"
#include "sablewick/base/error.hpp"

namespace sablewick::condition::messages {

// A text of white space only.
SablewickError empty_condition();
// More "(" than ")" in the text, or fewer.
SablewickError unbalanced_parentheses();
// An operator or parentheses with nothing on one side.
SablewickError empty_token_list();
// Tokens that form no condition, in their debug form.
SablewickError cannot_parse(std::span<const Token> tokens);
// A word without an operator sign.
SablewickError no_operator(std::string_view word);
// A "[...]" value that is not a list of integers (the value trimmed).
SablewickError invalid_array(std::string_view value);

}  // namespace sablewick::condition::messages
