#include "engine_fixture.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/testing/engine_steps.hpp"

namespace engine_test {
namespace {

using property::PropertyState;

class EventChain : public ::testing::Test {
protected:
    PropertyState state{{}, StringMap<std::int32_t>{}, nullptr};
    SimulationEngine engine;
    ScriptedRandom random;
    std::vector<YearEntry> lines;

    void run(std::int32_t id) { process_event_chain(engine, state, id, lines, random); }
    EventConfig& event(std::int32_t id, std::string text, std::optional<std::string> post = {}) {
        return engine.events[id] = make_event(id, std::move(text), std::move(post));
    }
};

TEST_F(EventChain, PostEventClosesAChainWithoutBranch) {
    auto& e = event(1, "A", "B");
    e.grade = 2;
    run(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].kind, "EVT");
    EXPECT_EQ(lines[0].text, "AB");
    EXPECT_FALSE(lines[0].name.has_value());
    EXPECT_EQ(lines[0].grade, 2);
    EXPECT_EQ(state.EVT, (std::vector<std::int32_t>{1}));
}

struct BranchCase {
    const char* name;
    std::vector<std::pair<std::string, std::int32_t>> branches;
    std::vector<std::string> expected;
};

class EventChainBranches : public EventChain, public ::testing::WithParamInterface<BranchCase> {};

TEST_P(EventChainBranches, FollowsTheFirstThatHolds) {
    auto& e = event(1, "A", "B");
    e.branch.emplace();
    for (const auto& [condition, target] : GetParam().branches) e.branch->push_back(branch(condition, target));
    event(2, "second");
    event(3, "third", "!");
    run(1);
    EXPECT_EQ(texts(lines), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, EventChainBranches,
                         ::testing::Values(BranchCase{"Holds", {{"CHR<1", 2}}, {"A", "second"}},
                                           BranchCase{"AllFalse", {{"CHR>1", 2}, {"INT>1", 3}}, {"AB"}},
                                           BranchCase{"DoesNotParse", {{"CHR < 1", 2}}, {"AB"}},
                                           BranchCase{"FirstOfTwo", {{"CHR<1", 3}, {"CHR<1", 2}}, {"A", "third!"}},
                                           BranchCase{
                                               "SkipsFalseThenHolds", {{"CHR>1", 2}, {"CHR<1", 3}}, {"A", "third!"}},
                                           BranchCase{"EmptyHolds", {{"", 2}}, {"A", "second"}},
                                           // The branch was chosen, so A's post text is not shown.
                                           BranchCase{"TargetMissing", {{"", 99}}, {"A"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventChain, BranchIsChosenBeforeTheEventTakesEffect) {
    // The branch tests CHR before event 1's +1 and EVT before 1 is recorded.
    auto& e = event(1, "A", "B");
    e.effect = EffectConfig{.CHR = 1};
    e.branch = std::vector{branch("EVT?[1]", 2), branch("CHR>0", 2)};
    event(2, "second");
    run(1);
    EXPECT_EQ(texts(lines), std::vector<std::string>{"AB"});
    EXPECT_EQ(state.CHR, 1);

    // The second time event 1 happens, its id is in EVT.
    lines.clear();
    run(1);
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"A", "second"}));
    EXPECT_EQ(state.EVT, (std::vector<std::int32_t>{1, 2}));
}

TEST_F(EventChain, NextEventSeesThePreviousEffect) {
    auto& e = event(1, "A");
    e.effect = EffectConfig{.CHR = 3};
    e.branch = std::vector{branch("", 2)};
    auto& second = event(2, "second", "-end");
    second.branch = std::vector{branch("CHR>2", 3)};
    event(3, "third");
    run(1);
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"A", "second", "third"}));
}

TEST_F(EventChain, UnknownEventDoesNothing) {
    event(1, "A");
    run(42);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(state.EVT.empty());

    SimulationEngine empty;
    process_event_chain(empty, state, 1, lines, random);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(state.EVT.empty());
}

TEST_F(EventChain, SelfBranchRunsUntilItsConditionFails) {
    state.CHR = 7;
    auto& e = event(5, "A", "B");
    e.effect = EffectConfig{.CHR = 1};
    e.branch = std::vector{branch("CHR<10", 5)};
    run(5);
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"A", "A", "A", "AB"}));
    EXPECT_EQ(state.EVT, (std::vector<std::int32_t>{5}));
    EXPECT_EQ(state.CHR, 11);
    EXPECT_EQ(state.HCHR, 11);
    EXPECT_EQ(state.LCHR, 8);
}

TEST_F(EventChain, EndlessChainStopsAtTheBound) {
    auto& e = event(5, "loop", "never");
    e.effect = EffectConfig{.CHR = 1};
    e.branch = std::vector{branch("", 6)};
    auto& back = event(6, "back");
    back.branch = std::vector{branch("", 5)};

    double ms = elapsed_ms([&] { run(5); });
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMaxChainSteps));
    // Every step handed on to a branch, so no line carries the post text.
    for (const auto& line : lines) EXPECT_TRUE(line.text == "loop" || line.text == "back");
    EXPECT_EQ(state.CHR, kMaxChainSteps / 2);
    EXPECT_EQ(state.EVT, (std::vector<std::int32_t>{5, 6}));
    EXPECT_LT(ms, 100.0 * kSlowBuildFactor);
}

}  // namespace
}  // namespace engine_test
