// Event chains: an event happens, then the first branch that held is followed.

#include "sablewick/property/state.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

void SimulationEngine::run_chain(const CompiledRules& compiled, property::PropertyState& state, std::uint32_t event,
                                 std::vector<YearEntry>& lines, RandomSource& random) const {
    // A loop, not recursion: a branch may lead back to an earlier event
    // forever, so the chain stops after kMaxChainSteps events.
    for (std::int32_t step = 0; step < kMaxChainSteps; ++step) {
        const EventRule& rule = compiled.events[event];
        const config::EventConfig& record = *rule.record;

        // The branch is chosen before the event takes effect.
        const BranchRule* next = nullptr;
        const condition::Snapshot snapshot(state);
        for (std::uint32_t b = rule.branches.begin; b < rule.branches.end; ++b) {
            if (compiled.holds(compiled.branches[b].condition, snapshot)) {
                next = &compiled.branches[b];
                break;
            }
        }

        state.add_event(rule.id, event);

        YearEntry& line = lines.emplace_back();
        line.kind = "EVT";
        if (!next && record.post_event) {
            line.text.reserve(record.event.size() + record.post_event->size());
            line.text.append(record.event).append(*record.post_event);
        } else {
            line.text = record.event;
        }
        line.grade = record.grade;

        if (record.effect) apply_effect(state, *record.effect, random);
        // A branch to an event the configuration lacks ends the chain here.
        if (!next || next->target == property::IdSpaces::kNone) return;
        event = next->target;
    }
}

}  // namespace sablewick::simulator
