#include "python/config/store.hpp"

#include <mutex>
#include <new>

namespace sablewick::py::config {

void ConfigStore::store(CachedConfig&& config) {
    if (ConfigCell* cell = this->cell()) {
        // The old configuration is released while the write lock is held.
        std::unique_lock guard(cell->lock);
        cell->config = std::move(config);
        return;
    }
    auto fresh = std::make_unique<ConfigCell>();
    fresh->config = std::move(config);
    ConfigCell* expected = nullptr;
    if (cell_.compare_exchange_strong(expected, fresh.get(), std::memory_order_acq_rel)) {
        fresh.release();
    }
    // Lost a race to set the store: this load is dropped, the call still succeeds.
}

void ConfigStore::forget_readers_after_fork() noexcept {
    if (ConfigCell* cell = cached_config().cell()) cell->lock.reset_after_fork();
}

ConfigStore& cached_config() {
    // Never destroyed: background simulations may still read it at exit.
    static ConfigStore* store = new ConfigStore();
    return *store;
}

}  // namespace sablewick::py::config
