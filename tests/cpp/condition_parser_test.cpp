#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "sablewick/condition/ast.hpp"
#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/token.hpp"
#include "sablewick/condition/tokenizer.hpp"
#include "sablewick/condition/value_parser.hpp"
#include "sablewick/testing/value.hpp"

namespace {

using sablewick::condition::Token;
using sablewick::condition::ast::AstNode;
using sablewick::condition::ast::ConditionValue;
using sablewick::condition::ast::Operator;
namespace parser = sablewick::condition::parser;
using O = Operator;

constexpr double kInf = std::numeric_limits<double>::infinity();

ConditionValue I(std::int32_t n) { return ConditionValue::Int(n); }
ConditionValue F(double f) { return ConditionValue::Float(f); }
ConditionValue A(std::vector<std::int32_t> a) { return ConditionValue::Array(std::move(a)); }
ConditionValue T(std::string t) { return ConditionValue::Text(std::move(t)); }

sablewick::Result<std::unique_ptr<AstNode>> parse_text(const std::string& text) {
    auto tokens = sablewick::condition::tokenize(text);
    if (!tokens) return std::unexpected(tokens.error());
    return parser::parse_tokens(*tokens);
}

// ---- Leaf step: property, operator and value cut from one word.

struct LeafCase {
    std::string text;
    std::string property;
    Operator op;
    ConditionValue value;
};

class ParseCondition : public ::testing::TestWithParam<LeafCase> {};

TEST_P(ParseCondition, CutsWord) {
    const LeafCase& c = GetParam();
    auto tree = parser::parse_condition(c.text);
    ASSERT_TRUE(tree.has_value()) << tree.error().payload();
    EXPECT_TRUE(**tree == *AstNode::condition(c.property, c.op, c.value)) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseCondition,
    ::testing::Values(LeafCase{"AGE>=18", "AGE", O::GreaterEqual, I(18)},
                      LeafCase{"AGE=>18", "AGE=", O::Greater, I(18)}, LeafCase{"CHR!=0", "CHR", O::NotEqual, I(0)},
                      LeafCase{"X=1>2", "X=1", O::Greater, I(2)}, LeafCase{"A<B=C", "A", O::Less, T("B=C")},
                      LeafCase{"A==5", "A", O::Equal, T("=5")},
                      LeafCase{"TLT?[1001,1002]", "TLT", O::In, A({1001, 1002})},
                      LeafCase{"EVT![10001]", "EVT", O::NotIn, A({10001})}, LeafCase{">5", "", O::Greater, I(5)},
                      LeafCase{"A<=1", "A", O::LessEqual, I(1)}, LeafCase{"A<1", "A", O::Less, I(1)},
                      LeafCase{"A!5", "A", O::NotIn, I(5)}, LeafCase{"A?!5", "A", O::In, T("!5")},
                      LeafCase{"A!?5", "A!", O::In, I(5)}, LeafCase{"A!=?5", "A", O::NotEqual, T("?5")},
                      LeafCase{"A>B>=C", "A>B", O::GreaterEqual, T("C")},
                      LeafCase{"AGE\t>\t10", "AGE", O::Greater, I(10)},
                      LeafCase{"TLT?[1,\t2]", "TLT", O::In, A({1, 2})}, LeafCase{"CHR>", "CHR", O::Greater, T("")},
                      LeafCase{"\xC2\xA0"
                               "AGE\xE3\x80\x80>\xE2\x80\x8A"
                               "7\xC2\x85",
                               "AGE", O::Greater, I(7)}));

// ---- Value kinds.

struct ValueCase {
    std::string text;
    ConditionValue want;
};

class ParseValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ParseValue, Classifies) {
    const ValueCase& c = GetParam();
    auto value = sablewick::condition::parse_value(c.text);
    ASSERT_TRUE(value.has_value()) << value.error().payload();
    EXPECT_TRUE(*value == c.want) << c.text;
    if (c.want.kind() == ConditionValue::Kind::Float) {
        EXPECT_EQ(std::signbit(value->as_float()), std::signbit(c.want.as_float())) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseValue,
    ::testing::Values(
        ValueCase{"10", I(10)}, ValueCase{"+10", I(10)}, ValueCase{"010", I(10)}, ValueCase{"-3", I(-3)},
        ValueCase{"-2147483648", I(-2147483648)}, ValueCase{"2147483647", I(2147483647)}, ValueCase{"-0", I(0)},
        ValueCase{"0000000000000000000000000000000000007", I(7)}, ValueCase{"2147483648", F(2147483648.0)},
        ValueCase{"-2147483649", F(-2147483649.0)}, ValueCase{"99999999999999999999", F(1e20)},
        ValueCase{"1.0", F(1.0)}, ValueCase{"1.5", F(1.5)}, ValueCase{".5", F(0.5)}, ValueCase{"5.", F(5.0)},
        ValueCase{"-.5", F(-0.5)}, ValueCase{"+1.25", F(1.25)}, ValueCase{"-0.0", F(-0.0)}, ValueCase{"1e3", F(1000.0)},
        ValueCase{"1E+3", F(1000.0)}, ValueCase{"25e-1", F(2.5)}, ValueCase{"0.1", F(0.1)}, ValueCase{"1e400", F(kInf)},
        ValueCase{"-1e400", F(-kInf)}, ValueCase{"1e-400", F(0.0)}, ValueCase{"-1e-400", F(-0.0)},
        ValueCase{"1e99999999999999999999999", F(kInf)}, ValueCase{"0e99999999999999999999", F(0.0)},
        ValueCase{"1e-310", F(1e-310)}, ValueCase{"2.4703282292062328e-324", F(4.9406564584124654e-324)},
        ValueCase{"inf", F(kInf)}, ValueCase{"-Infinity", F(-kInf)}, ValueCase{"+INF", F(kInf)},
        ValueCase{"iNfInItY", F(kInf)}, ValueCase{"NaN", F(std::numeric_limits<double>::quiet_NaN())},
        ValueCase{"-nan", F(-std::numeric_limits<double>::quiet_NaN())}, ValueCase{"abc", T("abc")},
        ValueCase{"0x10", T("0x10")}, ValueCase{"1e", T("1e")}, ValueCase{"+", T("+")}, ValueCase{"-", T("-")},
        ValueCase{"", T("")}, ValueCase{".", T(".")}, ValueCase{"1.2.3", T("1.2.3")}, ValueCase{"1e+", T("1e+")},
        ValueCase{"1_000", T("1_000")}, ValueCase{"infin", T("infin")}, ValueCase{"nan(1)", T("nan(1)")},
        ValueCase{"--1", T("--1")}, ValueCase{"1 0", T("1 0")}, ValueCase{"e5", T("e5")},
        ValueCase{"1e5.5", T("1e5.5")}, ValueCase{"１", T("１")}, ValueCase{"[1,2,3]", A({1, 2, 3})},
        ValueCase{"[-1,+2]", A({-1, 2})}, ValueCase{"[1, 2 ,2]", A({1, 2, 2})}, ValueCase{"[1,2", T("[1,2")},
        ValueCase{"1]", T("1]")}, ValueCase{" 5 ", I(5)}));

class ParseValueFails : public ::testing::TestWithParam<std::string> {};

TEST_P(ParseValueFails, InvalidArray) {
    auto value = sablewick::condition::parse_value(GetParam());
    ASSERT_FALSE(value.has_value());
    EXPECT_EQ(value.error().kind(), sablewick::SablewickError::Kind::InvalidCondition);
    EXPECT_EQ(value.error().payload(), "Invalid array: " + GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, ParseValueFails,
                         ::testing::Values("[]", "[1,]", "[,1]", "[1,x]", "[[1]]", "[2147483648]", "[1.5]", "[ ]",
                                           "[1,,2]", "[0x1]"));

// ---- Grouping and precedence: compare whole tree shapes.

std::unique_ptr<AstNode> c(const std::string& property, std::int32_t n = 10) {
    return AstNode::condition(property, O::Greater, I(n));
}
std::unique_ptr<AstNode> Or(std::unique_ptr<AstNode> l, std::unique_ptr<AstNode> r) {
    return AstNode::or_(std::move(l), std::move(r));
}
std::unique_ptr<AstNode> And(std::unique_ptr<AstNode> l, std::unique_ptr<AstNode> r) {
    return AstNode::and_(std::move(l), std::move(r));
}

TEST(ParseTokens, PrecedenceAndGrouping) {
    struct Case {
        std::string text;
        std::unique_ptr<AstNode> want;
    };
    std::vector<Case> cases;
    cases.push_back({"AGE>10|CHR>5&INT>5", Or(c("AGE"), And(c("CHR", 5), c("INT", 5)))});
    cases.push_back({"AGE>10&CHR>5|INT>5", Or(And(c("AGE"), c("CHR", 5)), c("INT", 5))});
    cases.push_back({"a>10|b>10|c>10", Or(Or(c("a"), c("b")), c("c"))});
    cases.push_back({"a>10&b>10&c>10", And(And(c("a"), c("b")), c("c"))});
    cases.push_back({"(a>10|b>10)&c>10", And(Or(c("a"), c("b")), c("c"))});
    cases.push_back({"a>10&(b>10|c>10)", And(c("a"), Or(c("b"), c("c")))});
    cases.push_back({"a>10&b>10|c>10&d>10", Or(And(c("a"), c("b")), And(c("c"), c("d")))});
    cases.push_back({"((AGE>10))", c("AGE")});
    cases.push_back({"((a>10)|(b>10))", Or(c("a"), c("b"))});
    cases.push_back({"(a>10 & (b>10 | (c>10)))", And(c("a"), Or(c("b"), c("c")))});
    cases.push_back({"a>10 | b>10 & (c>10 | d>10) & e>10", Or(c("a"), And(And(c("b"), Or(c("c"), c("d"))), c("e")))});
    for (const Case& k : cases) {
        auto got = parse_text(k.text);
        ASSERT_TRUE(got.has_value()) << k.text << ": " << got.error().payload();
        EXPECT_TRUE(**got == *k.want) << k.text;
    }
}

// ---- Failure messages.

struct FailCase {
    std::string text;
    std::string message;
};

class ParseFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(ParseFailure, ExactMessage) {
    const FailCase& k = GetParam();
    auto got = parse_text(k.text);
    ASSERT_FALSE(got.has_value()) << k.text;
    EXPECT_EQ(got.error().kind(), sablewick::SablewickError::Kind::InvalidCondition);
    EXPECT_EQ(got.error().payload(), k.message) << k.text;
    EXPECT_EQ(got.error().message(), "Invalid condition: " + k.message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseFailure,
    ::testing::Values(
        FailCase{"a>1|", "Empty token list"}, FailCase{"|a>1", "Empty token list"}, FailCase{"&", "Empty token list"},
        FailCase{"()", "Empty token list"}, FailCase{"a>1&&b>1", "Empty token list"},
        FailCase{"CHR>5&&INT>5", "Empty token list"}, FailCase{"((()))", "Empty token list"},
        FailCase{"AGE > 10", "Cannot parse tokens: [Condition(\"AGE\"), Condition(\">\"), Condition(\"10\")]"},
        FailCase{"(a)(b)", "Cannot parse tokens: [Condition(\"a\"), CloseParen, OpenParen, Condition(\"b\")]"},
        FailCase{")(", "Cannot parse tokens: [CloseParen, OpenParen]"},
        FailCase{")AGE>10(", "Cannot parse tokens: [CloseParen, Condition(\"AGE>10\"), OpenParen]"},
        FailCase{"TLT?[1, 2]", "Cannot parse tokens: [Condition(\"TLT?[1,\"), Condition(\"2]\")]"},
        FailCase{"(a>1 b>1)", "Cannot parse tokens: [Condition(\"a>1\"), Condition(\"b>1\")]"},
        FailCase{"AGE", "No operator found in: AGE"}, FailCase{"x>1|AGE", "No operator found in: AGE"},
        FailCase{"TLT?[2147483648]", "Invalid array: [2147483648]"},
        // The left part of a split fails first.
        FailCase{"A|B", "No operator found in: A"},
        FailCase{"a>1 b>1|c", "Cannot parse tokens: [Condition(\"a>1\"), Condition(\"b>1\")]"},
        FailCase{"x?[]&y", "Invalid array: []"}, FailCase{"x>1&y|", "No operator found in: y"},
        FailCase{"|x y", "Empty token list"}));

TEST(ParseTokens, EmptySequenceFails) {
    auto got = parser::parse_tokens({});
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error().payload(), "Empty token list");
}

TEST(ParseTokens, SingleNonConditionTokenFails) {
    const Token cases[] = {Token::and_(), Token::or_(), Token::open_paren(), Token::close_paren()};
    const char* names[] = {"And", "Or", "OpenParen", "CloseParen"};
    for (int i = 0; i < 4; ++i) {
        std::vector<Token> tokens = {cases[i]};
        auto got = parser::parse_tokens(tokens);
        ASSERT_FALSE(got.has_value());
        // A lone "&" or "|" splits into two empty parts instead.
        const std::string want = i < 2 ? "Empty token list" : std::string("Cannot parse tokens: [") + names[i] + "]";
        EXPECT_EQ(got.error().payload(), want);
    }
}

TEST(ParseTokens, ParenthesesDroppedWithoutPairing) {
    // "(" ")" "(" ... ")" at depth 0 around an operator-free body.
    std::vector<Token> tokens = {Token::open_paren(), Token::condition("a>1"), Token::close_paren(),
                                 Token::open_paren(), Token::condition("b>1"), Token::close_paren()};
    auto got = parser::parse_tokens(tokens);
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error().payload(),
              "Cannot parse tokens: [Condition(\"a>1\"), CloseParen, OpenParen, Condition(\"b>1\")]");
}

TEST(ParseTokens, OperatorInsideParenthesesSplitsOnlyAfterDropping) {
    auto got = parse_text("(x>1)|(y>1)&(z>1)");
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(**got == *Or(c("x", 1), And(c("y", 1), c("z", 1))));
}

// ---- Debug form.

TEST(DebugForm, EscapesLikeTheQuotedText) {
    struct Case {
        std::string word;
        std::string want;
    };
    const Case cases[] = {
        {"a\"b", R"(Condition("a\"b"))"},
        {"a\\b", R"(Condition("a\\b"))"},
        {"a\tb\rc\nd", R"(Condition("a\tb\rc\nd"))"},
        {std::string("a\0b", 3), R"(Condition("a\0b"))"},
        {"a\x01"
         "b\x1f",
         R"(Condition("a\u{1}b\u{1f}"))"},
        {"\x7f", R"(Condition("\u{7f}"))"},
        {"\xC2\x85", R"(Condition("\u{85}"))"},
        {"it's", R"(Condition("it's"))"},
        {"\xC3\xA9t\xC3\xA9", "Condition(\"\xC3\xA9t\xC3\xA9\")"},
        {"\xE2\x80\x83", "Condition(\"\xE2\x80\x83\")"},
    };
    for (const Case& k : cases) {
        std::vector<Token> tokens = {Token::condition(k.word)};
        EXPECT_EQ(sablewick::condition::debug_form(tokens), "[" + k.want + "]") << k.word;
    }
    std::vector<Token> all = {Token::condition("x"), Token::and_(), Token::or_(), Token::open_paren(),
                              Token::close_paren()};
    EXPECT_EQ(sablewick::condition::debug_form(all), R"([Condition("x"), And, Or, OpenParen, CloseParen])");
    EXPECT_EQ(sablewick::condition::debug_form({}), "[]");
}

}  // namespace
