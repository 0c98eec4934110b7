#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/testing/condition_checks.hpp"

namespace {

using sablewick::condition::ConditionText;
using sablewick::condition::Outcome;
using sablewick::property::PropertyState;
namespace cache = sablewick::condition::cache;

// A guard against quadratic work, not a timing: a microsecond a byte, at
// least a second. Every case takes a tenth of that or less (100,000-term
// texts some 30 ms against a second, 10 MB texts some 0.4 s against ten),
// while quadratic work on these sizes would take minutes to hours.
// Instrumented builds (SABLEWICK_SANITIZED set) run several times slower
// and get six times as long.
std::chrono::milliseconds budget_for(std::size_t bytes) {
    const auto plain = std::max<std::size_t>(1000, bytes / 1000);
    return std::chrono::milliseconds(plain * (std::getenv("SABLEWICK_SANITIZED") ? 6 : 1));
}

PropertyState state() {
    PropertyState s({7}, {{"CHR", 3}}, nullptr);
    s.AGE = 20;
    return s;
}

std::string repeat(const std::string& piece, std::size_t times, const std::string& separator = "") {
    std::string out;
    out.reserve((piece.size() + separator.size()) * times);
    for (std::size_t i = 0; i < times; ++i) {
        if (i > 0) out += separator;
        out += piece;
    }
    return out;
}

struct Adversarial {
    const char* name;
    std::function<std::string()> make;
    // Expected answer: "true", "false", or the failure message's start.
    std::string want;
};

class AdversarialCondition : public ::testing::TestWithParam<Adversarial> {};

// First check (tokenize, parse, compile, store, evaluate), a cache hit and a
// record check, all within the budget.
TEST_P(AdversarialCondition, FinishesWithinBudget) {
    const Adversarial& c = GetParam();
    const std::string text = c.make();
    const PropertyState s = state();
    const auto start = std::chrono::steady_clock::now();
    auto first = cache::check_condition(text, s);
    auto second = cache::check_condition(text, s);
    ConditionText record(text);
    const Outcome outcome = check(record, s);
    const Outcome again = check(record, s);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, budget_for(text.size())) << c.name << ": "
                                << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms";
    if (c.want == "true" || c.want == "false") {
        ASSERT_TRUE(first.has_value()) << first.error().payload().substr(0, 200);
        EXPECT_EQ(*first, c.want == "true");
        EXPECT_EQ(second, first);
        EXPECT_EQ(outcome, *first ? Outcome::True : Outcome::False);
    } else {
        ASSERT_FALSE(first.has_value());
        EXPECT_EQ(first.error().payload().substr(0, c.want.size()), c.want);
        EXPECT_EQ(second, first);
        EXPECT_EQ(outcome, Outcome::Invalid);
    }
    EXPECT_EQ(again, outcome);
}

constexpr std::size_t kTerms = 100000;
constexpr std::size_t kTenMegabytes = 10 * 1024 * 1024;

INSTANTIATE_TEST_SUITE_P(
    Bounds, AdversarialCondition,
    ::testing::Values(
        Adversarial{"OrChainAllFalse", [] { return repeat("AGE>30", kTerms, "|"); }, "false"},
        Adversarial{"OrChainLastTrue", [] { return repeat("AGE>30", kTerms, "|") + "|CHR=3"; }, "true"},
        Adversarial{"AndChainAllTrue", [] { return repeat("TLT?[7]", kTerms, " & "); }, "true"},
        Adversarial{"MixedChain", [] { return repeat("AGE>30&CHR=3", kTerms / 2, "|"); }, "false"},
        Adversarial{"NestedParentheses", [] { return repeat("(", kTerms) + "AGE>1" + repeat(")", kTerms); }, "true"},
        Adversarial{"NestedGroups", [] { return repeat("(AGE>30|", kTerms) + "CHR=3" + repeat(")", kTerms); }, "true"},
        Adversarial{"NestedEmpty", [] { return repeat("(", kTerms) + repeat(")", kTerms); }, "Empty token list"},
        Adversarial{"DeepUnbalanced", [] { return repeat("(", kTerms) + "AGE>1"; }, "Unbalanced parentheses"},
        Adversarial{"ManyWords", [] { return repeat("AGE>1", kTerms, " "); },
                    "Cannot parse tokens: [Condition(\"AGE>1\"), Condition(\"AGE>1\")"},
        Adversarial{"MismatchedGroups", [] { return repeat("(AGE>1)", kTerms); },
                    "Cannot parse tokens: [Condition(\"AGE>1\"), CloseParen, OpenParen"},
        Adversarial{"InvertedParentheses", [] { return repeat(")(", kTerms); }, "Cannot parse tokens: [CloseParen"},
        Adversarial{"BadTermAtEnd", [] { return repeat("AGE>1", kTerms, "|") + "|AGE"; }, "No operator found in: AGE"},
        Adversarial{"WordWithoutOperator", [] { return std::string(kTenMegabytes, 'A'); },
                    "No operator found in: AAAA"},
        Adversarial{"HugeNumber", [] { return "AGE<" + std::string(kTenMegabytes, '9'); }, "true"},
        Adversarial{"HugeFraction", [] { return "AGE>0." + std::string(kTenMegabytes, '0') + "1"; }, "true"},
        Adversarial{"HugeArray", [] { return "AGE?[" + repeat("1", kTenMegabytes / 2, ",") + ",20]"; }, "true"},
        Adversarial{"HugeBadArray", [] { return "AGE?[" + repeat("1", kTenMegabytes / 2, ",") + ",x]"; },
                    "Invalid array: [1,1,1"},
        Adversarial{"HugeProperty", [] { return std::string(kTenMegabytes, 'Z') + "=0"; }, "true"},
        Adversarial{"HugeWhiteSpace",
                    [] { return std::string(kTenMegabytes, ' ') + "AGE>1" + std::string(kTenMegabytes, '\t'); },
                    "true"},
        Adversarial{"HugeTextValue", [] { return "AGE=" + std::string(kTenMegabytes, '='); }, "false"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
