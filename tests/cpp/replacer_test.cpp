#include <cstdio>
#include <limits>

#include "engine_fixture.hpp"
#include "sablewick/talent/replacer.hpp"

namespace engine_test {
namespace {

using namespace sablewick::talent::replacer;

TalentConfig replaced_by(TalentConfig t, StringMap<double> talent_table,
                         std::optional<StringMap<double>> grade_table = std::nullopt) {
    config::ReplacementConfig r;
    r.talent = std::move(talent_table);
    r.grade = std::move(grade_table);
    t.replacement = std::move(r);
    return t;
}

TEST(TalentKey, ReadsSignedDecimalsOnly) {
    const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
        {"12", 12},
        {"+12", 12},
        {"-3", -3},
        {"007", 7},
        {"12 ", std::nullopt},
        {" 12", std::nullopt},
        {"1.0", std::nullopt},
        {"abc", std::nullopt},
        {"99999999999", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"00000000000000000009", 9},
    };
    for (const auto& [key, expected] : cases) EXPECT_EQ(parse_talent_key(key), expected) << '"' << key << '"';
}

TEST(TalentReplacement, NothingToDrawUsesNoRandom) {
    TalentMap talents;
    talents[1] = make_talent(1);                   // no replacement
    talents[2] = replaced_by(make_talent(2), {});  // empty tables
    talents[3] = replaced_by(make_talent(3), {{"5", 0.0}, {"6", 0.0}});
    talents[4] = replaced_by(make_talent(4), {{"5", 1.0}, {"6", -2.0}});
    talents[5] = replaced_by(make_talent(5), {{"x", 1.0}, {"1.5", 1.0}});  // no readable key
    ScriptedRandom random;
    for (std::int32_t id : {1, 2, 3, 4, 5, 77}) EXPECT_EQ(replace_talent(id, {}, talents, random), id);
    EXPECT_EQ(random.used(), 0);
    EXPECT_EQ(replace_talent(1, {}, TalentMap{}, random), 1);
}

TEST(TalentReplacement, FollowsTheChain) {
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {{"2", 1.0}});
    talents[2] = replaced_by(make_talent(2), {{"3", 1.0}});
    talents[3] = make_talent(3);
    ScriptedRandom random{ScriptedRandom::unit(0.9), ScriptedRandom::unit(0.0)};
    EXPECT_EQ(replace_talent(1, {}, talents, random), 3);
    EXPECT_EQ(random.used(), 2);
}

TEST(TalentReplacement, WeightedChoiceByRemainder) {
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {{"20", 2.0}, {"30", 3.0}});
    // Table order is the map's own, so find which id the walk meets first.
    const auto& table = *talents[1].replacement->talent;
    const std::int32_t first = *parse_talent_key(table.begin()->first);
    const double first_weight = table.begin()->second;
    const std::int32_t second = first == 20 ? 30 : 20;

    ScriptedRandom low{ScriptedRandom::unit(first_weight / 5.0 * 0.99)};
    EXPECT_EQ(replace_talent(1, {}, talents, low), first);
    ScriptedRandom high{ScriptedRandom::unit(first_weight / 5.0 * 1.01)};
    EXPECT_EQ(replace_talent(1, {}, talents, high), second);
}

TEST(TalentReplacement, NaNTotalTakesTheLastCandidate) {
    TalentMap talents;
    talents[1] =
        replaced_by(make_talent(1), {{"8", std::numeric_limits<double>::quiet_NaN()}}, StringMap<double>{{"0", 1.0}});
    talents[2] = make_talent(2);  // grade 0: the first candidate
    ScriptedRandom random{ScriptedRandom::unit(0.0)};
    // Talent 1 has grade 0 too, so the grade candidates are 1 and 2 (in map
    // order); the talent table's 8 comes last and wins.
    EXPECT_EQ(replace_talent(1, {}, talents, random), 8);
}

