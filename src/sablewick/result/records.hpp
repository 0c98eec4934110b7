#pragma once
// The output of one simulated life. The names stay in the simulator's
// namespace, where the host finds them; the folder sits below talent/ and
// achievement/, which fill some of them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sablewick/property/play_history.hpp"
#include "sablewick/property/properties.hpp"

namespace sablewick::simulator {

// The optional play history input.
using property::PlayHistory;

struct YearEntry {
    std::string kind;  // "TLT" or "EVT"
    std::string text;
    std::optional<std::string> name;
    std::int32_t grade = 0;
};

// The property values a year records (properties.hpp), at its end.
struct YearProperties {
#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) SABLEWICK_IF(year, std::int32_t name = 0;)
    SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
};

struct YearRecord {
    std::vector<YearEntry> entries;
    YearProperties properties;
    std::int32_t age = 0;
    bool is_end = false;
};

struct JudgeResult {
    std::string property_type;
    std::string text;
    double progress = 0.0;
    std::int32_t value = 0;
    std::int32_t grade = 0;
};

struct TalentInfo {
    std::string name;
    std::string description;
    std::int32_t id = 0;
    std::int32_t grade = 0;
};

using AchievementInfo = TalentInfo;

struct TalentReplacement {
    TalentInfo source;
    TalentInfo target;
};

struct SimulationResult {
    std::vector<YearRecord> years;
    std::vector<JudgeResult> judges;
    std::vector<TalentInfo> talents;
    std::int32_t total_score = 0;
    std::vector<AchievementInfo> new_achievements;
    std::vector<std::int32_t> triggered_events;
    std::vector<TalentReplacement> replacements;
};

}  // namespace sablewick::simulator
