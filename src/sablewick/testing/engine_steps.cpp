#include "sablewick/testing/engine_steps.hpp"

#include "sablewick/property/state.hpp"

namespace sablewick::simulator {

struct EngineTestAccess {
    static void do_talents(const SimulationEngine& engine, property::PropertyState& state, TriggerCounts& counts,
                           RandomSource& random, std::vector<YearEntry>& lines) {
        std::vector<const TalentRule*> pending;
        engine.do_talents(state, counts, random, pending, &lines);
    }
    static const CompiledRules& bound(const SimulationEngine& engine, property::PropertyState& state) {
        return engine.bound(state);
    }
    static void run_chain(const SimulationEngine& engine, const CompiledRules& rules, property::PropertyState& state,
                          std::uint32_t event, std::vector<YearEntry>& lines, RandomSource& random) {
        engine.run_chain(rules, state, event, lines, random);
    }
    static std::optional<std::uint32_t> draw(const CompiledRules& rules, std::span<const Candidate> candidates,
                                             const property::PropertyState& state, RandomSource& random) {
        SimulationEngine::DrawScratch scratch;
        return SimulationEngine::draw(rules, candidates, state, random, scratch);
    }
};

std::vector<YearEntry> do_talents(const SimulationEngine& engine, property::PropertyState& state,
                                  TriggerCounts& counts, RandomSource& random) {
    std::vector<YearEntry> lines;
    EngineTestAccess::do_talents(engine, state, counts, random, lines);
    return lines;
}

void process_event_chain(const SimulationEngine& engine, property::PropertyState& state, std::int32_t event_id,
                         std::vector<YearEntry>& lines, RandomSource& random) {
    const CompiledRules& rules = EngineTestAccess::bound(engine, state);
    const std::uint32_t event = rules.spaces.event(event_id);
    if (event != property::IdSpaces::kNone) EngineTestAccess::run_chain(engine, rules, state, event, lines, random);
}

std::optional<std::int32_t> draw_event(const SimulationEngine& engine,
                                       const std::vector<std::pair<std::int32_t, double>>& list,
                                       property::PropertyState& state, RandomSource& random) {
    const CompiledRules& rules = EngineTestAccess::bound(engine, state);
    std::vector<Candidate> candidates;
    rules.add_candidates(list, candidates);
    const auto chosen = EngineTestAccess::draw(rules, candidates, state, random);
    if (!chosen) return std::nullopt;
    return rules.events[*chosen].id;
}

std::int32_t trigger_count(const SimulationEngine& engine, const TriggerCounts& counts, std::int32_t id) {
    const property::IdSpaces& spaces = engine.rules().spaces;
    if (!counts.bound_to(spaces)) return 0;
    const std::uint32_t index = spaces.talent(id);
    return index == property::IdSpaces::kNone ? 0 : counts.at(index);
}

std::size_t fired_talents(const SimulationEngine& engine, const TriggerCounts& counts) {
    const property::IdSpaces& spaces = engine.rules().spaces;
    if (!counts.bound_to(spaces)) return 0;
    std::size_t fired = 0;
    for (std::uint32_t i = 0; i < spaces.talent_count(); ++i) fired += counts.at(i) != 0;
    return fired;
}

}  // namespace sablewick::simulator
