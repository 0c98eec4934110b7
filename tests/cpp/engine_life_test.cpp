#include <algorithm>
#include <cstdio>

#include "engine_fixture.hpp"

namespace engine_test {
namespace {

using config::Opportunity;

class Life : public ::testing::Test {
protected:
    SimulationEngine engine;
    StringMap<std::int32_t> properties;
    IdSet achieved;
    ScriptedRandom random;

    SimulationResult run(std::vector<std::int32_t> talents, const PlayHistory* history = nullptr) {
        engine.prepare();  // the maps may have changed since the last run
        return engine.simulate(talents, properties, achieved, history, random);
    }
    // A held talent that ends the life in the year its age passes `age`.
    void die_after(std::int32_t age, std::int32_t id = 900) {
        engine.talents[id] =
            with_effect(with_condition(make_talent(id, "dies"), "AGE>" + std::to_string(age)), {.LIF = -1});
    }
    void judge_everything() {
        for (const char* key : {"HCHR", "HINT", "HSTR", "HMNY", "HSPR", "HAGE", "SUM"}) {
            engine.judge[key] = levels({{0, std::string(key) + " ok"}});
        }
    }
};

std::vector<std::int32_t> ages_of(const SimulationResult& result) {
    std::vector<std::int32_t> out;
    for (const auto& year : result.years) out.push_back(year.age);
    return out;
}

std::vector<std::int32_t> achievement_ids(const SimulationResult& result) {
    std::vector<std::int32_t> out;
    for (const auto& info : result.new_achievements) out.push_back(info.id);
    return out;
}

TEST_F(Life, EndsBeforeItsFirstYear) {
    engine.talents[1] = with_effect(make_talent(1), {.LIF = -1});
    engine.achievements[1] = make_achievement(1, Opportunity::Start);
    engine.achievements[2] = make_achievement(2, Opportunity::Trajectory);
    engine.achievements[3] = make_achievement(3, Opportunity::Summary);
    judge_everything();
    properties = {{"CHR", 2}, {"INT", 3}};

    auto result = run({1});
    EXPECT_TRUE(result.years.empty());
    EXPECT_EQ(achievement_ids(result), (std::vector<std::int32_t>{1, 3}));
    ASSERT_EQ(result.judges.size(), 7u);
    EXPECT_EQ(result.judges[5].property_type, "HAGE");
    EXPECT_EQ(result.judges[5].value, -1);  // contributes 0 to the score
    EXPECT_EQ(result.total_score, 2 * (2 + 3 + 0 + 0 + 5));
    EXPECT_EQ(result.judges[6].value, result.total_score);
    ASSERT_EQ(result.talents.size(), 1u);
    EXPECT_EQ(random.used(), 0);
}

TEST_F(Life, PreBirthFiringUsesUpATriggerAndShowsNoLine) {
    engine.talents[1] = with_effect(make_talent(1, "once"), {.CHR = 1});
    die_after(1);
    auto result = run({1, 900});
    ASSERT_EQ(ages_of(result), (std::vector<std::int32_t>{0, 1, 2}));
    for (const auto& year : result.years) {
        for (const auto& line : year.entries) EXPECT_NE(line.text, "once");
        EXPECT_EQ(year.properties.CHR, 1);
    }
    EXPECT_EQ(texts(result.years[2].entries), std::vector<std::string>{"dies"});
    EXPECT_TRUE(result.years[2].is_end);
    EXPECT_FALSE(result.years[1].is_end);
}

TEST_F(Life, AgeEffectShowsInTheNextYearOnly) {
    auto older = make_event(1, "older");
    older.effect = EffectConfig{.AGE = 2};
    engine.events[1] = older;
    engine.ages[10].events = std::vector<std::pair<std::int32_t, double>>{{1, 1.0}};
    die_after(12);
    random.push(ScriptedRandom::unit(0.5));

    auto result = run({900});
    ASSERT_EQ(result.years.size(), 12u);
    EXPECT_EQ(result.years[10].age, 10);
    EXPECT_EQ(texts(result.years[10].entries), std::vector<std::string>{"older"});
    EXPECT_EQ(result.years[11].age, 13);
    EXPECT_TRUE(result.years[11].is_end);
    EXPECT_EQ(result.triggered_events, std::vector<std::int32_t>{1});
    EXPECT_EQ(random.used(), 1);
}

// A talent's AGE effect in the year's pass moves AGE before the draw: the
// draw's conditions see the moved age, not the year's.
TEST_F(Life, TheDrawSeesAgeMovedByTheYearsTalents) {
    engine.talents[1] = with_effect(with_condition(make_talent(1), "AGE=3"), {.AGE = 5});
    engine.events[10] = make_event(10, "e10");
    engine.events[11] = make_event(11, "e11");
    engine.events[12] = make_event(12, "e12");
    engine.events[10].include = condition::ConditionText("AGE=3");      // the year's age: no longer so
    engine.events[11].include = condition::ConditionText("AGE?[8,9]");  // the moved age
    engine.events[12].exclude = condition::ConditionText("AGE>=8");
    engine.ages[3].events = std::vector<std::pair<std::int32_t, double>>{{10, 1.0}, {12, 1.0}, {11, 1.0}};
    die_after(8);
    random.push(ScriptedRandom::unit(0.0));

    auto result = run({1, 900});
    ASSERT_GE(result.years.size(), 4u);
    EXPECT_EQ(result.years[3].age, 3);
    EXPECT_EQ(texts(result.years[3].entries), (std::vector<std::string>{"line 1", "e11"}));
    EXPECT_EQ(result.years[4].age, 9);
}

// Ages far apart are found as well as ages side by side.
TEST_F(Life, AgesFarApartAreFound) {
    engine.events[1] = make_event(1, "two");
    engine.events[2] = make_event(2, "far");
    engine.ages[2].events = std::vector<std::pair<std::int32_t, double>>{{1, 1.0}};
    engine.ages[2'000'000'000].events = std::vector<std::pair<std::int32_t, double>>{{2, 1.0}};
    engine.ages[-2'000'000'000].events = std::vector<std::pair<std::int32_t, double>>{{2, 1.0}};
    die_after(3);
    random.push(ScriptedRandom::unit(0.0));

    auto result = run({900});
    ASSERT_EQ(result.years.size(), 5u);
    EXPECT_EQ(texts(result.years[2].entries), std::vector<std::string>{"two"});
    EXPECT_EQ(result.triggered_events, std::vector<std::int32_t>{1});
}

TEST_F(Life, YearLinesAreTalentsThenTheEventChain) {
    // Age 0 grants talent 2 (listed twice; granted once), which fires in the
    // same pass; the draw sees the state after the talent pass.
    engine.talents[2] = with_effect(make_talent(2, "granted", 5), {.MNY = 3});
    auto rich = make_event(1, "rich");
    rich.include = condition::ConditionText("MNY>2");
    rich.branch = std::vector{branch("", 3)};
    engine.events[1] = rich;
    engine.events[3] = make_event(3, "then", "+post");
    engine.ages[0].talents = std::vector<std::int32_t>{2, 2, 404};
    engine.ages[0].events = std::vector<std::pair<std::int32_t, double>>{{1, 1.0}};
    engine.talents[900] = with_effect(make_talent(900, "dies"), {.LIF = -1});
    engine.ages[0].talents->push_back(900);
    random.push(ScriptedRandom::unit(0.0));

    auto result = run({});
    ASSERT_EQ(result.years.size(), 1u);
    const auto& year = result.years[0];
    EXPECT_EQ(texts(year.entries), (std::vector<std::string>{"granted", "dies", "rich", "then+post"}));
    EXPECT_EQ(year.entries[0].kind, "TLT");
    EXPECT_EQ(year.entries[2].kind, "EVT");
    EXPECT_EQ(year.properties.MNY, 3);
    EXPECT_EQ(year.properties.LIF, 0);
    EXPECT_TRUE(year.is_end);
    EXPECT_EQ(result.triggered_events, (std::vector<std::int32_t>{1, 3}));
    EXPECT_TRUE(result.talents.empty());  // granted talents are not listed
}

TEST_F(Life, LifeFallingAndRisingWithinAYearDoesNotEnd) {
    engine.talents[1] = with_effect(with_condition(make_talent(1), "AGE>0"), {.LIF = -1});
    auto heal = make_event(1, "heal");
    heal.effect = EffectConfig{.LIF = 1};
    engine.events[1] = heal;
    engine.ages[1].events = std::vector<std::pair<std::int32_t, double>>{{1, 1.0}};
    die_after(2);
    random.push(ScriptedRandom::unit(0.0));
    auto result = run({1, 900});
    EXPECT_EQ(ages_of(result), (std::vector<std::int32_t>{0, 1, 2, 3}));
    EXPECT_FALSE(result.years[1].is_end);
}

TEST_F(Life, ResultIdsFollowTheirRules) {
    // Key 7 holds record id 8 and is replaced by key 9 (record id 10); key 3
    // is chosen twice; 42 has no record.
    engine.talents[7] = make_talent(8);
    engine.talents[7].replacement = config::ReplacementConfig{std::nullopt, StringMap<double>{{"9", 1.0}}};
    engine.talents[9] = make_talent(10);
    engine.talents[3] = make_talent(3);
    engine.talents[6] = make_talent(60);  // chosen, kept
    engine.achievements[1] = make_achievement(11, Opportunity::Start, "TLT?[9]");
    engine.achievements[2] = make_achievement(12, Opportunity::Start, "TLT?[42]");
    engine.achievements[3] = make_achievement(13, Opportunity::Start, "TLT?[7]");
    engine.achievements[4] = make_achievement(14, Opportunity::Start, "TLT?[6]");
    properties = {{"LIF", 9}};  // not a starting point
    die_after(0);
    random.push(ScriptedRandom::unit(0.0));

    auto result = run({7, 3, 3, 42, 6, 900});
    ASSERT_EQ(result.replacements.size(), 1u);
    EXPECT_EQ(result.replacements[0].source.id, 7);
    EXPECT_EQ(result.replacements[0].target.id, 9);
    std::vector<std::int32_t> talent_ids;
    for (const auto& t : result.talents) talent_ids.push_back(t.id);
    EXPECT_EQ(talent_ids, (std::vector<std::int32_t>{10, 3, 3, 60, 900}));
    auto found = achievement_ids(result);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::int32_t>{11, 12, 14}));
}

// Achievements whose inputs did not change since the last check are not
// asked again: each of these is met in the year an input of its own
// changes, so they come one a year, in this order.
TEST_F(Life, TrajectoryAchievementsAreMetTheYearTheirInputChanges) {
    engine.talents[1] = with_effect(with_condition(make_talent(1, "", 9), "AGE=3|AGE=5"), {.CHR = 2});
    engine.talents[2] = with_effect(with_condition(make_talent(2), "AGE=4"), {.STR = 1});
    engine.events[30] = make_event(30, "thirty");
    engine.ages[6].events = std::vector<std::pair<std::int32_t, double>>{{30, 1.0}};
    engine.achievements[1] = make_achievement(1, Opportunity::Trajectory, "TMS>0");     // age 0, from the history
    engine.achievements[2] = make_achievement(2, Opportunity::Trajectory, "HSTR>5");    // age 4
    engine.achievements[3] = make_achievement(3, Opportunity::Trajectory, "CHR>=4");    // age 5
    engine.achievements[4] = make_achievement(4, Opportunity::Trajectory, "EVT?[30]");  // age 6
    engine.achievements[5] = make_achievement(5, Opportunity::Trajectory, "LIF<1");     // age 8, the last year
    properties = {{"STR", 5}};
    die_after(7);
    random.set_fallback(ScriptedRandom::unit(0.0));
    const PlayHistory history{{}, {}, 1, 0};

    auto result = run({1, 2, 900}, &history);
    EXPECT_EQ(result.years.back().age, 8);
    EXPECT_EQ(achievement_ids(result), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));

