#include "sablewick/achievement/checker.hpp"

#include "sablewick/condition/condition_text.hpp"

namespace sablewick::achievement::checker {

std::vector<simulator::AchievementInfo> check_achievements(
    config::Opportunity opportunity, const property::PropertyState& state, const IdSet& achieved,
    const IdMap<config::AchievementConfig>& achievements) {
    std::vector<simulator::AchievementInfo> found;
    for (const auto& [key, record] : achievements) {
        (void)key;
        if (record.opportunity_kind != opportunity) continue;
        if (achieved.contains(record.id)) continue;
        if (record.condition.check(state) != condition::Outcome::True) continue;
        found.push_back({record.name, record.description, record.id, record.grade});
    }
    return found;
}

}  // namespace sablewick::achievement::checker
