#include "engine_fixture.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/testing/engine_steps.hpp"

namespace engine_test {
namespace {

using property::PropertyState;

class TalentPass : public ::testing::Test {
protected:
    SimulationEngine engine;
    ScriptedRandom random;
    TriggerCounts counts;

    PropertyState state_with(std::vector<std::int32_t> tlt, StringMap<std::int32_t> props = {}) {
        return PropertyState(tlt, props, nullptr);
    }
    std::size_t pass(PropertyState& state) { return do_talents(engine, state, counts, random).size(); }
};

struct CountCase {
    const char* name;
    std::int32_t max_triggers;
    std::vector<std::size_t> lines_per_call;
    std::int32_t final_count;
};

class TalentTriggerCounts : public TalentPass, public ::testing::WithParamInterface<CountCase> {};

TEST_P(TalentTriggerCounts, DuplicateIdSeesTheRaisedCount) {
    const CountCase& c = GetParam();
    engine.talents[7] = with_effect(make_talent(7, "seven", c.max_triggers), {.CHR = 1});
    auto state = state_with({7, 7});
    std::vector<std::size_t> lines;
    for (std::size_t call = 0; call < c.lines_per_call.size(); ++call) lines.push_back(pass(state));
    EXPECT_EQ(lines, c.lines_per_call);
    EXPECT_EQ(trigger_count(engine, counts, 7), c.final_count);
    EXPECT_EQ(state.CHR, c.final_count);
    if (c.final_count == 0) {
        EXPECT_EQ(fired_talents(engine, counts), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TalentTriggerCounts,
                         ::testing::Values(CountCase{"Once", 1, {1, 0, 0}, 1}, CountCase{"Twice", 2, {2, 0, 0}, 2},
                                           CountCase{"Thrice", 3, {2, 1, 0}, 3}, CountCase{"Zero", 0, {0, 0}, 0},
                                           CountCase{"Negative", -1, {0, 0}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TalentPass, ConditionsSeeTheStateBeforeThePass) {
    engine.talents[1] = with_effect(make_talent(1, "", 5), {.CHR = 1});
    engine.talents[2] = with_condition(make_talent(2), "CHR>5");
    auto state = state_with({1, 2}, {{"CHR", 5}});
    auto first = do_talents(engine, state, counts, random);
    EXPECT_EQ(texts(first), std::vector<std::string>{"line 1"});
    EXPECT_EQ(state.CHR, 6);
    auto second = do_talents(engine, state, counts, random);
    EXPECT_EQ(texts(second), (std::vector<std::string>{"line 1", "line 2"}));
}

TEST_F(TalentPass, LinesComeInHeldOrderWithTheTalentsFields) {
    for (std::int32_t id : {30, 10, 20}) {
        auto t = make_talent(id);
        t.grade = id / 10;
        engine.talents[id] = t;
    }
    engine.talents[40] = make_talent(40);       // not held
    auto state = state_with({20, 99, 10, 30});  // 99 has no record
    auto lines = do_talents(engine, state, counts, random);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"line 20", "line 10", "line 30"}));
    EXPECT_EQ(lines[0].kind, "TLT");
    EXPECT_EQ(lines[0].name, "talent 20");
    EXPECT_EQ(lines[0].grade, 2);
    EXPECT_EQ(trigger_count(engine, counts, 99), 0);
}

TEST_F(TalentPass, ConditionThatDoesNotParseNeverFires) {
    engine.talents[1] = with_condition(make_talent(1), "CHR > 5");
    engine.talents[2] = with_condition(make_talent(2), "");
    auto state = state_with({1, 2}, {{"CHR", 9}});
    EXPECT_EQ(texts(do_talents(engine, state, counts, random)), std::vector<std::string>{"line 2"});
    EXPECT_EQ(trigger_count(engine, counts, 1), 0);
}

TEST_F(TalentPass, ZeroEffectLeavesRangesUntouched) {
    engine.talents[1] = with_effect(make_talent(1), {});
    auto state = state_with({1}, {{"CHR", 3}});
    EXPECT_EQ(pass(state), 1u);
    EXPECT_EQ(state.CHR, 3);
    EXPECT_EQ(state.LCHR, PropertyState::kMinStart);
    EXPECT_EQ(state.HCHR, PropertyState::kMaxStart);
    EXPECT_EQ(state.HAGE, PropertyState::kMaxStart);
}

TEST_F(TalentPass, LifeAtZeroDoesNotStopThePass) {
    engine.talents[1] = with_effect(make_talent(1), {.LIF = -1});
    engine.talents[2] = with_effect(make_talent(2), {.MNY = 4});
    auto state = state_with({1, 2});
    EXPECT_EQ(pass(state), 2u);
    EXPECT_EQ(state.LIF, 0);
    EXPECT_EQ(state.MNY, 4);
}

TEST_F(TalentPass, EmptyMapOrListTouchesNothing) {
    auto state = state_with({1});
    EXPECT_EQ(pass(state), 0u);
    engine.talents[1] = make_talent(1);
    auto none = state_with({});
    EXPECT_EQ(pass(none), 0u);
    EXPECT_EQ(fired_talents(engine, counts), 0u);
}

struct DeltaCase {
    const char* name;
    EffectConfig effect;
    std::int32_t PropertyState::* value;
    std::int32_t PropertyState::* low;  // null for LIF
    std::int32_t PropertyState::* high;
    std::int32_t expected;
};

class ApplyEffectDeltas : public ::testing::TestWithParam<DeltaCase> {};

TEST_P(ApplyEffectDeltas, EachDeltaMovesItsOwnProperty) {
    const DeltaCase& c = GetParam();
    PropertyState state({}, {{"CHR", 1}, {"INT", 1}, {"STR", 1}, {"MNY", 1}}, nullptr);
    ScriptedRandom random;
    apply_effect(state, c.effect, random);
    EXPECT_EQ(state.*c.value, c.expected);
    if (c.low) {
        EXPECT_EQ(state.*c.low, c.expected);
        EXPECT_EQ(state.*c.high, c.expected);
    }
    EXPECT_EQ(random.used(), 0);
}

using P = PropertyState;
INSTANTIATE_TEST_SUITE_P(Cases, ApplyEffectDeltas,
                         ::testing::Values(DeltaCase{"CHR", {.CHR = 2}, &P::CHR, &P::LCHR, &P::HCHR, 3},
                                           DeltaCase{"INT", {.INT = -3}, &P::INT, &P::LINT, &P::HINT, -2},
                                           DeltaCase{"STR", {.STR = 4}, &P::STR, &P::LSTR, &P::HSTR, 5},
                                           DeltaCase{"MNY", {.MNY = 5}, &P::MNY, &P::LMNY, &P::HMNY, 6},
                                           DeltaCase{"SPR", {.SPR = -1}, &P::SPR, &P::LSPR, &P::HSPR, 4},
                                           DeltaCase{"LIF", {.LIF = 2}, &P::LIF, nullptr, nullptr, 3},
                                           DeltaCase{"AGE", {.AGE = 2}, &P::AGE, &P::LAGE, &P::HAGE, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ApplyEffect, AdditionWraps) {
    PropertyState state({}, {{"CHR", 2147483647}}, nullptr);
    ScriptedRandom random;
    apply_effect(state, {.CHR = 1}, random);
    EXPECT_EQ(state.CHR, -2147483647 - 1);
    EXPECT_EQ(state.LCHR, -2147483647 - 1);
}

TEST(ApplyEffect, RandomDeltaComesLast) {
    // CHR +3 first, then RDM -5 drawn onto CHR: the range follows both steps.
    PropertyState state({}, {}, nullptr);
    ScriptedRandom random{ScriptedRandom::pick(0)};
    apply_effect(state, {.CHR = 3, .RDM = -5}, random);
    EXPECT_EQ(state.CHR, -2);
    EXPECT_EQ(state.LCHR, -2);
    EXPECT_EQ(state.HCHR, 3);
    EXPECT_EQ(random.used(), 1);

    ScriptedRandom onto_spr{ScriptedRandom::pick(4)};
    apply_effect(state, {.RDM = 2}, onto_spr);
    EXPECT_EQ(state.SPR, 7);
    EXPECT_EQ(state.CHR, -2);
}

}  // namespace
}  // namespace engine_test