TEST(TalentReplacement, GradeTableSkipsExclusiveAndYieldsRecordIds) {
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {}, StringMap<double>{{"1", 1.0}});
    auto exclusive = make_talent(2);
    exclusive.grade = 1;
    exclusive.exclusive = true;
    talents[2] = exclusive;
    auto plain = make_talent(31);  // stored under 3, record id 31
    plain.grade = 1;
    talents[3] = plain;
    for (double r : {0.0, 0.5, 0.999}) {
        ScriptedRandom random{ScriptedRandom::unit(r)};
        EXPECT_EQ(replace_talent(1, {}, talents, random), 31) << r;
    }

    // The exclusive talent can still come in through the talent table.
    talents[4] = replaced_by(make_talent(4), {{"2", 1.0}});
    ScriptedRandom random{ScriptedRandom::unit(0.5)};
    EXPECT_EQ(replace_talent(4, {}, talents, random), 2);
}

TEST(TalentReplacement, NegativeGradeKeys) {
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {}, StringMap<double>{{"-1", 1.0}, {"+2", 5.0}});
    auto minus = make_talent(5);
    minus.grade = -1;
    talents[5] = minus;
    auto two = make_talent(6);
    two.grade = 2;  // "+2" is not how grade 2 is written
    talents[6] = two;
    ScriptedRandom random{ScriptedRandom::unit(0.999)};
    EXPECT_EQ(replace_talent(1, {}, talents, random), 5);
}

TEST(TalentReplacement, DrawnIdIsHeldForTheRestOfTheChain) {
    // 1 -> 2; 2's only candidate 5 excludes 2, which the chain now holds.
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {{"2", 1.0}});
    talents[2] = replaced_by(make_talent(2), {{"5", 1.0}});
    auto five = make_talent(5);
    five.exclude = std::vector<std::int32_t>{2};
    talents[5] = five;
    ScriptedRandom random{ScriptedRandom::unit(0.0)};
    EXPECT_EQ(replace_talent(1, {}, talents, random), 2);
    EXPECT_EQ(random.used(), 1);
}

TEST(TalentReplacement, UnknownTableIdIsNeverExcludedAndMayBeTheResult) {
    TalentMap talents;
    auto held = make_talent(3);
    held.exclude = std::vector<std::int32_t>{404};
    talents[3] = held;
    talents[1] = replaced_by(make_talent(1), {{"404", 1.0}});
    ScriptedRandom random{ScriptedRandom::unit(0.3)};
    EXPECT_EQ(replace_talent(1, {3}, talents, random), 404);
}

TEST(TalentReplacement, SelfOnlyCandidateStopsAtTheBound) {
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {{"1", 1.0}});
    ScriptedRandom random;
    random.set_fallback(ScriptedRandom::unit(0.5));
    std::int32_t result = 0;
    double ms = elapsed_ms([&] { result = replace_talent(1, {}, talents, random); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(random.used(), kMaxReplacementDepth);
    EXPECT_LT(ms, 100.0 * kSlowBuildFactor);
}

TEST(TalentReplacement, PingPongStopsOnTheLastDraw) {
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {{"2", 1.0}});
    talents[2] = replaced_by(make_talent(2), {{"1", 1.0}});
    ScriptedRandom random;
    random.set_fallback(0);
    // Draws alternate 2, 1, 2, ...: the bound-th draw gives the result.
    const std::int32_t expected = kMaxReplacementDepth % 2 == 1 ? 2 : 1;
    EXPECT_EQ(replace_talent(1, {}, talents, random), expected);
    EXPECT_EQ(random.used(), kMaxReplacementDepth);
}

struct ExclusionCase {
    const char* name;
    std::vector<std::int32_t> current;
    std::int32_t candidate;
    bool excluded;
};

class TalentExclusion : public ::testing::TestWithParam<ExclusionCase> {};

