// The one-pass parser: parses and compiles a text in a single scan, by
// operator precedence over its words and punctuation ("&" binds tighter than
// "|", both group to the left, parentheses group). On the texts that parse
// it builds the program of exactly the tree the splitting parser
// (parser.hpp) builds.
//
// The splitting parser decides the error messages. When the arrangement of
// words, operators and parentheses is regular, it meets the words in written
// order, so its first failure is that of the first word that does not
// parse, and this parser reports that one itself; on any irregularity it
// gives up, and the splitting parser parses the text or reports it.

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/program.hpp"
#include "sablewick/condition/program_builder.hpp"

namespace sablewick::condition {

namespace {

// The bytes that end a word.
constexpr auto kEndsWord = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '&', '|', '(', ')'}) table[c] = true;
    return table;
}();

}  // namespace

std::optional<Result<CompiledCondition>> CompiledCondition::compile_text(std::string_view text) {
    ProgramBuilder builder;
    // Every leaf but the first follows an operator.
    builder.reserve(1 + static_cast<std::size_t>(
                            std::count_if(text.begin(), text.end(), [](char c) { return c == '&' || c == '|'; })));
    std::optional<SablewickError> word_error;
    std::vector<std::int32_t> ids;
    std::vector<std::uint32_t> operands;
    std::vector<char> operators;  // '(', '&', '|'
    bool expect_operand = true;

    const auto reduce = [&]() {
        const char op = operators.back();
        operators.pop_back();
        const std::uint32_t right = operands.back();
        operands.pop_back();
        // After a word failed, nothing more is built.
        if (!word_error) operands.back() = builder.join(op == '&', operands.back(), right);
    };

    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        switch (c) {
            case ' ': ++i; continue;
            case '(':
                if (!expect_operand) return std::nullopt;
                operators.push_back('(');
                ++i;
                continue;
            case ')':
                if (expect_operand) return std::nullopt;
                while (!operators.empty() && operators.back() != '(') reduce();
                if (operators.empty()) return std::nullopt;
                operators.pop_back();
                ++i;
                continue;
            case '&':
            case '|':
                if (expect_operand) return std::nullopt;
                while (!operators.empty() && (operators.back() == '&' || (c == '|' && operators.back() == '|'))) {
                    reduce();
                }
                operators.push_back(c);
                expect_operand = true;
                ++i;
                continue;
            default: break;
        }
        // A word: up to the next space or punctuation. Bytes of multi-byte
        // UTF-8 sequences are never ASCII, so byte scanning is exact.
        std::size_t end = i + 1;
        while (end < n && !kEndsWord[static_cast<unsigned char>(text[end])]) ++end;
        if (!expect_operand) return std::nullopt;
        expect_operand = false;
        const std::string_view word = text.substr(i, end - i);
        i = end;
        if (word_error) {
            operands.push_back(0);  // only the arrangement matters from here on
            continue;
        }
        parser::LeafSpec spec;
        ids.clear();
        if (const parser::LeafError error = parser::split_leaf(word, spec, ids); error != parser::LeafError::None) {
            word_error = parser::leaf_failure(error, word, spec);
            operands.push_back(0);
            continue;
        }
        operands.push_back(builder.leaf(spec, ids));
    }
    if (expect_operand) return std::nullopt;
    while (!operators.empty()) {
        if (operators.back() == '(') return std::nullopt;
        reduce();
    }
    if (word_error) return std::unexpected(std::move(*word_error));
    return builder.finish(operands.back());
}

}  // namespace sablewick::condition
