#pragma once
// The configuration records that init_config fills and the engine reads.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sablewick/base/containers.hpp"
#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/properties.hpp"

namespace sablewick::config {

// A delta per property of an effect (properties.hpp), then RDM's, read and
// applied in this field order.
struct EffectConfig {
#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) SABLEWICK_IF(effect, std::int32_t name = 0;)
    SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
    std::int32_t RDM = 0;
};

struct ReplacementConfig {
    std::optional<StringMap<double>> grade;   // grade as decimal text -> weight
    std::optional<StringMap<double>> talent;  // talent id as decimal text -> weight
};

struct TalentConfig {
    std::int32_t id = 0;
    std::string name;
    std::string description;
    std::int32_t grade = 0;
    std::optional<condition::ConditionText> condition;
    bool exclusive = false;
    std::int32_t status = 0;
    std::int32_t max_triggers = 1;
    std::optional<EffectConfig> effect;
    std::optional<std::vector<std::int32_t>> exclude;
    std::optional<ReplacementConfig> replacement;
};

struct EventBranch {
    condition::ConditionText condition;
    std::int32_t event_id = 0;
};

struct EventConfig {
    std::int32_t id = 0;
    std::string event;
    std::int32_t grade = 0;
    bool no_random = false;
    std::optional<condition::ConditionText> include;
    std::optional<condition::ConditionText> exclude;
    std::optional<std::string> post_event;
    std::optional<EffectConfig> effect;
    std::optional<std::vector<EventBranch>> branch;
};

struct AgeConfig {
    std::int32_t age = 0;
    std::optional<std::vector<std::int32_t>> talents;
    std::optional<std::vector<std::pair<std::int32_t, double>>> events;
};

enum class Opportunity : std::uint8_t { Start, Trajectory, Summary, End };

// The opportunity an achievement's text names: its full Unicode upper-case
// form must be exactly "START", "TRAJECTORY", "SUMMARY" or "END".
std::optional<Opportunity> classify_opportunity(std::string_view text);

struct AchievementConfig {
    std::int32_t id = 0;
    std::string name;
    std::string description;
    std::int32_t grade = 0;
    std::string opportunity;
    condition::ConditionText condition;
    // classify_opportunity(opportunity), worked out once when loaded.
    std::optional<Opportunity> opportunity_kind;
};

struct JudgeLevel {
    std::int32_t min = 0;
    std::int32_t grade = 0;
    std::string text;
};

// Default of max_triggers for a talent condition: the number of
// comma-separated pieces of the leftmost "AGE?[<digits and commas>]", else 1.
std::int32_t default_max_triggers(std::string_view condition);

}  // namespace sablewick::config
