#include <cmath>
#include <limits>

#include "engine_fixture.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/testing/engine_steps.hpp"

namespace engine_test {
namespace {

using property::PropertyState;

PropertyState fresh_state() {
    static const StringMap<std::int32_t> none;
    return PropertyState({}, none, nullptr);
}

struct WeightCase {
    const char* name;
    std::vector<double> weights;
    std::optional<double> r;  // scripted unit value, if one may be drawn
    std::optional<std::int32_t> expected;
    int random_used;
};

class EventDrawWeights : public ::testing::TestWithParam<WeightCase> {};

TEST_P(EventDrawWeights, ChoosesByRemainder) {
    const WeightCase& c = GetParam();
    SimulationEngine engine;
    std::vector<std::pair<std::int32_t, double>> list;
    for (std::size_t i = 0; i < c.weights.size(); ++i) {
        const auto id = static_cast<std::int32_t>(i + 1);
        engine.events[id] = make_event(id, "e");
        list.emplace_back(id, c.weights[i]);
    }
    ScriptedRandom random;
    if (c.r) random.push(ScriptedRandom::unit(*c.r));
    auto state = fresh_state();

    EXPECT_EQ(draw_event(engine, list, state, random), c.expected);
    EXPECT_EQ(random.used(), c.random_used);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kAlmostOne = 1.0 - 0x1.0p-53;

INSTANTIATE_TEST_SUITE_P(Cases, EventDrawWeights,
                         ::testing::Values(WeightCase{"TwoThreeLow", {2.0, 3.0}, 0.0, 1, 1},
                                           WeightCase{"TwoThreeAtBoundary", {2.0, 3.0}, 0.4, 1, 1},  // 5r <= 2
                                           WeightCase{"TwoThreeAbove", {2.0, 3.0}, 0.41, 2, 1},
                                           WeightCase{"TwoThreeTop", {2.0, 3.0}, kAlmostOne, 2, 1},
                                           WeightCase{"AllZero", {0.0, 0.0}, std::nullopt, std::nullopt, 0},
                                           WeightCase{"Negative", {-1.0}, std::nullopt, std::nullopt, 0},
                                           WeightCase{
                                               "NegativeTotalWithPositive", {2.0, -3.0}, std::nullopt, std::nullopt, 0},
                                           WeightCase{"NaNTakesLast", {1.0, kNaN}, 0.0, 2, 1},
                                           WeightCase{"Empty", {}, std::nullopt, std::nullopt, 0},
                                           // A negative weight raises the remainder, so it is never the one.
                                           WeightCase{"NegativeFirst", {-1.0, 3.0}, 0.0, 2, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Which events of a list can be drawn, by their flags and conditions. Each
// case has one filtered event 1 before a plain event 2; r = 0 picks the first
// candidate, so the result tells whether event 1 stayed a candidate.
struct FilterCase {
    const char* name;
    bool no_random;
    std::optional<std::string> exclude;
    std::optional<std::string> include;
    bool kept;
};

class EventDrawFilters : public ::testing::TestWithParam<FilterCase> {};

TEST_P(EventDrawFilters, KeepsOrSkips) {
    const FilterCase& c = GetParam();
    SimulationEngine engine;
    EventConfig first = make_event(1, "first");
    first.no_random = c.no_random;
    if (c.exclude) first.exclude = condition::ConditionText(*c.exclude);
    if (c.include) first.include = condition::ConditionText(*c.include);
    engine.events[1] = first;
    engine.events[2] = make_event(2, "second");
    ScriptedRandom random{ScriptedRandom::unit(0.0)};
    auto state = fresh_state();  // CHR 0

    auto drawn = draw_event(engine, {{1, 1.0}, {2, 1.0}}, state, random);
    EXPECT_EQ(drawn, c.kept ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, EventDrawFilters,
                         ::testing::Values(FilterCase{"Plain", false, std::nullopt, std::nullopt, true},
                                           FilterCase{"NoRandom", true, std::nullopt, std::nullopt, false},
                                           FilterCase{"ExcludeHolds", false, "CHR<1", std::nullopt, false},
                                           FilterCase{"ExcludeFails", false, "CHR>1", std::nullopt, true},
                                           FilterCase{"ExcludeDoesNotParse", false, "CHR > 1", std::nullopt, true},
                                           FilterCase{"IncludeHolds", false, std::nullopt, "CHR<1", true},
                                           FilterCase{"IncludeFails", false, std::nullopt, "CHR>1", false},
                                           FilterCase{"IncludeDoesNotParse", false, std::nullopt, "CHR > 1", true},
                                           FilterCase{"BothHold", false, "CHR<1", "CHR<1", false},
                                           FilterCase{"EmptyExcludeExcludes", false, "", std::nullopt, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EventDraw, NoCandidateUsesNoRandom) {
    SimulationEngine engine;
    EventConfig hidden = make_event(1, "hidden");
    hidden.no_random = true;
    engine.events[1] = hidden;
    ScriptedRandom random;
    auto state = fresh_state();

    // Unknown ids, no_random events, and an empty event map draw nothing.
    EXPECT_EQ(draw_event(engine, {{1, 1.0}, {99, 1.0}}, state, random), std::nullopt);
    SimulationEngine empty;
    EXPECT_EQ(draw_event(empty, {{1, 1.0}}, state, random), std::nullopt);
    EXPECT_EQ(random.used(), 0);
}

}  // namespace
}  // namespace engine_test