    // One that always holds is met at the first check.
    engine.achievements[6] = make_achievement(6, Opportunity::Trajectory, "XYZ=0");
    auto again = run({1, 2, 900}, &history);
    auto ids = achievement_ids(again);
    ASSERT_EQ(ids.size(), 6u);
    std::sort(ids.begin(), ids.begin() + 2);
    EXPECT_EQ(ids, (std::vector<std::int32_t>{1, 6, 2, 3, 4, 5}));
}

TEST_F(Life, AchievementsAreReportedOnce) {
    engine.achievements[1] = make_achievement(1, Opportunity::Start);
    engine.achievements[2] = make_achievement(2, Opportunity::Trajectory);
    engine.achievements[3] = make_achievement(3, Opportunity::Trajectory, "AGE>1");
    engine.achievements[4] = make_achievement(4, Opportunity::Trajectory);  // already achieved
    engine.achievements[5] = make_achievement(5, Opportunity::Summary, "AGE>2");
    auto same_as_start = make_achievement(1, Opportunity::Trajectory);  // id 1 again
    engine.achievements[6] = same_as_start;
    achieved = {4};
    die_after(2);

    auto result = run({900});
    EXPECT_EQ(achievement_ids(result), (std::vector<std::int32_t>{1, 2, 3, 5}));
    EXPECT_EQ(achieved, IdSet{4});  // the host's set is left alone
}

TEST_F(Life, SummaryScoreExamples) {
    // All five at 5 and never changed, last age 80: 2 * 25 + 40 = 90.
    properties = {{"CHR", 5}, {"INT", 5}, {"STR", 5}, {"MNY", 5}};
    judge_everything();
    die_after(79);
    auto plain = run({900});
    EXPECT_EQ(plain.years.back().age, 80);
    EXPECT_EQ(plain.total_score, 90);
    EXPECT_EQ(plain.judges.back().property_type, "SUM");
    EXPECT_EQ(plain.judges.back().value, 90);

    // CHR reaches 8 and ends at 3, last age 81: 2 * 28 + 40 = 96.
    properties["CHR"] = 3;
    engine.talents[1] = with_effect(with_condition(make_talent(1), "AGE>3"), {.CHR = 5});
    engine.talents[2] = with_effect(with_condition(make_talent(2), "AGE>5"), {.CHR = -5});
    die_after(80);
    auto peaked = run({1, 2, 900});
    EXPECT_EQ(peaked.years.back().age, 81);
    EXPECT_EQ(peaked.years.back().properties.CHR, 3);
    EXPECT_EQ(peaked.total_score, 96);
    EXPECT_EQ(peaked.judges.back().value, 96);
    EXPECT_EQ(peaked.judges[0].value, 8);
    EXPECT_EQ(peaked.judges[5].value, 81);
}

TEST_F(Life, MissingJudgeKeyIsLeftOut) {
    judge_everything();
    engine.judge.erase("HAGE");
    engine.talents[1] = with_effect(make_talent(1), {.LIF = -1});
    auto result = run({1});
    ASSERT_EQ(result.judges.size(), 6u);
    EXPECT_EQ(result.judges[4].property_type, "HSPR");
    EXPECT_EQ(result.judges[5].property_type, "SUM");
}

TEST_F(Life, EmptyHistoryActsAsNone) {
    engine.achievements[1] = make_achievement(1, Opportunity::Start, "TMS>0");
    engine.achievements[2] = make_achievement(2, Opportunity::Start, "AEVT?[5]");
    engine.talents[1] = with_effect(make_talent(1), {.LIF = -1});
    PlayHistory empty;
    EXPECT_TRUE(run({1}).new_achievements.empty());
    EXPECT_TRUE(run({1}, &empty).new_achievements.empty());
    PlayHistory played{{5}, {}, 3, 0};
    EXPECT_EQ(achievement_ids(run({1}, &played)).size(), 2u);
}

TEST_F(Life, EndlessLifeStopsAtTheYearBound) {
    double ms = 0;
    SimulationResult result;
    ms = elapsed_ms([&] { result = run({}); });
    ASSERT_EQ(result.years.size(), static_cast<std::size_t>(kMaxYears));
    EXPECT_EQ(result.years.back().age, kMaxYears - 1);
    EXPECT_TRUE(result.years.back().is_end);
    EXPECT_EQ(result.years.back().properties.LIF, 1);
    EXPECT_EQ(std::count_if(result.years.begin(), result.years.end(), [](const YearRecord& y) { return y.is_end; }), 1);
    EXPECT_LT(ms, 200.0 * kSlowBuildFactor);
}

TEST_F(Life, AdversarialLifeFinishesQuickly) {
    // Every year draws an endless chain and a fresh talent fires.
    auto loop = make_event(1, "loop");
    loop.effect = EffectConfig{.CHR = 1, .RDM = 1};
    loop.branch = std::vector{branch("LIF>0", 1)};
    engine.events[1] = loop;
    for (std::int32_t age = 0; age < kMaxYears; ++age) {
        engine.ages[age].events = std::vector<std::pair<std::int32_t, double>>{{1, 1.0}, {1, 1.0}};
        engine.ages[age].talents = std::vector<std::int32_t>{1000 + age};
        engine.talents[1000 + age] = with_condition(make_talent(1000 + age), "TLT?[1000]|LIF>0");
    }
    random.set_fallback(ScriptedRandom::unit(0.25));
    SimulationResult result;
    double ms = elapsed_ms([&] { result = run({}); });
    ASSERT_EQ(result.years.size(), static_cast<std::size_t>(kMaxYears));
    EXPECT_EQ(result.years[3].entries.size(), static_cast<std::size_t>(1 + kMaxChainSteps));
    EXPECT_LT(ms, 500.0 * kSlowBuildFactor);
    std::printf("adversarial life: %.1f ms\n", ms);
}

}  // namespace
}  // namespace engine_test
