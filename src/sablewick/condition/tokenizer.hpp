#pragma once
// Cuts a trimmed condition text into tokens.

#include <string_view>
#include <vector>

#include "sablewick/base/error.hpp"
#include "sablewick/condition/token.hpp"

namespace sablewick::condition {

// Only U+0020 separates words; "&", "|", "(" and ")" are tokens of their
// own; every other character, tabs included, belongs to a word. Fails with
// "Unbalanced parentheses" when the depth is not 0 at the end (it may dip
// below 0 on the way). Linear in the text.
Result<std::vector<Token>> tokenize(std::string_view text);

}  // namespace sablewick::condition
