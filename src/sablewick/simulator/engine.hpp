#pragma once
// The read-only rule set a life runs on, and the simulation of one life.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sablewick/base/containers.hpp"
#include "sablewick/config/records.hpp"
#include "sablewick/result/records.hpp"
#include "sablewick/simulator/compiled_rules.hpp"

namespace sablewick {
class RandomSource;
}
namespace sablewick::property {
class PropertyState;
}

namespace sablewick::simulator {

// A life whose LIF never falls ends after this many years; the last record
// then carries is_end = true whatever its LIF.
inline constexpr std::int32_t kMaxYears = 1000;
// An event chain takes at most this many steps; the event of the last step
// keeps its line and effect (its chosen branch is not followed).
inline constexpr std::int32_t kMaxChainSteps = 256;

// How often each talent fired in one life, by the talent numbering of the
// rules it is bound to (on first use; binding starts the counts at 0).
class TriggerCounts {
public:
    void bind(const property::IdSpaces& spaces);
    bool bound_to(const property::IdSpaces& spaces) const noexcept { return spaces_ == &spaces; }
    std::int32_t at(std::uint32_t index) const noexcept { return counts_[index]; }
    void raise_at(std::uint32_t index) noexcept;

private:
    const property::IdSpaces* spaces_ = nullptr;
    std::vector<std::int32_t> counts_;
};

// Applies the non-zero deltas in the order CHR INT STR MNY SPR LIF AGE RDM.
void apply_effect(property::PropertyState& state, const config::EffectConfig& effect, RandomSource& random);

class SimulationEngine {
public:
    SimulationEngine() = default;
    // A copy has the same maps and compiles its own rules when it needs them.
    SimulationEngine(const SimulationEngine& other);
    SimulationEngine& operator=(const SimulationEngine& other);
    SimulationEngine(SimulationEngine&&) noexcept = default;
    SimulationEngine& operator=(SimulationEngine&&) noexcept = default;
    ~SimulationEngine();

    IdMap<config::TalentConfig> talents;
    IdMap<config::EventConfig> events;
    IdMap<config::AgeConfig> ages;
    IdMap<config::AchievementConfig> achievements;
    StringMap<std::vector<config::JudgeLevel>> judge;  // each sorted by min, highest first

    // Compiles the maps into the form the yearly loop runs on. The maps
    // must not change afterwards, unless prepare() runs again. A loaded
    // configuration is prepared before it is stored and shared.
    void prepare();
    // The compiled rules; compiled from the maps here when prepare() was
    // never called (not safe to race: prepare an engine before sharing it).
    const CompiledRules& rules() const;

    // One whole life. Never fails. `random` defaults to the thread's generator.
    SimulationResult simulate(const std::vector<std::int32_t>& talent_ids, const StringMap<std::int32_t>& properties,
                              const IdSet& achieved_ids, const PlayHistory* history) const;
    SimulationResult simulate(const std::vector<std::int32_t>& talent_ids, const StringMap<std::int32_t>& properties,
                              const IdSet& achieved_ids, const PlayHistory* history, RandomSource& random) const;

    // Grades one summary value against the levels of `key`.
    std::optional<JudgeResult> judge_property(std::string_view key, std::int32_t value) const;

private:
    // The tests' way to one step of a life (testing/engine_steps.hpp).
    friend struct EngineTestAccess;

    // The state's id sets over this engine's numbering (bound on first use).
    const CompiledRules& bound(property::PropertyState& state) const;
    // One talent pass over TLT, with caller-owned scratch: applies the
    // effects, raises the counts and appends the "TLT" lines to `out` (or
    // makes none when `out` is null).
    void do_talents(property::PropertyState& state, TriggerCounts& counts, RandomSource& random,
                    std::vector<const TalentRule*>& pending, std::vector<YearEntry>* out) const;
    void run_chain(const CompiledRules& rules, property::PropertyState& state, std::uint32_t event,
                   std::vector<YearEntry>& lines, RandomSource& random) const;
    // Scratch of the draws of one life.
    struct DrawScratch {
        std::vector<std::uint8_t> keep;
        std::vector<std::uint32_t> kept;
    };
    // The chosen event (its dense number), if any: from `candidates`, with
    // their events' filters, or from the age's at-age candidates.
    static std::optional<std::uint32_t> draw(const CompiledRules& rules, std::span<const Candidate> candidates,
                                             const property::PropertyState& state, RandomSource& random,
                                             DrawScratch& scratch);
    static std::optional<std::uint32_t> draw_at_age(const CompiledRules& rules, const AgeRule& age,
                                                    const property::PropertyState& state, RandomSource& random,
                                                    DrawScratch& scratch);

    mutable std::unique_ptr<const CompiledRules> rules_;
};

}  // namespace sablewick::simulator
