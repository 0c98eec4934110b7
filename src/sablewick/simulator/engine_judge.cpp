// Grading of a summary value against the judge levels.

#include <algorithm>

#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

std::optional<JudgeResult> SimulationEngine::judge_property(std::string_view key, std::int32_t value) const {
    auto found = judge.find(key);
    if (found == judge.end() || found->second.empty()) return std::nullopt;
    const auto& levels = found->second;

    // Levels are stored highest min first; a value below all of them still
    // gets the lowest level.
    const config::JudgeLevel* chosen = &levels.back();
    for (const auto& level : levels) {
        if (level.min <= value) {
            chosen = &level;
            break;
        }
    }
    const double progress = static_cast<double>(std::clamp(value, 0, 10)) / 10.0;
    return JudgeResult{std::string(key), chosen->text, progress, value, chosen->grade};
}

}  // namespace sablewick::simulator
