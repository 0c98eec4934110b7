// Event chains: an event happens, then the first branch that held is followed.

#include "sablewick/condition/condition_text.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

void SimulationEngine::process_event_chain(property::PropertyState& state, std::int32_t event_id,
                                           std::vector<YearEntry>& lines,
                                           RandomSource& random) const {
    // A loop, not recursion: a branch may lead back to an earlier event
    // forever, so the chain stops after kMaxChainSteps events.
    std::int32_t id = event_id;
    for (std::int32_t step = 0; step < kMaxChainSteps; ++step) {
        auto found = events.find(id);
        if (found == events.end()) return;
        const config::EventConfig& event = found->second;

        // The branch is chosen before the event takes effect.
        const config::EventBranch* next = nullptr;
        if (event.branch) {
            for (const auto& branch : *event.branch) {
                if (branch.condition.check(state) == condition::Outcome::True) {
                    next = &branch;
                    break;
                }
            }
        }

        state.add_event(id);

        YearEntry& line = lines.emplace_back();
        line.kind = "EVT";
        if (!next && event.post_event) {
            line.text.reserve(event.event.size() + event.post_event->size());
            line.text.append(event.event).append(*event.post_event);
        } else {
            line.text = event.event;
        }
        line.grade = event.grade;

        if (event.effect) apply_effect(state, *event.effect, random);
        if (!next) return;
        id = next->event_id;
    }
}

}  // namespace sablewick::simulator
