#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sablewick/base/random.hpp"
#include "sablewick/condition/ast.hpp"
#include "sablewick/condition/bound_program.hpp"
#include "sablewick/testing/evaluator.hpp"
#include "sablewick/condition/table.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/result/records.hpp"

#include <functional>

namespace {

using sablewick::condition::CompiledCondition;
using sablewick::condition::ast::AstNode;
using sablewick::condition::ast::ConditionValue;
using sablewick::condition::ast::Operator;
using sablewick::property::PropertyState;
namespace evaluator = sablewick::condition::evaluator;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A configuration's numbering that knows some of the ids the tests use and
// lacks others (99, 30, 40 among them).
const sablewick::property::IdSpaces& spaces() {
    static const sablewick::property::IdSpaces numbering({20, 1, 10, 7, 2, 3}, {5, 10, 1, 2, 3, 20});
    return numbering;
}

// The compiled form bound to spaces(), run against a copy of the state
// bound to the same numbering, walked and in its table forms (the full one
// walks a program too large for it).
bool bound_answer(const CompiledCondition& compiled, const PropertyState& state) {
    PropertyState bound = state;
    bound.bind_lists(spaces());
    sablewick::condition::TestArena arena;
    arena.tests.resize(3);  // a program placed after others keeps its exits
    const std::uint32_t start = compiled.bind(spaces(), arena);
    const sablewick::condition::Snapshot snapshot(bound);
    const bool walked = start >= sablewick::condition::kExitFalse
                            ? start == sablewick::condition::kExitTrue
                            : sablewick::condition::run(arena.tests.data(), arena.pool.data(), start, snapshot);
    const auto table = sablewick::condition::tabulate(arena, start);
    EXPECT_EQ(walked, sablewick::condition::holds(table, arena, snapshot)) << "walk and table disagree";
    if (const auto small = sablewick::condition::shrink(table)) {
        EXPECT_EQ(walked, sablewick::condition::holds(*small, snapshot)) << "walk and small table disagree";
    }
    // With the age known ahead, as the draw's tables of one age are.
    if (table.walked != sablewick::condition::TableCondition::kWalked) {
        const sablewick::condition::FixedValue age{static_cast<std::uint8_t>(sablewick::property::Code::AGE),
                                                   bound.AGE};
        EXPECT_EQ(walked, sablewick::condition::holds_table(sablewick::condition::fix_value(table, age), snapshot))
            << "walk and table with the age fixed disagree";
    }
    return walked;
}

// The tree walk, the compiled form and the bound form must agree; returns
// their answer.
bool holds(const AstNode& tree, const PropertyState& state) {
    const bool walked = evaluator::check(tree, state);
    const CompiledCondition compiled = CompiledCondition::compile(tree);
    EXPECT_EQ(walked, compiled.evaluate(state)) << "tree walk and compiled form disagree";
    EXPECT_EQ(walked, bound_answer(compiled, state)) << "tree walk and bound form disagree";
    return walked;
}

std::unique_ptr<AstNode> leaf(std::string property, Operator op, ConditionValue value) {
    return AstNode::condition(std::move(property), op, std::move(value));
}

ConditionValue I(std::int32_t n) { return ConditionValue::Int(n); }
ConditionValue F(double f) { return ConditionValue::Float(f); }
ConditionValue A(std::vector<std::int32_t> a) { return ConditionValue::Array(std::move(a)); }
ConditionValue T(std::string t) { return ConditionValue::Text(std::move(t)); }

// CHR 2, TLT {1, 5}, EVT empty.
PropertyState table_state() {
    PropertyState s({1, 5}, {{"CHR", 2}}, nullptr);
    return s;
}

struct LeafCase {
    const char* property;
    Operator op;
    ConditionValue value;
    bool want;
};

class EvaluatorLeaf : public ::testing::TestWithParam<LeafCase> {};

TEST_P(EvaluatorLeaf, ComparisonTable) {
    const LeafCase& c = GetParam();
    EXPECT_EQ(holds(*leaf(c.property, c.op, c.value), table_state()), c.want);
}

using O = Operator;

INSTANTIATE_TEST_SUITE_P(
    ScalarInt, EvaluatorLeaf,
    ::testing::Values(LeafCase{"CHR", O::Greater, I(1), true}, LeafCase{"CHR", O::Greater, I(2), false},
                      LeafCase{"CHR", O::Less, I(3), true}, LeafCase{"CHR", O::Less, I(2), false},
                      LeafCase{"CHR", O::GreaterEqual, I(2), true}, LeafCase{"CHR", O::GreaterEqual, I(3), false},
                      LeafCase{"CHR", O::LessEqual, I(2), true}, LeafCase{"CHR", O::LessEqual, I(1), false},
                      LeafCase{"CHR", O::Equal, I(2), true}, LeafCase{"CHR", O::Equal, I(3), false},
                      LeafCase{"CHR", O::NotEqual, I(3), true}, LeafCase{"CHR", O::NotEqual, I(2), false},
                      LeafCase{"CHR", O::In, I(2), false}, LeafCase{"CHR", O::NotIn, I(2), false},
                      LeafCase{"CHR", O::Greater, I(-2147483648), true}));

INSTANTIATE_TEST_SUITE_P(
    ScalarFloat, EvaluatorLeaf,
    ::testing::Values(LeafCase{"CHR", O::Greater, F(1.5), true}, LeafCase{"CHR", O::Greater, F(2.5), false},
                      LeafCase{"CHR", O::Less, F(2.5), true}, LeafCase{"CHR", O::Less, F(1.5), false},
                      LeafCase{"CHR", O::GreaterEqual, F(2.0), true}, LeafCase{"CHR", O::LessEqual, F(2.0), true},
                      LeafCase{"CHR", O::LessEqual, F(1.5), false}, LeafCase{"CHR", O::Equal, F(2.0), false},
                      LeafCase{"CHR", O::NotEqual, F(2.0), false}, LeafCase{"CHR", O::NotEqual, F(3.0), false},
                      LeafCase{"CHR", O::In, F(2.0), false}, LeafCase{"CHR", O::NotIn, F(2.0), false},
                      LeafCase{"CHR", O::Greater, F(kNaN), false}, LeafCase{"CHR", O::Less, F(kNaN), false},
                      LeafCase{"CHR", O::GreaterEqual, F(kNaN), false}, LeafCase{"CHR", O::LessEqual, F(kNaN), false},
                      LeafCase{"CHR", O::Less, F(kInf), true}, LeafCase{"CHR", O::Greater, F(-kInf), true},
                      LeafCase{"CHR", O::Greater, F(kInf), false}));

INSTANTIATE_TEST_SUITE_P(
    ScalarArray, EvaluatorLeaf,
    ::testing::Values(LeafCase{"CHR", O::In, A({1, 2, 3}), true}, LeafCase{"CHR", O::In, A({4}), false},
                      LeafCase{"CHR", O::NotIn, A({1, 2, 3}), false}, LeafCase{"CHR", O::NotIn, A({4}), true},
                      LeafCase{"CHR", O::Greater, A({1}), false}, LeafCase{"CHR", O::Less, A({5}), false},
                      LeafCase{"CHR", O::GreaterEqual, A({2}), false}, LeafCase{"CHR", O::LessEqual, A({2}), false},
                      LeafCase{"CHR", O::Equal, A({2}), false}, LeafCase{"CHR", O::NotEqual, A({2}), false}));

INSTANTIATE_TEST_SUITE_P(
    Text, EvaluatorLeaf,
    ::testing::Values(LeafCase{"CHR", O::Greater, T("abc"), false}, LeafCase{"CHR", O::Less, T("abc"), false},
                      LeafCase{"CHR", O::GreaterEqual, T("abc"), false}, LeafCase{"CHR", O::LessEqual, T(""), false},
                      LeafCase{"CHR", O::Equal, T("abc"), false}, LeafCase{"CHR", O::NotEqual, T("abc"), false},
                      LeafCase{"CHR", O::In, T("[1,2"), false}, LeafCase{"CHR", O::NotIn, T("abc"), false},
                      LeafCase{"TLT", O::NotEqual, T("abc"), false}, LeafCase{"EVT", O::NotIn, T("x"), false}));

INSTANTIATE_TEST_SUITE_P(
    ListInt, EvaluatorLeaf,
    ::testing::Values(LeafCase{"TLT", O::Equal, I(5), true}, LeafCase{"TLT", O::Equal, I(2), false},
                      LeafCase{"TLT", O::NotEqual, I(2), true}, LeafCase{"TLT", O::NotEqual, I(5), false},
                      LeafCase{"TLT", O::Greater, I(0), false}, LeafCase{"TLT", O::Less, I(9), false},
                      LeafCase{"TLT", O::GreaterEqual, I(1), false}, LeafCase{"TLT", O::LessEqual, I(9), false},
                      LeafCase{"TLT", O::In, I(1), false}, LeafCase{"TLT", O::NotIn, I(1), false},
                      LeafCase{"EVT", O::Equal, I(10), false}, LeafCase{"EVT", O::NotEqual, I(10), true}));

INSTANTIATE_TEST_SUITE_P(
    ListArray, EvaluatorLeaf,
    ::testing::Values(LeafCase{"TLT", O::In, A({5, 9}), true}, LeafCase{"TLT", O::In, A({2, 3}), false},
                      LeafCase{"TLT", O::NotIn, A({2, 3}), true}, LeafCase{"TLT", O::NotIn, A({9, 5}), false},
                      LeafCase{"TLT", O::Equal, A({1}), false}, LeafCase{"TLT", O::NotEqual, A({1}), false},
                      LeafCase{"TLT", O::Greater, A({0}), false}, LeafCase{"TLT", O::LessEqual, A({9}), false},
                      LeafCase{"EVT", O::In, A({1}), false}, LeafCase{"EVT", O::NotIn, A({1}), true}));

INSTANTIATE_TEST_SUITE_P(ListFloat, EvaluatorLeaf,
                         ::testing::Values(LeafCase{"TLT", O::Greater, F(0.5), false},
                                           LeafCase{"TLT", O::Less, F(9.0), false},
                                           LeafCase{"TLT", O::Equal, F(1.0), false},
                                           LeafCase{"TLT", O::NotEqual, F(7.0), false},
                                           LeafCase{"TLT", O::NotIn, F(7.0), false}));

// Names outside the code table read scalar 0; matching is exact.
INSTANTIATE_TEST_SUITE_P(
    UnknownReadsZero, EvaluatorLeaf,
    ::testing::Values(LeafCase{"RDM", O::Equal, I(0), true}, LeafCase{"RDM", O::Greater, I(0), false},
                      LeafCase{"XYZ", O::Less, I(1), true}, LeafCase{"chr", O::Equal, I(0), true},
                      LeafCase{"CHR ", O::Equal, I(0), true}, LeafCase{"", O::Equal, I(0), true},
                      LeafCase{"LLIF", O::Equal, I(0), true}, LeafCase{"HLIF", O::Equal, I(0), true},
                      LeafCase{"tlt", O::In, A({1}), false}, LeafCase{"tlt", O::NotIn, A({1}), true},
                      LeafCase{"CHRX", O::In, A({0}), true}));

TEST(Evaluator, FloatComparesTheExactValue) {
    PropertyState s({}, {{"CHR", 2147483647}}, nullptr);
    EXPECT_TRUE(holds(*leaf("CHR", O::Less, F(2147483647.5)), s));
    EXPECT_FALSE(holds(*leaf("CHR", O::GreaterEqual, F(2147483647.5)), s));
    EXPECT_TRUE(holds(*leaf("CHR", O::GreaterEqual, F(2147483647.0)), s));
}

TEST(Evaluator, EveryScalarCodeReadsItsField) {
    sablewick::simulator::PlayHistory history{{}, {}, 7, 8};
    PropertyState s({}, {{"CHR", 1}, {"INT", 2}, {"STR", 3}, {"MNY", 4}}, &history);
    s.SPR = 5;
    s.LIF = 6;
    s.AGE = 9;
    s.LAGE = 4;
    s.LCHR = -1;
    s.LINT = 100;
    s.LSTR = 0;
    s.LMNY = 3;
    s.LSPR = -7;
    s.HAGE = 20;
    s.HCHR = 0;
    s.HINT = 12;
    s.HSTR = 13;
    s.HMNY = 1;
    s.HSPR = 15;
    const std::pair<const char*, std::int32_t> reads[] = {
        {"AGE", 9},   {"CHR", 1},
        {"INT", 2},   {"STR", 3},
        {"MNY", 4},   {"SPR", 5},
        {"LIF", 6},   {"TMS", 7},
        {"CACHV", 8}, {"LAGE", 4},
        {"LCHR", -1}, {"LINT", 2},
        {"LSTR", 0},  {"LMNY", 3},
        {"LSPR", -7}, {"HAGE", 20},
        {"HCHR", 1},  {"HINT", 12},
        {"HSTR", 13}, {"HMNY", 4},
        {"HSPR", 15}, {"SUM", 2 * (1 + 12 + 13 + 4 + 15) + 10},
    };
    for (auto [code, want] : reads) {
        EXPECT_TRUE(holds(*leaf(code, O::Equal, I(want)), s)) << code;
        EXPECT_FALSE(holds(*leaf(code, O::NotEqual, I(want)), s)) << code;
    }
}

TEST(Evaluator, EveryListCodeReadsItsList) {
    sablewick::simulator::PlayHistory history{{30}, {40}, 0, 0};
    PropertyState s({10}, {}, &history);
    s.add_event(20);
    const std::pair<const char*, std::int32_t> reads[] = {{"TLT", 10}, {"EVT", 20}, {"AEVT", 30}, {"ATLT", 40}};
    for (auto [code, id] : reads) {
        for (std::int32_t other : {10, 20, 30, 40}) {
            EXPECT_EQ(holds(*leaf(code, O::Equal, I(other)), s), other == id) << code << " " << other;
            EXPECT_EQ(holds(*leaf(code, O::In, A({other, 99})), s), other == id) << code << " " << other;
        }
    }
}

// Lists holding thousands of ids the numbering lacks, the extremes and
// repeats among them, beside a known one (10): a list test answers for
// exactly the ids held, whichever the evaluator.
TEST(Evaluator, ListsHoldingManyUnknownIds) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    std::vector<std::int32_t> held = {kMin, 0, kMax, -1, kMin, 10};
    for (std::int32_t k = 0; k < 5000; ++k) held.push_back(100000 + 7 * k);
    held.push_back(100000);
    sablewick::simulator::PlayHistory history{held, held, 0, 0};
    const PropertyState s(held, {}, &history);
    struct Probe {
        std::vector<std::int32_t> ids;
        bool held;
    };
    const Probe probes[] = {
        {{kMin}, true},
        {{kMax}, true},
        {{0}, true},
        {{-1}, true},
        {{100000 + 7 * 4999}, true},
        {{10}, true},
        {{kMin + 1}, false},
        {{100001}, false},
        {{1}, false},  // known, not held
        {{-2, 99, 100001}, false},
        {{-2, 100000 + 7 * 2500}, true},
        {{1, kMin}, true},  // a known id not held beside an unknown one held
        {{1, 100001}, false},
        {{1, 10}, true},
    };
    for (const char* code : {"TLT", "AEVT", "ATLT"}) {
        for (const auto& [ids, want] : probes) {
            const std::string text = std::string(code) + " " + std::to_string(ids.front());
            EXPECT_EQ(holds(*leaf(code, O::In, A(ids)), s), want) << text;
            EXPECT_EQ(holds(*leaf(code, O::NotIn, A(ids)), s), !want) << text;
            if (ids.size() == 1) {
                EXPECT_EQ(holds(*leaf(code, O::Equal, I(ids.front())), s), want) << text;
                EXPECT_EQ(holds(*leaf(code, O::NotEqual, I(ids.front())), s), !want) << text;
            }
        }
    }
}

