#include <algorithm>

#include "engine_fixture.hpp"
#include "sablewick/achievement/checker.hpp"
#include "sablewick/property/state.hpp"

namespace engine_test {
namespace {

using achievement::AchievedSet;
using achievement::checker::check_achievements;
using config::Opportunity;
using property::PropertyState;

std::vector<std::int32_t> ids(const std::vector<AchievementInfo>& found) {
    std::vector<std::int32_t> out;
    for (const auto& info : found) out.push_back(info.id);
    std::sort(out.begin(), out.end());
    return out;
}

class Achievements : public ::testing::Test {
protected:
    PropertyState state{{}, StringMap<std::int32_t>{{"CHR", 3}}, nullptr};
    IdMap<AchievementConfig> map;
    IdSet achieved;

    std::vector<AchievementInfo> found(Opportunity when) {
        SimulationEngine engine;
        engine.achievements = map;
        const CompiledRules& rules = engine.rules();
        state.bind_lists(rules.spaces);
        const AchievedSet have(rules.achievements, achieved);
        return check_achievements(when, sablewick::condition::Snapshot(state), have, rules.achievements, rules.tables,
                                  rules.arena);
    }
    std::vector<std::int32_t> at(Opportunity when) { return ids(found(when)); }
};

// The record's opportunity text as the loader classifies it, asked at each
// of the four opportunities.
struct OpportunityCase {
    const char* text;
    std::optional<Opportunity> named;
};

class AchievementOpportunity : public Achievements, public ::testing::WithParamInterface<OpportunityCase> {};

TEST_P(AchievementOpportunity, MatchesOnlyTheNamedOpportunity) {
    auto record = make_achievement(1, Opportunity::Start);
    record.opportunity = GetParam().text;
    record.opportunity_kind = config::classify_opportunity(record.opportunity);
    EXPECT_EQ(record.opportunity_kind, GetParam().named);
    map[1] = record;
    for (Opportunity when : {Opportunity::Start, Opportunity::Trajectory, Opportunity::Summary, Opportunity::End}) {
        const bool expected = GetParam().named == when;
        EXPECT_EQ(at(when), expected ? std::vector<std::int32_t>{1} : std::vector<std::int32_t>{})
            << static_cast<int>(when);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AchievementOpportunity,
                         ::testing::Values(OpportunityCase{"START", Opportunity::Start},
                                           OpportunityCase{"start", Opportunity::Start},
                                           OpportunityCase{"trajectory", Opportunity::Trajectory},
                                           OpportunityCase{"Trajectory", Opportunity::Trajectory},
                                           OpportunityCase{"SUMMARY", Opportunity::Summary},
                                           OpportunityCase{"END", Opportunity::End},
                                           OpportunityCase{" SUMMARY", std::nullopt},
                                           OpportunityCase{"START ", std::nullopt}, OpportunityCase{"", std::nullopt}));

TEST_F(Achievements, AchievedTestUsesTheRecordsOwnId) {
    auto record = make_achievement(2, Opportunity::Start);
    map[1] = record;  // stored under key 1, record id 2
    achieved = {1};
    EXPECT_EQ(at(Opportunity::Start), std::vector<std::int32_t>{2});
    achieved = {2};
    EXPECT_EQ(at(Opportunity::Start), std::vector<std::int32_t>{});
}

TEST_F(Achievements, ConditionDecides) {
    map[1] = make_achievement(1, Opportunity::Summary, "");
    map[2] = make_achievement(2, Opportunity::Summary, "CHR>2");
    map[3] = make_achievement(3, Opportunity::Summary, "CHR>5");
    map[4] = make_achievement(4, Opportunity::Summary, "CHR > 2");  // does not parse
    EXPECT_EQ(at(Opportunity::Summary), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(Achievements, SameIdTwiceIsReturnedTwice) {
    map[1] = make_achievement(5, Opportunity::Start);
    map[2] = make_achievement(5, Opportunity::Start);
    EXPECT_EQ(at(Opportunity::Start), (std::vector<std::int32_t>{5, 5}));
    EXPECT_TRUE(achieved.empty());
}

TEST_F(Achievements, CopiesTheRecordsFields) {
    auto record = make_achievement(9, Opportunity::Start);
    record.grade = 3;
    map[4] = record;
    auto got = found(Opportunity::Start);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, "achievement 9");
    EXPECT_EQ(got[0].description, "did 9");
    EXPECT_EQ(got[0].id, 9);
    EXPECT_EQ(got[0].grade, 3);
}

}  // namespace
}  // namespace engine_test
