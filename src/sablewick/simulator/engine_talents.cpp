// Talent triggering and the effect rule.

#include "sablewick/base/random.hpp"
#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/property/wrapping.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

using property::Code;

void TriggerCounts::bind(const property::IdSpaces& spaces) {
    spaces_ = &spaces;
    counts_.assign(spaces.talent_count(), 0);
}

void TriggerCounts::raise_at(std::uint32_t index) noexcept {
    counts_[index] = property::wrapping_add(counts_[index], 1);
}

void apply_effect(property::PropertyState& s, const config::EffectConfig& e, RandomSource& random) {
#define SABLEWICK_APPLY(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(effect, if (e.name != 0) s.add_value(Code::name, e.name);)
    SABLEWICK_PROPERTIES(SABLEWICK_APPLY)
#undef SABLEWICK_APPLY
    if (e.RDM != 0) s.add_random(e.RDM, random);
}

void SimulationEngine::do_talents(property::PropertyState& state, TriggerCounts& counts, RandomSource& random,
                                  std::vector<const TalentRule*>& pending, std::vector<YearEntry>* out) const {
    const CompiledRules& compiled = bound(state);
    if (!counts.bound_to(compiled.spaces)) counts.bind(compiled.spaces);
    if (state.TLT.empty() || compiled.talents.empty()) return;

    // Collect first: every condition of the pass sees the state as it was
    // before the pass. A count is raised at once, so a second copy of the
    // same id in TLT sees it.
    pending.clear();
    const condition::Snapshot snapshot(state);
    const std::span<const std::uint32_t> indices = state.talent_indices();
    for (std::size_t k = 0; k < indices.size(); ++k) {
        if (indices[k] == property::IdSpaces::kNone) continue;
        const TalentRule& rule = compiled.talents[indices[k]];
        if (counts.at(indices[k]) >= rule.record->max_triggers) continue;
        if (!compiled.holds(rule.condition, snapshot)) continue;
        counts.raise_at(indices[k]);
        pending.push_back(&rule);
    }

    for (const TalentRule* rule : pending) {
        const config::TalentConfig& talent = *rule->record;
        if (out) out->push_back(YearEntry{"TLT", talent.description, talent.name, talent.grade});
        if (talent.effect) apply_effect(state, *talent.effect, random);
    }
}

}  // namespace sablewick::simulator