TEST(Evaluator, EffectiveMinimaAndMaxima) {
    PropertyState rising({}, {{"CHR", 12}}, nullptr);
    EXPECT_TRUE(holds(*leaf("HCHR", O::Greater, I(10)), rising));
    PropertyState s({}, {{"CHR", 3}}, nullptr);
    s.add_value(sablewick::property::Code::CHR, -4);
    s.add_value(sablewick::property::Code::CHR, 5);
    EXPECT_TRUE(holds(*leaf("LCHR", O::Less, I(0)), s));
    EXPECT_TRUE(holds(*leaf("HCHR", O::Equal, I(4)), s));
}

TEST(Evaluator, SummaryScoreExample) {
    PropertyState s({}, {{"CHR", 5}, {"INT", 5}, {"STR", 5}, {"MNY", 5}}, nullptr);
    for (int i = 0; i < 81; ++i) s.age_step();
    ASSERT_EQ(s.AGE, 80);
    EXPECT_TRUE(holds(*leaf("SUM", O::GreaterEqual, I(90)), s));
    EXPECT_FALSE(holds(*leaf("SUM", O::Greater, I(90)), s));
}

TEST(Evaluator, AgeThreshold) {
    PropertyState s({}, {}, nullptr);
    auto tree = leaf("AGE", O::GreaterEqual, I(18));
    EXPECT_FALSE(holds(*tree, s));
    s.AGE = 18;
    EXPECT_TRUE(holds(*tree, s));
}

