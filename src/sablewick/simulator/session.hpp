#pragma once
// A simulated life, rendered once for the host to read.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sablewick/base/containers.hpp"
#include "sablewick/result/records.hpp"

namespace sablewick::simulator {

using EmojiMap = IdMap<std::string>;
using SharedEmojiMap = std::shared_ptr<const EmojiMap>;

// {0: "⚪", 1: "🔵", 2: "🟣", 3: "🟠"}
EmojiMap default_emoji_map();

struct FormattedYear : YearProperties {
    std::string display_text;
    std::int32_t age = 0;
    bool is_end = false;
};

struct FormattedJudge {
    std::string property_type;
    std::string text;
    std::string progress_bar;  // exactly ten cells
    double progress = 0.0;
    std::int32_t value = 0;
    std::int32_t grade = 0;
};

struct GameSession {
    std::vector<FormattedYear> years;
    std::vector<FormattedJudge> judges;
    std::vector<TalentInfo> talents;
    std::int32_t total_score = 0;
    std::vector<AchievementInfo> new_achievements;
    std::vector<std::int32_t> triggered_events;
    std::vector<TalentReplacement> replacements;

    // Renders the result with the emoji map; keeps no reference to the map.
    static GameSession create(SimulationResult&& result, const EmojiMap& emoji_map);
};

}  // namespace sablewick::simulator
