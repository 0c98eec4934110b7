#pragma once
// The read-only rule set a life runs on, and the simulation of one life.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sablewick/config/records.hpp"
#include "sablewick/containers.hpp"
#include "sablewick/simulator/result.hpp"

namespace sablewick { class RandomSource; }
namespace sablewick::property { class PropertyState; }

namespace sablewick::simulator {

class SimulationEngine {
public:
    IdMap<config::TalentConfig> talents;
    IdMap<config::EventConfig> events;
    IdMap<config::AgeConfig> ages;
    IdMap<config::AchievementConfig> achievements;
    StringMap<std::vector<config::JudgeLevel>> judge;  // each sorted by min, highest first

    // One whole life. Never fails. `random` defaults to the thread's generator.
    SimulationResult simulate(const std::vector<std::int32_t>& talent_ids,
                              const StringMap<std::int32_t>& properties,
                              const IdSet& achieved_ids,
                              const PlayHistory* history) const;
    SimulationResult simulate(const std::vector<std::int32_t>& talent_ids,
                              const StringMap<std::int32_t>& properties,
                              const IdSet& achieved_ids,
                              const PlayHistory* history,
                              RandomSource& random) const;
};

}  // namespace sablewick::simulator
