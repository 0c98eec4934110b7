#pragma once
// Achievements newly met at one opportunity of a life.

#include <vector>

#include "sablewick/config/records.hpp"
#include "sablewick/containers.hpp"
#include "sablewick/simulator/result.hpp"

namespace sablewick::property { class PropertyState; }

namespace sablewick::achievement::checker {

// Every record whose opportunity is `opportunity`, whose own id is not in
// `achieved` and whose condition holds (a condition that does not parse
// never holds), in map order. Changes nothing; allocates only on a find.
std::vector<simulator::AchievementInfo> check_achievements(
    config::Opportunity opportunity, const property::PropertyState& state, const IdSet& achieved,
    const IdMap<config::AchievementConfig>& achievements);

}  // namespace sablewick::achievement::checker
