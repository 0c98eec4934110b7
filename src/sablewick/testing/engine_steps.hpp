#pragma once
// Single steps of a life, for tests and benchmarks: a life takes them inside
// SimulationEngine::simulate, with scratch of its own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

// One talent pass over TLT: returns the "TLT" lines, applies the effects
// and raises the counts.
std::vector<YearEntry> do_talents(const SimulationEngine& engine, property::PropertyState& state,
                                  TriggerCounts& counts, RandomSource& random);

// Makes event `event_id` happen and follows its branches, appending one
// "EVT" line per event to `lines`.
void process_event_chain(const SimulationEngine& engine, property::PropertyState& state, std::int32_t event_id,
                         std::vector<YearEntry>& lines, RandomSource& random);

// The weighted draw over an event table (an age's, or any list of pairs);
// nothing when no event happens.
std::optional<std::int32_t> draw_event(const SimulationEngine& engine,
                                       const std::vector<std::pair<std::int32_t, double>>& list,
                                       property::PropertyState& state, RandomSource& random);

// How often talent `id` fired (0 for an id that never fired or has no
// record, and while the counts are bound to other rules than `engine`'s).
std::int32_t trigger_count(const SimulationEngine& engine, const TriggerCounts& counts, std::int32_t id);
// How many talents fired.
std::size_t fired_talents(const SimulationEngine& engine, const TriggerCounts& counts);

}  // namespace sablewick::simulator
