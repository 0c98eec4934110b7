#pragma once
// The step both entries share once their arguments are converted: one life
// simulated and rendered under the store's read lock.

#include "python/capi/py_ref.hpp"

#include "python/config/store.hpp"
#include "python/simulate/arguments.hpp"
#include "sablewick/simulator/session.hpp"

namespace sablewick::py::simulate {

// The stored configuration's cell, or nullptr with RuntimeError
// "Config not initialized. Call init_config() first." set.
config::ConfigCell* require_config();

// One life on the configuration stored in `cell` at this moment, rendered
// into its session, with the store's read lock held across both. Calls no
// Python, so it runs on any thread; may throw std::bad_alloc.
simulator::GameSession simulate_session(config::ConfigCell& cell, const SimulationArguments& arguments);

}  // namespace sablewick::py::simulate