TEST_P(TalentExclusion, EitherSideMayExclude) {
    TalentMap talents;
    auto a = make_talent(1);
    a.exclude = std::vector<std::int32_t>{2, 404};  // 1 excludes 2 and an unknown id
    talents[1] = a;
    talents[2] = make_talent(2);
    talents[3] = make_talent(3);
    const ExclusionCase& c = GetParam();
    EXPECT_EQ(check_exclusion(c.current, c.candidate, talents), c.excluded);

    // The chain's own exclusion test agrees: an excluded sole candidate
    // leaves talent 9 in place.
    talents[9] = replaced_by(make_talent(9), {{std::to_string(c.candidate), 1.0}});
    ScriptedRandom random{ScriptedRandom::unit(0.5)};
    EXPECT_EQ(replace_talent(9, c.current, talents, random), c.excluded ? 9 : c.candidate);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TalentExclusion,
    ::testing::Values(ExclusionCase{"CandidateExcludesHeld", {3, 2}, 1, true},
                      ExclusionCase{"HeldExcludesCandidate", {1}, 2, true}, ExclusionCase{"Unrelated", {3}, 2, false},
                      ExclusionCase{"NothingHeld", {}, 1, false}, ExclusionCase{"UnknownCandidate", {1}, 404, false},
                      ExclusionCase{"UnknownHeldIgnored", {404, 77}, 3, false}, ExclusionCase{"Self", {3}, 3, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplacementPass, LaterPositionsSeeEarlierReplacements) {
    // 1 -> 2; 3's only candidate 4 excludes 2, which position 0 brought in.
    TalentMap talents;
    talents[1] = replaced_by(make_talent(1), {{"2", 1.0}});
    talents[2] = make_talent(2);
    talents[3] = replaced_by(make_talent(3), {{"4", 1.0}});
    auto four = make_talent(4);
    four.exclude = std::vector<std::int32_t>{2};
    talents[4] = four;
    ScriptedRandom random{ScriptedRandom::unit(0.0)};
    std::vector<TalentReplacement> replacements;
    EXPECT_EQ(replace_chosen({1, 3}, talents, random, replacements), (std::vector<std::int32_t>{2, 3}));
    ASSERT_EQ(replacements.size(), 1u);
    EXPECT_EQ(replacements[0].source.id, 1);
    EXPECT_EQ(replacements[0].target.id, 2);
}

TEST(ReplacementPass, RecordsOnlyWhenBothTalentsAreKnown) {
    TalentMap talents;
    auto seven = replaced_by(make_talent(8, "seven"), {{"9", 1.0}});  // key 7, record id 8
    seven.grade = 1;
    talents[7] = seven;
    auto nine = make_talent(10, "nine");  // key 9, record id 10
    nine.grade = 2;
    talents[9] = nine;
    talents[5] = replaced_by(make_talent(5), {{"55", 1.0}});  // 55 has no record
    ScriptedRandom random{ScriptedRandom::unit(0.0), ScriptedRandom::unit(0.0)};
    std::vector<TalentReplacement> replacements;
    auto working = replace_chosen({7, 42, 5}, talents, random, replacements);
    EXPECT_EQ(working, (std::vector<std::int32_t>{9, 42, 55}));
    ASSERT_EQ(replacements.size(), 1u);
    const auto& r = replacements[0];
    EXPECT_EQ(r.source.id, 7);
    EXPECT_EQ(r.source.description, "seven");
    EXPECT_EQ(r.source.grade, 1);
    EXPECT_EQ(r.target.id, 9);
    EXPECT_EQ(r.target.description, "nine");
    EXPECT_EQ(r.target.grade, 2);
}

}  // namespace
}  // namespace engine_test

namespace engine_test {
namespace {

using namespace sablewick::talent::replacer;

// Every talent may become any other of its grade, so each chain runs to the
// bound; with many chosen talents and a large map the pass must stay fast.
TEST(ReplacementPass, EndlessChainsOverALargeMapFinishQuickly) {
    TalentMap talents;
    constexpr std::int32_t kTalents = 2000;
    for (std::int32_t id = 0; id < kTalents; ++id) {
        auto t = make_talent(id);
        t.replacement = config::ReplacementConfig{StringMap<double>{{"0", 1.0}}, std::nullopt};
        if (id % 7 == 0) t.exclude = std::vector<std::int32_t>{id + 1, id + 2};
        talents[id] = t;
    }
    std::vector<std::int32_t> chosen;
    for (std::int32_t i = 0; i < 10; ++i) chosen.push_back(i * 11);
    ScriptedRandom random;
    random.set_fallback(ScriptedRandom::unit(0.37));
    std::vector<TalentReplacement> replacements;
    double ms = elapsed_ms([&] { replace_chosen(chosen, talents, random, replacements); });
    EXPECT_EQ(random.used(), 10 * kMaxReplacementDepth);
    EXPECT_LT(ms, 500.0 * kSlowBuildFactor);
    std::printf("replacement pass, 10 chains over %d talents: %.1f ms\n", kTalents, ms);
}

}  // namespace
}  // namespace engine_test
