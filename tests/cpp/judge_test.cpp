#include <limits>

#include "engine_fixture.hpp"

namespace engine_test {
namespace {

struct LevelCase {
    const char* name;
    std::vector<config::JudgeLevel> levels;  // as stored: min highest first
    std::int32_t value;
    std::string text;
};

class JudgeLevels : public ::testing::TestWithParam<LevelCase> {};

TEST_P(JudgeLevels, FirstLevelAtOrBelowTheValueElseTheLast) {
    const LevelCase& c = GetParam();
    SimulationEngine engine;
    engine.judge["HCHR"] = c.levels;
    auto verdict = engine.judge_property("HCHR", c.value);
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->text, c.text);
    EXPECT_EQ(verdict->property_type, "HCHR");
    EXPECT_EQ(verdict->value, c.value);
}

const auto kFour = levels({{10, "ten"}, {7, "seven"}, {4, "four"}, {0, "zero"}});
constexpr std::int32_t kLowest = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Cases, JudgeLevels,
    ::testing::Values(LevelCase{"Between", kFour, 8, "seven"}, LevelCase{"Exact", kFour, 10, "ten"},
                      LevelCase{"Above", kFour, 81, "ten"}, LevelCase{"BelowAll", kFour, -3, "zero"},
                      LevelCase{"Lowest", kFour, kLowest, "zero"},
                      LevelCase{"SingleBelow", levels({{5, "only"}}), 2, "only"},
                      LevelCase{"EqualMinFirstStored", levels({{5, "first"}, {5, "second"}}), 5, "first"},
                      LevelCase{"LowestExactMin", levels({{0, "a"}, {kLowest, "b"}}), kLowest, "b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Judge, CarriesTheChosenGrade) {
    SimulationEngine engine;
    engine.judge["SUM"] = {{100, 3, "great"}, {50, 1, "fine"}};
    auto verdict = engine.judge_property("SUM", 60);
    ASSERT_TRUE(verdict);
    EXPECT_EQ(verdict->grade, 1);
    EXPECT_EQ(verdict->text, "fine");
}

TEST(Judge, ProgressIsTheClampedValueOverTen) {
    SimulationEngine engine;
    engine.judge["SUM"] = levels({{0, "x"}});
    const std::pair<std::int32_t, double> cases[] = {{7, 0.7}, {-2, 0.0},      {81, 1.0}, {10, 1.0},
                                                     {0, 0.0}, {kLowest, 0.0}, {3, 0.3}};
    for (const auto& [value, progress] : cases) {
        EXPECT_DOUBLE_EQ(engine.judge_property("SUM", value)->progress, progress) << value;
    }
}

TEST(Judge, KeyWithoutLevelsGivesNothing) {
    SimulationEngine engine;
    EXPECT_FALSE(engine.judge_property("HCHR", 5));
    engine.judge["HCHR"] = {};
    engine.judge["hchr"] = levels({{0, "x"}});
    EXPECT_FALSE(engine.judge_property("HCHR", 5));
}

}  // namespace
}  // namespace engine_test
