// Talent triggering and the effect rule.

#include <algorithm>

#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/property/wrapping.hpp"
#include "sablewick/random.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

using property::Code;

std::int32_t TriggerCounts::get(std::int32_t id) const noexcept {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const auto& entry, std::int32_t key) { return entry.first < key; });
    return it != entries_.end() && it->first == id ? it->second : 0;
}

void TriggerCounts::raise(std::int32_t id) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const auto& entry, std::int32_t key) { return entry.first < key; });
    if (it != entries_.end() && it->first == id) {
        it->second = property::wrapping_add(it->second, 1);
    } else {
        entries_.insert(it, {id, 1});
    }
}

void apply_effect(property::PropertyState& s, const config::EffectConfig& e, RandomSource& random) {
    if (e.CHR != 0) s.add_value(Code::CHR, e.CHR);
    if (e.INT != 0) s.add_value(Code::INT, e.INT);
    if (e.STR != 0) s.add_value(Code::STR, e.STR);
    if (e.MNY != 0) s.add_value(Code::MNY, e.MNY);
    if (e.SPR != 0) s.add_value(Code::SPR, e.SPR);
    if (e.LIF != 0) s.add_value(Code::LIF, e.LIF);
    if (e.AGE != 0) s.add_value(Code::AGE, e.AGE);
    if (e.RDM != 0) s.add_random(e.RDM, random);
}

void SimulationEngine::do_talents(property::PropertyState& state, TriggerCounts& counts,
                                  RandomSource& random,
                                  std::vector<const config::TalentConfig*>& pending,
                                  std::vector<YearEntry>* out) const {
    if (state.TLT.empty() || talents.empty()) return;

    // Collect first: every condition of the pass sees the state as it was
    // before the pass. A count is raised at once, so a second copy of the
    // same id in TLT sees it.
    pending.clear();
    for (std::int32_t id : state.TLT) {
        auto found = talents.find(id);
        if (found == talents.end()) continue;
        const config::TalentConfig& talent = found->second;
        if (counts.get(id) >= talent.max_triggers) continue;
        if (talent.condition && talent.condition->check(state) != condition::Outcome::True) continue;
        counts.raise(id);
        pending.push_back(&talent);
    }

    for (const config::TalentConfig* talent : pending) {
        if (out) out->push_back(YearEntry{"TLT", talent->description, talent->name, talent->grade});
        if (talent->effect) apply_effect(state, *talent->effect, random);
    }
}

std::vector<YearEntry> SimulationEngine::do_talents(property::PropertyState& state,
                                                    TriggerCounts& counts,
                                                    RandomSource& random) const {
    std::vector<YearEntry> lines;
    std::vector<const config::TalentConfig*> pending;
    do_talents(state, counts, random, pending, &lines);
    return lines;
}

}  // namespace sablewick::simulator
