#include "sablewick/achievement/checker.hpp"

#include <bit>

namespace sablewick::achievement::checker {

std::vector<simulator::AchievementInfo> check_achievements(config::Opportunity opportunity,
                                                           const condition::Snapshot& state,
                                                           const simulator::AchievedSet& achieved,
                                                           const simulator::CompiledRules& rules,
                                                           std::uint32_t changed) {
    std::vector<simulator::AchievementInfo> found;
    const simulator::OpportunityRules& at = rules.achievements[static_cast<std::size_t>(opportunity)];
    // The records that read something that changed, as a bitmap walked in
    // order; a record whose gate fails cannot be met now.
    std::vector<std::uint64_t>& asked = achieved.scratch();
    asked.assign(at.words, 0);
    for (std::uint32_t parts = changed & condition::Snapshot::kEverything; parts != 0; parts &= parts - 1) {
        const std::uint64_t* readers = at.readers_of(static_cast<unsigned>(std::countr_zero(parts)));
        for (std::size_t w = 0; w < at.words; ++w) asked[w] |= readers[w];
    }
    for (std::size_t w = 0; w < at.words; ++w) {
        for (std::uint64_t bits = asked[w]; bits != 0; bits &= bits - 1) {
            const simulator::AchievementRule& rule = at.rules[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
            if (achieved.has_group(rule.group) || !rule.gate.holds(state)) continue;
            if (!rules.holds_in_table(rule.condition, state)) continue;
            const config::AchievementConfig& record = *rule.record;
            found.push_back({record.name, record.description, record.id, record.grade});
        }
    }
    return found;
}

}  // namespace sablewick::achievement::checker