// T holds, F fails (CHR is 2); their constant twins read a property outside
// the table (always 0), which compiling settles ahead of time.
std::unique_ptr<AstNode> t() { return leaf("CHR", O::Equal, I(2)); }
std::unique_ptr<AstNode> f() { return leaf("CHR", O::Equal, I(3)); }
std::unique_ptr<AstNode> always() { return leaf("XYZ", O::Equal, I(0)); }
std::unique_ptr<AstNode> never() { return leaf("XYZ", O::Equal, I(1)); }

TEST(Evaluator, AndOrTruthTable) {
    const PropertyState s = table_state();
    EXPECT_TRUE(holds(*AstNode::and_(t(), t()), s));
    EXPECT_FALSE(holds(*AstNode::and_(t(), f()), s));
    EXPECT_FALSE(holds(*AstNode::and_(f(), t()), s));
    EXPECT_FALSE(holds(*AstNode::and_(f(), f()), s));
    EXPECT_TRUE(holds(*AstNode::or_(t(), f()), s));
    EXPECT_TRUE(holds(*AstNode::or_(f(), t()), s));
    EXPECT_FALSE(holds(*AstNode::or_(f(), f()), s));
    // Mixed nesting on both sides.
    EXPECT_TRUE(holds(*AstNode::and_(AstNode::or_(f(), t()), AstNode::or_(t(), f())), s));
    EXPECT_FALSE(holds(*AstNode::or_(AstNode::and_(t(), f()), AstNode::and_(f(), t())), s));
    EXPECT_TRUE(holds(*AstNode::or_(AstNode::and_(t(), f()), AstNode::and_(t(), AstNode::or_(f(), t()))), s));
    EXPECT_FALSE(holds(*AstNode::and_(AstNode::or_(f(), AstNode::and_(t(), t())), AstNode::and_(t(), f())), s));
}

