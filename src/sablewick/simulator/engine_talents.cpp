// Talent triggering and the effect rule.

#include <algorithm>

#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/random.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {
namespace {

std::int32_t wrapping_add(std::int32_t a, std::int32_t b) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

void add_tracked(std::int32_t& value, std::int32_t& low, std::int32_t& high, std::int32_t d) noexcept {
    value = wrapping_add(value, d);
    low = std::min(low, value);
    high = std::max(high, value);
}

}  // namespace

std::int32_t TriggerCounts::get(std::int32_t id) const noexcept {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const auto& entry, std::int32_t key) { return entry.first < key; });
    return it != entries_.end() && it->first == id ? it->second : 0;
}

void TriggerCounts::raise(std::int32_t id) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const auto& entry, std::int32_t key) { return entry.first < key; });
    if (it != entries_.end() && it->first == id) {
        it->second = wrapping_add(it->second, 1);
    } else {
        entries_.insert(it, {id, 1});
    }
}

void apply_effect(property::PropertyState& s, const config::EffectConfig& e, RandomSource& random) {
    if (e.CHR != 0) add_tracked(s.CHR, s.LCHR, s.HCHR, e.CHR);
    if (e.INT != 0) add_tracked(s.INT, s.LINT, s.HINT, e.INT);
    if (e.STR != 0) add_tracked(s.STR, s.LSTR, s.HSTR, e.STR);
    if (e.MNY != 0) add_tracked(s.MNY, s.LMNY, s.HMNY, e.MNY);
    if (e.SPR != 0) add_tracked(s.SPR, s.LSPR, s.HSPR, e.SPR);
    if (e.LIF != 0) s.LIF = wrapping_add(s.LIF, e.LIF);
    if (e.AGE != 0) add_tracked(s.AGE, s.LAGE, s.HAGE, e.AGE);
    if (e.RDM != 0) s.change("RDM", e.RDM, random);
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
