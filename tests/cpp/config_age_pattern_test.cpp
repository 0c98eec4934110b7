#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sablewick/config/records.hpp"

namespace {

using sablewick::config::default_max_triggers;

struct Case {
    const char* condition;
    int expected;
};

class ConfigAgePattern : public ::testing::TestWithParam<Case> {};

TEST_P(ConfigAgePattern, CountsPiecesOfTheLeftmostMatch) {
    EXPECT_EQ(default_max_triggers(GetParam().condition), GetParam().expected) << GetParam().condition;
}

INSTANTIATE_TEST_SUITE_P(Examples, ConfigAgePattern,
                         ::testing::Values(Case{"AGE?[10,20,30]", 3}, Case{"AGE?[5]", 1}, Case{"AGE?[1,,2]", 3},
                                           Case{"AGE?[,]", 2}, Case{"CHR>5 & AGE?[1,2] | AGE?[3,4,5]", 2},
                                           Case{"HAGE?[1,2]", 2}, Case{"AGE![10,20]", 1}, Case{"AGE?[10, 20]", 1},
                                           Case{"AGE?[]", 1}, Case{"", 1}, Case{"AGE?[1,2", 1},
                                           // A failed candidate does not hide a later match.
                                           Case{"AGE?[1,2 & AGE?[3,4]", 2}, Case{"AGE?[AGE?[1,2,3]", 3},
                                           Case{"AGE?[]AGE?[7,8]", 2}, Case{"age?[1,2]", 1}));

TEST(ConfigAgePatternScale, LongRunsAreLinear) {
    // Many unterminated openings, each followed by a long run.
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "AGE?[" + std::string(10000, ',') + "x";
    text += "AGE?[1,2]";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(default_max_triggers(text), 2);
    EXPECT_EQ(default_max_triggers(std::string(10'000'000, '1')), 1);
    EXPECT_EQ(default_max_triggers("AGE?[" + std::string(10'000'000, ',') + "]"), 10'000'001);
    // Some 30 MB scanned in well under a second; a quadratic scan would take
    // hours, so ten seconds is a tenfold margin that only a blow-up crosses.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
