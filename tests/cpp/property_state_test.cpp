#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "sablewick/base/random.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/result/records.hpp"

namespace {

using sablewick::RandomSource;
using sablewick::StringMap;
using sablewick::property::Code;
using sablewick::property::PropertyState;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// Hands out queued 32-bit words; running dry is a test failure.
class QueuedWords final : public RandomSource {
public:
    QueuedWords(std::initializer_list<std::uint32_t> words) : words_(words) {}
    std::uint64_t next_u64() override { throw std::logic_error("unexpected 64-bit draw"); }
    std::uint32_t next_u32() override {
        if (words_.empty()) throw std::logic_error("no word queued");
        const std::uint32_t w = words_.front();
        words_.pop_front();
        return w;
    }
    std::size_t left() const { return words_.size(); }

private:
    std::deque<std::uint32_t> words_;
};

PropertyState make_state(StringMap<std::int32_t> properties = {}, std::vector<std::int32_t> talents = {}) {
    return PropertyState(talents, properties, nullptr);
}

// Every field, for whole-state comparisons.
std::vector<std::int32_t> snapshot(const PropertyState& s) {
    std::vector<std::int32_t> v = {s.AGE,   s.CHR,  s.INT,  s.STR,  s.MNY,  s.SPR,  s.LIF,  s.TMS,
                                   s.CACHV, s.LAGE, s.LCHR, s.LINT, s.LSTR, s.LMNY, s.LSPR, s.HAGE,
                                   s.HCHR,  s.HINT, s.HSTR, s.HMNY, s.HSPR, -1};
    for (const auto* list : {&s.TLT, &s.EVT, &s.AEVT, &s.ATLT}) {
        v.insert(v.end(), list->begin(), list->end());
        v.push_back(-1);
    }
    return v;
}

TEST(PropertyState, FreshStateHasStartValues) {
    const PropertyState s = make_state({{"CHR", 3}, {"SPR", 9}, {"LIF", 4}, {"chr", 8}}, {1, 2, 2});
    EXPECT_EQ(s.TLT, (std::vector<std::int32_t>{1, 2, 2}));
    EXPECT_TRUE(s.EVT.empty() && s.AEVT.empty() && s.ATLT.empty());
    EXPECT_GE(s.TLT.capacity(), 10u);
    EXPECT_GE(s.EVT.capacity(), 128u);
    EXPECT_EQ(s.CHR, 3);
    EXPECT_EQ(s.INT, 0);
    EXPECT_EQ(s.STR, 0);
    EXPECT_EQ(s.MNY, 0);
    EXPECT_EQ(s.SPR, 5);
    EXPECT_EQ(s.LIF, 1);
    EXPECT_EQ(s.AGE, -1);
    EXPECT_EQ(s.TMS, 0);
    EXPECT_EQ(s.CACHV, 0);
    for (std::int32_t m : {s.LAGE, s.LCHR, s.LINT, s.LSTR, s.LMNY, s.LSPR}) EXPECT_EQ(m, kMax);
    for (std::int32_t m : {s.HAGE, s.HCHR, s.HINT, s.HSTR, s.HMNY, s.HSPR}) EXPECT_EQ(m, kMin);
}

TEST(PropertyState, HistoryIsCopied) {
    sablewick::simulator::PlayHistory history{{5, 6}, {7}, 3, 4};
    const PropertyState s({}, {}, &history);
    EXPECT_EQ(s.AEVT, (std::vector<std::int32_t>{5, 6}));
    EXPECT_EQ(s.ATLT, (std::vector<std::int32_t>{7}));
    EXPECT_EQ(s.TMS, 3);
    EXPECT_EQ(s.CACHV, 4);
}

struct ChangeCase {
    const char* name;
    std::int32_t chr;  // start value of CHR
    std::string code;
    std::int32_t delta;
    std::int32_t want_chr, want_lchr, want_hchr;
};

class PropertyStateChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(PropertyStateChange, UpdatesValueAndRunningRange) {
    const ChangeCase& c = GetParam();
    PropertyState s = make_state({{"CHR", c.chr}});
    QueuedWords random{};
    s.change(c.code, c.delta, random);
    EXPECT_EQ(s.CHR, c.want_chr);
    EXPECT_EQ(s.LCHR, c.want_lchr);
    EXPECT_EQ(s.HCHR, c.want_hchr);
}

INSTANTIATE_TEST_SUITE_P(Table, PropertyStateChange,
                         ::testing::Values(ChangeCase{"ZeroDeltaRecordsCurrent", 3, "CHR", 0, 3, 3, 3},
                                           ChangeCase{"StartValueNotRecorded", 10, "CHR", -5, 5, 5, 5},
                                           ChangeCase{"Wraps", kMax, "CHR", 1, kMin, kMin, kMin},
                                           ChangeCase{"WrapsDown", kMin, "CHR", -1, kMax, kMax, kMax},
                                           ChangeCase{"LowerCaseIgnored", 3, "chr", 1, 3, kMax, kMin},
                                           ChangeCase{"TrailingSpaceIgnored", 3, "CHR ", 1, 3, kMax, kMin}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PropertyState, RunningRangeKeepsExtremes) {
    PropertyState s = make_state({{"CHR", 3}});
    QueuedWords random{};
    s.change("CHR", -4, random);  // -1
    s.change("CHR", 5, random);   // 4
    EXPECT_EQ(s.LCHR, -1);
    EXPECT_EQ(s.HCHR, 4);
    EXPECT_EQ(s.effective_min(Code::CHR), -1);
    EXPECT_EQ(s.effective_max(Code::CHR), 4);
}

TEST(PropertyState, EffectiveRangeOfUnchangedPropertyIsCurrentValue) {
    const PropertyState s = make_state({{"CHR", 12}});
    EXPECT_EQ(s.effective_max(Code::CHR), 12);
    EXPECT_EQ(s.effective_min(Code::CHR), 12);
    EXPECT_EQ(s.scalar(Code::HCHR), 12);
    EXPECT_EQ(s.scalar(Code::LCHR), 12);
}

TEST(PropertyState, EachRangedCodeUsesItsOwnFields) {
    PropertyState s = make_state();
    QueuedWords random{};
    const std::array<const char*, 6> codes = {"AGE", "CHR", "INT", "STR", "MNY", "SPR"};
    for (std::size_t i = 0; i < codes.size(); ++i) s.change(codes[i], static_cast<std::int32_t>(10 * (i + 1)), random);
    EXPECT_EQ((std::array<std::int32_t, 6>{s.AGE, s.CHR, s.INT, s.STR, s.MNY, s.SPR}),
              (std::array<std::int32_t, 6>{9, 20, 30, 40, 50, 65}));
    EXPECT_EQ((std::array<std::int32_t, 6>{s.LAGE, s.LCHR, s.LINT, s.LSTR, s.LMNY, s.LSPR}),
              (std::array<std::int32_t, 6>{9, 20, 30, 40, 50, 65}));
    EXPECT_EQ((std::array<std::int32_t, 6>{s.HAGE, s.HCHR, s.HINT, s.HSTR, s.HMNY, s.HSPR}),
              (std::array<std::int32_t, 6>{9, 20, 30, 40, 50, 65}));
}

TEST(PropertyState, LifeChangesNothingElse) {
    PropertyState s = make_state();
    QueuedWords random{};
    std::vector<std::int32_t> before = snapshot(s);
    s.change("LIF", -1, random);
    EXPECT_EQ(s.LIF, 0);
    s.LIF = 1;
    EXPECT_EQ(snapshot(s), before);
}

TEST(PropertyState, ListAppendsCheckMembership) {
    PropertyState s = make_state({}, {7, 7});
    QueuedWords random{};
    s.change("EVT", 7, random);
    s.change("EVT", 7, random);
    EXPECT_EQ(s.EVT, (std::vector<std::int32_t>{7}));
    s.change("TLT", 7, random);
    EXPECT_EQ(s.TLT, (std::vector<std::int32_t>{7, 7}));
    s.change("TLT", 8, random);
    EXPECT_EQ(s.TLT, (std::vector<std::int32_t>{7, 7, 8}));
    EXPECT_FALSE(s.add_event(7));
    EXPECT_TRUE(s.add_event(9));
    EXPECT_TRUE(s.has_event(9));
    EXPECT_TRUE(s.has_talent(8));
    EXPECT_FALSE(s.has_talent(9));
}

// Appends to a state bound to a numbering answer as the unbound lists do:
// the same ids appended in the same order, an id already held (a repeat of
// the starting talents included) refused, whether the numbering knows it.
struct AppendCase {
    const char* name;
    std::vector<std::int32_t> talents;  // the starting TLT
    std::vector<std::int32_t> appended;
};

class PropertyStateBoundAppends : public ::testing::TestWithParam<AppendCase> {};

TEST_P(PropertyStateBoundAppends, MatchUnboundLists) {
    const AppendCase& c = GetParam();
    // Knows talents 1 to 3 and events 1 to 3.
    const sablewick::property::IdSpaces spaces({1, 2, 3}, {1, 2, 3});
    PropertyState unbound = make_state({}, c.talents), bound = make_state({}, c.talents);
    bound.bind_lists(spaces);
    for (std::int32_t id : c.appended) {
        ASSERT_EQ(bound.add_talent(id), unbound.add_talent(id)) << id;
        ASSERT_EQ(bound.has_talent(id), unbound.has_talent(id)) << id;
    }
    EXPECT_EQ(bound.TLT, unbound.TLT);
    for (std::int32_t id : c.talents) EXPECT_TRUE(bound.has_talent(id)) << id;
    for (std::int32_t id : {kMin + 1, 4, 99999}) EXPECT_EQ(bound.has_talent(id), unbound.has_talent(id)) << id;
}

std::vector<std::int32_t> spread(std::int32_t count) {
    std::vector<std::int32_t> ids;
    for (std::int32_t k = 0; k < count; ++k) ids.push_back(static_cast<std::int32_t>(k * 2654435761u));
    return ids;
}

std::vector<std::int32_t> twice(std::vector<std::int32_t> ids) {
    ids.insert(ids.end(), ids.begin(), ids.end());
    return ids;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PropertyStateBoundAppends,
    ::testing::Values(AppendCase{"Repeats", {kMin, 5, kMin, 2, 2}, {kMin, 5, 6, 6, 2, 3, 3, 0, kMax, kMax}},
                      AppendCase{"Extremes", {}, {kMin, kMax, 0, -1, kMin, kMax, 0, -1, 1}},
                      AppendCase{"ThousandsKnownOrNot", spread(1000), twice(spread(3000))},
                      AppendCase{"StartingRepeatsOnly", twice(spread(1000)), {}}),
    [](const ::testing::TestParamInfo<AppendCase>& info) { return std::string(info.param.name); });

class PropertyStateIgnoredCode : public ::testing::TestWithParam<std::string> {};

TEST_P(PropertyStateIgnoredCode, LeavesStateUnchanged) {
    sablewick::simulator::PlayHistory history{{1}, {2}, 3, 4};
    PropertyState s({5}, {{"CHR", 1}}, &history);
    QueuedWords random{};
    const std::vector<std::int32_t> before = snapshot(s);
    s.change(GetParam(), 1, random);
    EXPECT_EQ(snapshot(s), before);
}

INSTANTIATE_TEST_SUITE_P(Table, PropertyStateIgnoredCode,
                         ::testing::Values("AEVT", "ATLT", "TMS", "SUM", "LCHR", "HAGE", "CACHV", "chr", "", "XYZ",
                                           "CHRX", std::string("CH\0", 3)));

TEST(PropertyState, RandomTargetFollowsWordRule) {
    // m = x * 5: accepted when the low 32 bits of m are <= 5 * 2^29 - 1, and
    // then the index is the high 32 bits; a rejected word costs a redraw
    // (the queued 0 that follows picks CHR).
    struct Case {
        std::uint32_t word;
        bool accepted;
        Code want;
    };
    const Case cases[] = {
        {0u, true, Code::CHR},          {536870911u, true, Code::CHR},   {536870912u, false, Code::CHR},
        {858993459u, false, Code::CHR}, {858993460u, true, Code::INT},   {1717986918u, false, Code::CHR},
        {1717986919u, true, Code::STR}, {2576980378u, true, Code::MNY},  {3435973836u, false, Code::CHR},
        {3435973837u, true, Code::SPR}, {4294967294u, false, Code::CHR}, {4294967295u, false, Code::CHR},
    };
    for (const Case& c : cases) {
        QueuedWords random{c.word, 0u};
        EXPECT_EQ(PropertyState::pick_random_target(random), c.want) << c.word;
        EXPECT_EQ(random.left(), c.accepted ? 1u : 0u) << c.word;
    }
}

TEST(PropertyState, RdmChangesExactlyTheDrawnProperty) {
    const std::pair<std::uint32_t, std::int32_t PropertyState::*> draws[] = {
        {0u, &PropertyState::CHR},          {858993460u, &PropertyState::INT},  {1717986919u, &PropertyState::STR},
        {2576980378u, &PropertyState::MNY}, {3435973837u, &PropertyState::SPR},
    };
    for (auto [word, field] : draws) {
        PropertyState s = make_state();
        PropertyState expected = make_state();
        QueuedWords random{word};
        s.change("RDM", 2, random);
        QueuedWords none{};
        // The same change made directly on the drawn field.
        const char* code = field == &PropertyState::CHR   ? "CHR"
                           : field == &PropertyState::INT ? "INT"
                           : field == &PropertyState::STR ? "STR"
                           : field == &PropertyState::MNY ? "MNY"
                                                          : "SPR";
        expected.change(code, 2, none);
        EXPECT_EQ(snapshot(s), snapshot(expected)) << word;
        EXPECT_EQ(s.*field, expected.*field);
    }
}

TEST(PropertyState, RdmDrawsEachTargetAboutAFifth) {
    PropertyState s = make_state();
    auto& random = sablewick::thread_random();
    for (int i = 0; i < 10000; ++i) s.change("RDM", 1, random);
    for (std::int32_t v : {s.CHR, s.INT, s.STR, s.MNY, s.SPR - 5}) {
        EXPECT_GT(v, 1700);
        EXPECT_LT(v, 2300);
    }
    EXPECT_EQ(s.CHR + s.INT + s.STR + s.MNY + s.SPR - 5, 10000);
}

TEST(PropertyState, SummaryScore) {
    struct Case {
        const char* name;
        std::int32_t age;  // AGE and HAGE both, unless never_aged
        bool never_aged;
        std::int32_t want;
    };
    // Five value properties all 5 and never changed.
    const Case cases[] = {
        {"Example", 80, false, 90},
        {"NegativeAgeTruncatesTowardZero", -3, false, 50 - 1},
        {"OddAge", 81, false, 90},
        {"FreshAgeMinusOne", -1, true, 50},
    };
    for (const Case& c : cases) {
        PropertyState s = make_state({{"CHR", 5}, {"INT", 5}, {"STR", 5}, {"MNY", 5}});
        if (!c.never_aged) {
            s.AGE = c.age;
            s.HAGE = c.age;
        }
        EXPECT_EQ(s.calculate_summary_score(), c.want) << c.name;
    }
    const PropertyState zero = make_state({{"SPR", 0}});
    PropertyState all_zero = make_state();
    all_zero.SPR = 0;
    EXPECT_EQ(all_zero.calculate_summary_score(), 0);
    EXPECT_EQ(zero.calculate_summary_score(), 10);  // SPR starts at 5 whatever properties say
}

TEST(PropertyState, SummaryScoreWraps) {
    PropertyState s = make_state({{"CHR", kMax}});
    s.SPR = 0;
    // 2 * kMax wraps to -2; the age term is 0.
    EXPECT_EQ(s.calculate_summary_score(), -2);
}

TEST(PropertyState, FastHelpersMatchChange) {
    PropertyState a = make_state({{"CHR", 1}}), b = make_state({{"CHR", 1}});
    QueuedWords random{};
    a.change("AGE", 1, random);
    b.age_step();
    a.change("MNY", -3, random);
    b.add_value(Code::MNY, -3);
    a.change("LIF", 2, random);
    b.add_value(Code::LIF, 2);
    b.add_value(Code::TMS, 9);  // not a value code: ignored
    a.change("TLT", 4, random);
    b.change(Code::TLT, 4, random);
    EXPECT_EQ(snapshot(a), snapshot(b));
}

}  // namespace