// Every tree shape of up to four leaves, every assignment of truths, each
// leaf read from the state or constant: the compiled exits must agree with
// the tree walk.
TEST(Evaluator, CompiledFormAgreesOnAllSmallShapes) {
    const PropertyState s = table_state();
    // Build all trees over n leaves whose kinds come from two bits each.
    std::function<std::vector<std::unique_ptr<AstNode>>(int, int, unsigned)> build;
    build = [&](int lo, int hi, unsigned bits) {
        std::vector<std::unique_ptr<AstNode>> out;
        if (hi - lo == 1) {
            switch ((bits >> (2 * lo)) & 3u) {
                case 0: out.push_back(f()); break;
                case 1: out.push_back(t()); break;
                case 2: out.push_back(never()); break;
                default: out.push_back(always()); break;
            }
            return out;
        }
        for (int mid = lo + 1; mid < hi; ++mid) {
            auto lefts = build(lo, mid, bits);
            auto rights = build(mid, hi, bits);
            for (auto& l : lefts) {
                for (auto& r : rights) {
                    out.push_back(AstNode::and_(l->clone(), r->clone()));
                    out.push_back(AstNode::or_(l->clone(), r->clone()));
                }
            }
        }
        return out;
    };
    int trees = 0;
    for (int n = 1; n <= 4; ++n) {
        for (unsigned bits = 0; bits < (1u << (2 * n)); ++bits) {
            for (auto& tree : build(0, n, bits)) {
                holds(*tree, s);
                ++trees;
            }
        }
    }
    EXPECT_GT(trees, 100);
}

