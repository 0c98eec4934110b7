#include <gtest/gtest.h>

#include <optional>

#include "sablewick/config/records.hpp"

namespace {

using sablewick::config::classify_opportunity;
using sablewick::config::Opportunity;

struct Case {
    const char* text;
    std::optional<Opportunity> expected;
};

class ConfigOpportunity : public ::testing::TestWithParam<Case> {};

TEST_P(ConfigOpportunity, MatchesTheUpperCaseForm) {
    EXPECT_EQ(classify_opportunity(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Names, ConfigOpportunity,
                         ::testing::Values(Case{"START", Opportunity::Start}, Case{"start", Opportunity::Start},
                                           Case{"TraJectory", Opportunity::Trajectory},
                                           Case{"summary", Opportunity::Summary}, Case{"End", Opportunity::End},
                                           // Code points whose upper case is plain ASCII.
                                           Case{"\u017Ftart", Opportunity::Start},  // long s
                                           Case{"\uFB05art", Opportunity::Start},   // long s t ligature
                                           Case{"\uFB06art", Opportunity::Start},   // st ligature
                                           Case{"\u017Fummary", Opportunity::Summary}, Case{"", std::nullopt},
                                           Case{" END", std::nullopt}, Case{"END ", std::nullopt},
                                           Case{"ENDS", std::nullopt}, Case{"EN", std::nullopt},
                                           Case{"STARTSTART", std::nullopt},
                                           Case{"\u0130ND", std::nullopt},   // dotted capital I is not E
                                           Case{"\u212Aend", std::nullopt},  // Kelvin sign upper-cases to itself
                                           Case{"\u00C9ND", std::nullopt},
                                           Case{"\xFF"
                                                "END",
                                                std::nullopt},
                                           Case{"\xE2\x82", std::nullopt}));

}  // namespace
