// Lives of the three benchmark configuration shapes against digests recorded
// from commit 9300aac (tests/golden/lives-*.txt): for the same random stream
// every life must come out the same, field by field. A digest that changes
// means a behaviour changed: find out why (record_lives --dump on both
// trees, then diff), never re-record to make this pass.
//
// The configurations are written into the build folder by the CTest fixture
// golden_configs (tests/CMakeLists.txt) before these tests run:
//   python bench/large_config.py --json DIR/config-SHAPE.json --shape SHAPE
// SABLEWICK_GOLDEN_LIVES caps the lives checked per shape (the sanitizer run
// checks fewer).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "golden_life.hpp"
#include "json_config.hpp"

namespace {

using namespace sablewick;

std::size_t lives_cap() {
    if (const char* cap = std::getenv("SABLEWICK_GOLDEN_LIVES"); cap && *cap) {
        return static_cast<std::size_t>(std::strtoull(cap, nullptr, 10));
    }
    return static_cast<std::size_t>(-1);
}

class GoldenLives : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenLives, EveryLifeMatchesItsRecordedDigest) {
    const std::string shape = GetParam();
    const std::string config = std::string(SABLEWICK_GOLDEN_CONFIGS) + "/config-" + shape + ".json";
    ASSERT_TRUE(std::filesystem::exists(config))
        << config << " is missing: run the tests with ctest, whose fixture golden_configs writes it, or write it with"
        << " python bench/large_config.py --json " << config << " --shape " << shape;

    const auto recorded = golden::read_golden(std::string(SABLEWICK_GOLDEN_FILES) + "/lives-" + shape + ".txt");
    ASSERT_FALSE(recorded.empty());
    const golden::ConfigIds ids = golden::read_config_ids(config);
    const simulator::SimulationEngine engine = bench::load_engine(config);

    const std::size_t count = std::min(recorded.size(), lives_cap());
    std::vector<std::string> mismatches;
    for (std::size_t k = 0; k < count; ++k) {
        const auto& g = recorded[k];
        ASSERT_EQ(g.index, k) << "golden file out of order";
        const auto result = golden::run_life(engine, golden::choose_life(ids, shape, g.index), shape, g.index);
        const std::string digest = golden::hex(golden::digest(golden::canonical_text(result)));
        if (digest != g.digest) {
            mismatches.push_back("life " + std::to_string(g.index) + ": digest " + digest + ", " +
                                 std::to_string(result.years.size()) + " years; recorded " + g.digest + ", " +
                                 std::to_string(g.years) + " years");
        }
    }
    if (!mismatches.empty()) {
        std::string first;
        for (std::size_t k = 0; k < mismatches.size() && k < 10; ++k) first += "\n  " + mismatches[k];
        ADD_FAILURE() << mismatches.size() << " of " << count << " " << shape
                      << " lives differ from the recorded ones; the first:" << first
                      << "\nShow one life on both trees and diff: record_lives --config " << config << " --shape "
                      << shape << " --dump INDEX (bench/against/CMakeLists.txt builds it)";
    }
    RecordProperty("lives_checked", static_cast<int>(count));
}

INSTANTIATE_TEST_SUITE_P(Shapes, GoldenLives, ::testing::Values("large", "dense", "sparse"),
                         [](const auto& info) { return info.param; });

// The digest must see every field of a result, and must not see the order of
// the new achievements (the achievement map's walk).
TEST(GoldenDigest, SeesEveryFieldButTheOrderOfAchievements) {
    using simulator::SimulationResult;
    SimulationResult base;
    simulator::YearRecord year;
    year.entries.push_back({"TLT", "a talent line", std::string("Name"), 1});
    year.entries.push_back({"EVT", "an event line", std::nullopt, 2});
    year.properties = {1, 2, 3, 4, 5, 1};
    year.age = 0;
    base.years.push_back(year);
    base.judges.push_back({"HCHR", "Steady hchr", 0.5, 5, 1});
    base.talents.push_back({"T", "talent", 1001, 2});
    base.total_score = 42;
    base.new_achievements.push_back({"A", "first", 5001, 1});
    base.new_achievements.push_back({"B", "second", 5002, 3});
    base.triggered_events = {10001, 10002};
    base.replacements.push_back({{"S", "source", 1001, 0}, {"T", "target", 1002, 1}});
    const std::uint64_t d = golden::digest(golden::canonical_text(base));

    struct Change {
        const char* what;
        void (*apply)(SimulationResult&);
    };
    const Change changes[] = {
        {"entry kind", [](SimulationResult& r) { r.years[0].entries[0].kind = "EVT"; }},
        {"entry text", [](SimulationResult& r) { r.years[0].entries[1].text += "!"; }},
        {"entry name present", [](SimulationResult& r) { r.years[0].entries[1].name = ""; }},
        {"entry name value", [](SimulationResult& r) { r.years[0].entries[0].name = "Nam"; }},
        {"entry grade", [](SimulationResult& r) { r.years[0].entries[0].grade = 0; }},
        {"entry order", [](SimulationResult& r) { std::swap(r.years[0].entries[0], r.years[0].entries[1]); }},
        {"property", [](SimulationResult& r) { r.years[0].properties.SPR = 6; }},
        {"age", [](SimulationResult& r) { r.years[0].age = 1; }},
        {"is_end", [](SimulationResult& r) { r.years[0].is_end = true; }},
        {"extra year", [](SimulationResult& r) { r.years.push_back(r.years[0]); }},
        {"judge key", [](SimulationResult& r) { r.judges[0].property_type = "HINT"; }},
        {"judge text", [](SimulationResult& r) { r.judges[0].text = "Notable hchr"; }},
        {"judge progress", [](SimulationResult& r) { r.judges[0].progress = 0.5000000001; }},
        {"judge value", [](SimulationResult& r) { r.judges[0].value = 6; }},
        {"judge grade", [](SimulationResult& r) { r.judges[0].grade = 2; }},
        {"talent", [](SimulationResult& r) { r.talents[0].id = 1002; }},
        {"talent twice", [](SimulationResult& r) { r.talents.push_back(r.talents[0]); }},
        {"score", [](SimulationResult& r) { r.total_score = 43; }},
        {"achievement", [](SimulationResult& r) { r.new_achievements[1].description = "2nd"; }},
        {"achievement twice", [](SimulationResult& r) { r.new_achievements.push_back(r.new_achievements[0]); }},
        {"event order", [](SimulationResult& r) { std::swap(r.triggered_events[0], r.triggered_events[1]); }},
        {"replacement", [](SimulationResult& r) { r.replacements[0].target.grade = 2; }},
        {"text boundary",
         [](SimulationResult& r) {
             r.talents[0].name = "Td";
             r.talents[0].description = "alent";
         }},
    };
    for (const Change& change : changes) {
        SimulationResult changed = base;
        change.apply(changed);
        EXPECT_NE(golden::digest(golden::canonical_text(changed)), d) << change.what;
    }

    SimulationResult reordered = base;
    std::swap(reordered.new_achievements[0], reordered.new_achievements[1]);
    EXPECT_EQ(golden::digest(golden::canonical_text(reordered)), d);
}

}  // namespace
