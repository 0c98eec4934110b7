#include "sablewick/condition/tokenizer.hpp"

#include <cstdint>

#include "sablewick/condition/messages.hpp"

namespace sablewick::condition {

// UTF-8 never uses bytes below 0x80 inside a multi-byte sequence, so
// scanning bytes finds exactly the ASCII characters the code points would.
Result<std::vector<Token>> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    std::int64_t depth = 0;
    std::size_t word_start = 0;
    const auto end_word = [&](std::size_t at) {
        if (at > word_start) tokens.push_back(Token::condition(std::string(text.substr(word_start, at - word_start))));
        word_start = at + 1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
            case ' ': end_word(i); break;
            case '&':
                end_word(i);
                tokens.push_back(Token::and_());
                break;
            case '|':
                end_word(i);
                tokens.push_back(Token::or_());
                break;
            case '(':
                end_word(i);
                tokens.push_back(Token::open_paren());
                ++depth;
                break;
            case ')':
                end_word(i);
                tokens.push_back(Token::close_paren());
                --depth;
                break;
            default: break;
        }
    }
    end_word(text.size());
    if (depth != 0) return std::unexpected(messages::unbalanced_parentheses());
    return tokens;
}

}  // namespace sablewick::condition
