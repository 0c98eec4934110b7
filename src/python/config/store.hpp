#pragma once
// The process-wide store of the loaded configuration.

#include <atomic>
#include <memory>

#include "sablewick/process/shared_lock.hpp"

#include "sablewick/simulator/engine.hpp"
#include "sablewick/simulator/session.hpp"

namespace sablewick::py::config {

struct CachedConfig {
    simulator::SimulationEngine engine;
    simulator::SharedEmojiMap emoji_map;
};

// One lock around one configuration. Once set, the cell is never replaced
// nor freed (it lives until the process ends); a reload swaps the
// configuration inside it under the write lock.
struct ConfigCell {
    process::WriterFirstLock lock;
    CachedConfig config;
};

class ConfigStore {
public:
    // Without a lock.
    bool is_set() const noexcept { return cell_.load(std::memory_order_acquire) != nullptr; }
    // nullptr while no load has succeeded.
    ConfigCell* cell() const noexcept { return cell_.load(std::memory_order_acquire); }
    // Sets the store, or replaces the configuration in place under the write lock.
    void store(CachedConfig&& config);
    // The store's fork step (process/lifecycle.hpp), in a forked child:
    // readers that held the lock in the parent (pool threads) do not exist
    // there, so the lock starts over unlocked. Only readers can hold it while
    // the forking thread has the interpreter lock.
    static void forget_readers_after_fork() noexcept;

private:
    std::atomic<ConfigCell*> cell_{nullptr};
};

ConfigStore& cached_config();

}  // namespace sablewick::py::config
