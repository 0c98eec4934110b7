#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "sablewick/simulator/session.hpp"

namespace {

using namespace sablewick::simulator;

const std::string kWhite = "\u26AA";
const std::string kBlue = "\U0001F535";
const std::string kFull = "\u2588";
const std::string kLight = "\u2591";

EmojiMap grade_map() { return {{0, kWhite}, {1, kBlue}, {2, "\U0001F7E3"}, {5, ""}}; }

YearEntry entry(std::string text, int grade) {
    YearEntry e;
    e.kind = "EVT";
    e.text = std::move(text);
    e.grade = grade;
    return e;
}

SimulationResult one_year(std::vector<YearEntry> entries) {
    SimulationResult result;
    YearRecord year;
    year.entries = std::move(entries);
    result.years.push_back(std::move(year));
    return result;
}

std::string bar(int filled) {
    std::string out;
    for (int i = 0; i < 10; ++i) out += i < filled ? kFull : kLight;
    return out;
}

struct TextCase {
    const char* name;
    std::vector<YearEntry> entries;
    EmojiMap map;
    std::string expected;
};

class SessionYearText : public ::testing::TestWithParam<TextCase> {};

TEST_P(SessionYearText, RendersEmojiSpaceTextJoinedByNewlines) {
    const TextCase& c = GetParam();
    GameSession session = GameSession::create(one_year(c.entries), c.map);
    ASSERT_EQ(session.years.size(), 1u);
    EXPECT_EQ(session.years[0].display_text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Session, SessionYearText,
    ::testing::Values(
        TextCase{"no_entries", {}, grade_map(), ""},
        TextCase{"one_entry", {entry("Born.", 1)}, grade_map(), kBlue + " Born."},
        TextCase{"three_entries",
                 {entry("a", 0), entry("b", 1), entry("c", 2)},
                 grade_map(),
                 kWhite + " a\n" + kBlue + " b\n\U0001F7E3 c"},
        TextCase{"empty_map", {entry("a", 1), entry("b", 3)}, {}, kWhite + " a\n" + kWhite + " b"},
        TextCase{"missing_grade", {entry("x", 9), entry("y", -1)}, grade_map(), kWhite + " x\n" + kWhite + " y"},
        TextCase{"empty_emoji_text", {entry("quiet", 5)}, grade_map(), " quiet"},
        TextCase{"empty_line_text", {entry("", 1)}, grade_map(), kBlue + " "},
        TextCase{"multi_char_emoji", {entry("z", 0)}, {{0, "<*>"}}, "<*> z"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(SessionYearText, NewlineCountMatchesEntries) {
    GameSession one = GameSession::create(one_year({entry("a", 0)}), grade_map());
    EXPECT_EQ(one.years[0].display_text.find('\n'), std::string::npos);
    GameSession three = GameSession::create(one_year({entry("a", 0), entry("b", 0), entry("c", 0)}), grade_map());
    const std::string& text = three.years[0].display_text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_NE(text.back(), '\n');
}

struct BarCase {
    const char* name;
    double progress;
    int filled;
};

class SessionProgressBar : public ::testing::TestWithParam<BarCase> {};

TEST_P(SessionProgressBar, TenCellsRoundedHalfAwayFromZero) {
    const BarCase& c = GetParam();
    SimulationResult result;
    JudgeResult judge;
    judge.property_type = "HCHR";
    judge.text = "verdict";
    judge.progress = c.progress;
    judge.value = 7;
    judge.grade = 2;
    result.judges.push_back(judge);
    GameSession session = GameSession::create(std::move(result), {});
    ASSERT_EQ(session.judges.size(), 1u);
    const FormattedJudge& f = session.judges[0];
    EXPECT_EQ(f.progress_bar, bar(c.filled));
    // The stored progress is the judge's, bit for bit (NaN stays NaN).
    if (std::isnan(c.progress)) {
        EXPECT_TRUE(std::isnan(f.progress));
    } else {
        EXPECT_EQ(f.progress, c.progress);
    }
    EXPECT_EQ(f.property_type, "HCHR");
    EXPECT_EQ(f.text, "verdict");
    EXPECT_EQ(f.value, 7);
    EXPECT_EQ(f.grade, 2);
}

INSTANTIATE_TEST_SUITE_P(Session, SessionProgressBar,
                         ::testing::Values(BarCase{"zero", 0.0, 0}, BarCase{"one", 1.0, 10},
                                           BarCase{"quarter", 0.25, 3}, BarCase{"three_quarters", 0.75, 8},
                                           BarCase{"below_half_cell", 0.04, 0}, BarCase{"half_cell", 0.05, 1},
                                           BarCase{"just_below_quarter", 0.24, 2}, BarCase{"seven_tenths", 0.7, 7},
                                           BarCase{"two", 2.0, 10}, BarCase{"huge", 1e300, 10},
                                           BarCase{"infinity", std::numeric_limits<double>::infinity(), 10},
                                           BarCase{"minus_one", -1.0, 0}, BarCase{"small_negative", -0.04, 0},
                                           BarCase{"minus_infinity", -std::numeric_limits<double>::infinity(), 0},
                                           BarCase{"nan", std::numeric_limits<double>::quiet_NaN(), 0}),
                         [](const ::testing::TestParamInfo<BarCase>& info) { return std::string(info.param.name); });

TEST(SessionCreate, CopiesPropertiesAgeAndEnd) {
    SimulationResult result;
    YearRecord a;
    a.properties = {1, 2, 3, 4, 5, 6};
    a.age = 0;
    YearRecord b;  // all six values left at 0
    b.age = 1;
    b.is_end = true;
    result.years = {a, b};
    GameSession session = GameSession::create(std::move(result), {});
    ASSERT_EQ(session.years.size(), 2u);
    const FormattedYear& y = session.years[0];
    EXPECT_EQ((std::vector<int>{y.CHR, y.INT, y.STR, y.MNY, y.SPR, y.LIF}), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(y.age, 0);
    EXPECT_FALSE(y.is_end);
    const FormattedYear& z = session.years[1];
    EXPECT_EQ((std::vector<int>{z.CHR, z.INT, z.STR, z.MNY, z.SPR, z.LIF}), (std::vector<int>(6, 0)));
    EXPECT_EQ(z.age, 1);
    EXPECT_TRUE(z.is_end);
}

TEST(SessionCreate, TakesOverListsInOrder) {
    SimulationResult result;
    result.talents = {{"A", "a", 1, 0}, {"A", "a", 1, 0}, {"B", "b", 2, 3}};
    result.total_score = -17;
    result.new_achievements = {{"first", "d", 10, 1}};
    result.triggered_events = {30, 10, 20};
    result.replacements = {{{"S", "s", 4, 1}, {"T", "t", 5, 2}}};
    GameSession session = GameSession::create(std::move(result), grade_map());
    ASSERT_EQ(session.talents.size(), 3u);
    EXPECT_EQ(session.talents[2].name, "B");
    EXPECT_EQ(session.talents[2].grade, 3);
    EXPECT_EQ(session.total_score, -17);
    ASSERT_EQ(session.new_achievements.size(), 1u);
    EXPECT_EQ(session.new_achievements[0].id, 10);
    EXPECT_EQ(session.triggered_events, (std::vector<int>{30, 10, 20}));
    ASSERT_EQ(session.replacements.size(), 1u);
    EXPECT_EQ(session.replacements[0].source.id, 4);
    EXPECT_EQ(session.replacements[0].target.description, "t");
}

TEST(SessionCreate, EmptyResultGivesEmptyLists) {
    GameSession session = GameSession::create(SimulationResult{}, grade_map());
    EXPECT_TRUE(session.years.empty());
    EXPECT_TRUE(session.judges.empty());
    EXPECT_TRUE(session.talents.empty());
    EXPECT_TRUE(session.new_achievements.empty());
    EXPECT_TRUE(session.triggered_events.empty());
    EXPECT_TRUE(session.replacements.empty());
}

}  // namespace
