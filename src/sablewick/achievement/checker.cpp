#include "sablewick/achievement/checker.hpp"

namespace sablewick::achievement::checker {

std::vector<simulator::AchievementInfo> check_achievements(config::Opportunity opportunity,
                                                           const condition::Snapshot& state,
                                                           const AchievedSet& achieved, const AchievementRules& rules,
                                                           std::span<const condition::TableCondition> tables,
                                                           const condition::TestArena& arena, std::uint32_t changed) {
    std::vector<simulator::AchievementInfo> found;
    const std::vector<AchievementRule>& rules_of = rules.by_opportunity[static_cast<std::size_t>(opportunity)];
    // First the records to ask, gathered without a branch on each (whether
    // one is asked varies from record to record), then the asking. A record
    // whose gate fails cannot be met now, and need not be asked.
    std::vector<std::uint32_t>& asked = achieved.scratch();
    asked.resize(rules_of.size());
    std::size_t count = 0;
    for (std::size_t i = 0; i < rules_of.size(); ++i) {
        const AchievementRule& rule = rules_of[i];
        asked[count] = static_cast<std::uint32_t>(i);
        count += static_cast<std::size_t>((rule.reads & changed) != 0) & !achieved.has_group(rule.group) &
                 rule.gate.holds(state);
    }
    for (std::size_t k = 0; k < count; ++k) {
        const AchievementRule& rule = rules_of[asked[k]];
        if (!condition::holds(tables[rule.condition], arena, state)) continue;
        const config::AchievementConfig& record = *rule.record;
        found.push_back({record.name, record.description, record.id, record.grade});
    }
    return found;
}

}  // namespace sablewick::achievement::checker
