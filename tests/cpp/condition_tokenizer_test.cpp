#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sablewick/condition/token.hpp"
#include "sablewick/condition/tokenizer.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace {

using sablewick::condition::Token;

struct TokenCase {
    std::string text;
    std::vector<Token> want;
};

Token W(std::string w) { return Token::condition(std::move(w)); }
const Token kAnd = Token::and_();
const Token kOr = Token::or_();
const Token kOpen = Token::open_paren();
const Token kClose = Token::close_paren();

class Tokenize : public ::testing::TestWithParam<TokenCase> {};

TEST_P(Tokenize, CutsWords) {
    const TokenCase& c = GetParam();
    auto tokens = sablewick::condition::tokenize(c.text);
    ASSERT_TRUE(tokens.has_value()) << tokens.error().payload();
    EXPECT_EQ(sablewick::condition::debug_form(*tokens), sablewick::condition::debug_form(c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Tokenize,
    ::testing::Values(TokenCase{"AGE>10", {W("AGE>10")}}, TokenCase{"AGE>10 & CHR>5", {W("AGE>10"), kAnd, W("CHR>5")}},
                      TokenCase{"(AGE>10&CHR>5)", {kOpen, W("AGE>10"), kAnd, W("CHR>5"), kClose}},
                      TokenCase{"TLT?[1, 2]", {W("TLT?[1,"), W("2]")}},
                      TokenCase{"AGE > 10", {W("AGE"), W(">"), W("10")}}, TokenCase{"AGE\t>\t10", {W("AGE\t>\t10")}},
                      TokenCase{"a\nb\xC2\xA0"
                                "c",
                                {W("a\nb\xC2\xA0"
                                   "c")}},
                      TokenCase{"a    |   b", {W("a"), kOr, W("b")}}, TokenCase{"a||b", {W("a"), kOr, kOr, W("b")}},
                      TokenCase{")a(", {kClose, W("a"), kOpen}},
                      TokenCase{"x(y)z", {W("x"), kOpen, W("y"), kClose, W("z")}},
                      TokenCase{"\xE4\xB8\xAD>1&\xF0\x9F\x98\x80",
                                {W("\xE4\xB8\xAD>1"), kAnd, W("\xF0\x9F\x98\x80")}}));

class TokenizeUnbalanced : public ::testing::TestWithParam<std::string> {};

TEST_P(TokenizeUnbalanced, Fails) {
    auto tokens = sablewick::condition::tokenize(GetParam());
    ASSERT_FALSE(tokens.has_value());
    EXPECT_EQ(tokens.error().payload(), "Unbalanced parentheses");
}

INSTANTIATE_TEST_SUITE_P(Table, TokenizeUnbalanced,
                         ::testing::Values("(AGE>10", "AGE>10)", "((a)", "(", ")))((", "a)"));

struct TrimCase {
    std::string text;
    std::string want;
};

class Trim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(Trim, RemovesWhiteSpaceAtBothEnds) { EXPECT_EQ(sablewick::utf8::trim(GetParam().text), GetParam().want); }

INSTANTIATE_TEST_SUITE_P(
    Table, Trim,
    ::testing::Values(TrimCase{" \t\n\v\f\ra b\r\n", "a b"},
                      // U+0085, U+00A0, U+1680, U+2000, U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
                      TrimCase{
                          "\xC2\x85\xC2\xA0\xE1\x9A\x80\xE2\x80\x80x\xE2\x80\x8A\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAF"
                          "\xE2\x81\x9F\xE3\x80\x80",
                          "x"},
                      // Not White_Space: U+200B, U+FEFF, U+180E, U+001C, U+00AD.
                      TrimCase{"\xE2\x80\x8Bx\xEF\xBB\xBF", "\xE2\x80\x8Bx\xEF\xBB\xBF"},
                      TrimCase{"\xE1\xA0\x8Ex", "\xE1\xA0\x8Ex"},
                      TrimCase{"\x1C"
                               "x",
                               "\x1C"
                               "x"},
                      TrimCase{"\xC2\xAD", "\xC2\xAD"}, TrimCase{"   ", ""}, TrimCase{"", ""},
                      // Stray bytes count as ordinary characters and are never read past.
                      TrimCase{"\xE3\x80", "\xE3\x80"}, TrimCase{" \x80", "\x80"}, TrimCase{"\xA0 ", "\xA0"},
                      TrimCase{"\x80\x80\x80\x80\x80 ", "\x80\x80\x80\x80\x80"}));

}  // namespace
