#pragma once
// Achievements newly met at one opportunity of a life.

#include <vector>

#include <span>

#include "sablewick/achievement/rules.hpp"
#include "sablewick/condition/bound_program.hpp"
#include "sablewick/condition/table.hpp"
#include "sablewick/config/records.hpp"
#include "sablewick/result/records.hpp"

namespace sablewick::achievement::checker {

// Every record whose opportunity is `opportunity`, whose own id is not in
// `achieved` and whose condition holds (a condition that does not parse
// never holds), in the achievement map's order. The conditions are
// `tables` entries over `arena` (the compiled rules'). Changes nothing; allocates
// only on a find.
//
// `changed`: what the state changed since the last check of the same
// opportunity in this life (Snapshot masks; everything when there was none).
// A record that reads none of it answers as it did then: it was not met
// (or it would be achieved now), so it is not asked again.
std::vector<simulator::AchievementInfo> check_achievements(config::Opportunity opportunity,
                                                           const condition::Snapshot& state,
                                                           const AchievedSet& achieved, const AchievementRules& rules,
                                                           std::span<const condition::TableCondition> tables,
                                                           const condition::TestArena& arena,
                                                           std::uint32_t changed = condition::Snapshot::kEverything);

}  // namespace sablewick::achievement::checker
