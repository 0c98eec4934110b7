#pragma once
// The read-only rule set a life runs on, and the simulation of one life.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sablewick/config/records.hpp"
#include "sablewick/containers.hpp"
#include "sablewick/simulator/result.hpp"

namespace sablewick { class RandomSource; }
namespace sablewick::property { class PropertyState; }

namespace sablewick::simulator {

// A life whose LIF never falls ends after this many years; the last record
// then carries is_end = true whatever its LIF.
inline constexpr std::int32_t kMaxYears = 1000;
// An event chain takes at most this many steps; the event of the last step
// keeps its line and effect (its chosen branch is not followed).
inline constexpr std::int32_t kMaxChainSteps = 256;

// How often each talent fired in one life. A flat vector sorted by id: a
// handful of entries in practice, inserted once per talent and run.
class TriggerCounts {
public:
    TriggerCounts() { entries_.reserve(8); }
    std::int32_t get(std::int32_t id) const noexcept;
    // Raises the id's count by one (inserting it at 1).
    void raise(std::int32_t id);
    std::size_t size() const noexcept { return entries_.size(); }

private:
    std::vector<std::pair<std::int32_t, std::int32_t>> entries_;
};

// Applies the non-zero deltas in the order CHR INT STR MNY SPR LIF AGE RDM.
void apply_effect(property::PropertyState& state, const config::EffectConfig& effect,
                  RandomSource& random);

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

    // One talent pass over TLT: returns the "TLT" lines, applies the effects
    // and raises the counts.
    std::vector<YearEntry> do_talents(property::PropertyState& state, TriggerCounts& counts,
                                      RandomSource& random) const;
    // The same pass with caller-owned scratch; appends the lines to `out`
    // (or makes none when `out` is null).
    void do_talents(property::PropertyState& state, TriggerCounts& counts, RandomSource& random,
                    std::vector<const config::TalentConfig*>& pending,
                    std::vector<YearEntry>* out) const;

    // Makes event `event_id` happen and follows its branches, appending one
    // "EVT" line per event to `lines`.
    void process_event_chain(property::PropertyState& state, std::int32_t event_id,
                             std::vector<YearEntry>& lines, RandomSource& random) const;

    // The weighted draw over an age's event list; nothing when no event happens.
    // `candidates` is scratch, cleared here.
    std::optional<std::int32_t> draw_event(
        const std::vector<std::pair<std::int32_t, double>>& list,
        const property::PropertyState& state, RandomSource& random,
        std::vector<std::pair<std::int32_t, double>>& candidates) const;

    // Grades one summary value against the levels of `key`.
    std::optional<JudgeResult> judge_property(std::string_view key, std::int32_t value) const;
};

}  // namespace sablewick::simulator