TEST(AstNode, CloneIsDeepAndIndependent) {
    const PropertyState s = table_state();
    auto original = AstNode::or_(AstNode::and_(leaf("TLT", O::In, A({5})), leaf("CHR", O::Greater, F(1.5))),
                                 leaf("X", O::Equal, T("abc")));
    auto copy = original->clone();
    EXPECT_TRUE(*copy == *original);
    EXPECT_EQ(copy->left()->parent(), copy.get());
    EXPECT_NE(copy->left(), original->left());
    const bool before = holds(*original, s);
    original.reset();
    EXPECT_EQ(holds(*copy, s), before);
    EXPECT_EQ(copy->left()->left()->value().as_array(), (std::vector<std::int32_t>{5}));
    EXPECT_EQ(copy->right()->value().as_text(), "abc");
}

TEST(AstNode, EqualityComparesEverything) {
    EXPECT_TRUE(*leaf("A", O::Equal, F(kNaN)) == *leaf("A", O::Equal, F(kNaN)));
    EXPECT_FALSE(*leaf("A", O::Equal, I(1)) == *leaf("A", O::Equal, F(1.0)));
    EXPECT_FALSE(*leaf("A", O::Equal, I(1)) == *leaf("A", O::NotEqual, I(1)));
    EXPECT_FALSE(*leaf("A", O::Equal, I(1)) == *leaf("B", O::Equal, I(1)));
    EXPECT_FALSE(*AstNode::and_(t(), f()) == *AstNode::or_(t(), f()));
    EXPECT_FALSE(*AstNode::and_(t(), f()) == *AstNode::and_(f(), t()));
}

// 200,000 levels each way: walking, compiling, copying, comparing and
// destroying must not recurse.
TEST(AstNode, DeepTreesNeedNoStack) {
    const PropertyState s = table_state();
    constexpr int kDepth = 200000;
    auto left_deep = f();
    auto right_deep = f();
    for (int i = 0; i < kDepth; ++i) {
        left_deep = AstNode::or_(std::move(left_deep), f());
        right_deep = AstNode::and_(t(), std::move(right_deep));
    }
    EXPECT_FALSE(holds(*left_deep, s));
    EXPECT_FALSE(holds(*right_deep, s));
    auto copy = left_deep->clone();
    EXPECT_TRUE(*copy == *left_deep);
    auto last_true = AstNode::or_(std::move(left_deep), t());
    EXPECT_TRUE(holds(*last_true, s));
    last_true.reset();
    right_deep.reset();
    copy.reset();
}

}  // namespace
