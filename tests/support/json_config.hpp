#pragma once
// Reads the benchmark configuration (large_config.py --json) into the
// engine's records, the way init_config reads the same dicts: every record is
// a dict, so only the dict form of each field is handled here.

#include <string>

#include "sablewick/simulator/engine.hpp"

namespace sablewick::bench {

// Throws std::runtime_error when the file cannot be read or parsed.
simulator::SimulationEngine load_engine(const std::string& path);

}  // namespace sablewick::bench
