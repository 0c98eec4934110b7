// The weighted draw of a year's event.

#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/random.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

std::optional<std::int32_t> SimulationEngine::draw_event(
    const std::vector<std::pair<std::int32_t, double>>& list, const property::PropertyState& state,
    RandomSource& random, std::vector<std::pair<std::int32_t, double>>& candidates) const {
    using condition::Outcome;
    candidates.clear();
    if (list.empty() || events.empty()) return std::nullopt;
    candidates.reserve(list.size());

    double total = 0.0;
    for (const auto& [id, weight] : list) {
        auto found = events.find(id);
        if (found == events.end()) continue;
        const config::EventConfig& event = found->second;
        if (event.no_random) continue;
        // A condition that does not parse neither excludes nor holds back.
        if (event.exclude && event.exclude->check(state) == Outcome::True) continue;
        if (event.include && event.include->check(state) == Outcome::False) continue;
        candidates.emplace_back(id, weight);
        total += weight;
    }
    // NaN is not <= 0: it goes on to the draw, where the last candidate wins.
    if (candidates.empty() || total <= 0.0) return std::nullopt;

    double target = total * random.next_unit();
    for (const auto& [id, weight] : candidates) {
        target -= weight;
        if (target <= 0.0) return id;
    }
    return candidates.back().first;
}

}  // namespace sablewick::simulator
