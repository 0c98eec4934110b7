#include "python/simulate/life.hpp"

#include <shared_mutex>
#include <utility>

namespace sablewick::py::simulate {

config::ConfigCell* require_config() {
    config::ConfigCell* cell = config::cached_config().cell();
    if (!cell) {
        // Fixed interface text.
        PyErr_SetString(PyExc_RuntimeError, "Config not initialized. Call init_config() first.");
    }
    return cell;
}

simulator::GameSession simulate_session(config::ConfigCell& cell, const SimulationArguments& arguments) {
    static const simulator::EmojiMap* no_emoji = new simulator::EmojiMap();
    std::shared_lock guard(cell.lock);
    const config::CachedConfig& config = cell.config;
    simulator::SimulationResult result = config.engine.simulate(arguments.talent_ids, arguments.properties,
                                                                arguments.achieved_ids, arguments.history_or_null());
    return simulator::GameSession::create(std::move(result), config.emoji_map ? *config.emoji_map : *no_emoji);
}

}  // namespace sablewick::py::simulate
