#include "sablewick/process/lifecycle.hpp"

#include <pthread.h>

#include <atomic>

namespace sablewick::process::lifecycle {
namespace {

constinit std::atomic<const ForkHandlers*> installed[kForkSteps] = {};
constinit std::atomic<unsigned> generation{0};

constexpr std::size_t index(ForkStep step) { return static_cast<std::size_t>(step); }

void next_generation() { generation.fetch_add(1, std::memory_order_relaxed); }
constexpr ForkHandlers kSeedsStep{nullptr, nullptr, &next_generation};

template <void (*ForkHandlers::*Handler)()>
void run(std::size_t i) {
    const ForkHandlers* handlers = installed[i].load(std::memory_order_acquire);
    if (handlers && handlers->*Handler) (handlers->*Handler)();
}

void prepare_all() {
    for (std::size_t i = 0; i < kForkSteps; ++i) run<&ForkHandlers::prepare>(i);
}
void parent_all() {
    for (std::size_t i = kForkSteps; i-- > 0;) run<&ForkHandlers::parent>(i);
}
void child_all() {
    for (std::size_t i = kForkSteps; i-- > 0;) run<&ForkHandlers::child>(i);
}

void register_once() noexcept {
    static const bool registered = [] {
        installed[index(ForkStep::kSeeds)].store(&kSeedsStep, std::memory_order_release);
        pthread_atfork(&prepare_all, &parent_all, &child_all);
        return true;
    }();
    (void)registered;
}

}  // namespace

void install(ForkStep step, const ForkHandlers& handlers) noexcept {
    register_once();
    const ForkHandlers* none = nullptr;
    installed[index(step)].compare_exchange_strong(none, &handlers, std::memory_order_acq_rel);
}

unsigned fork_generation() noexcept {
    register_once();
    return generation.load(std::memory_order_relaxed);
}

}  // namespace sablewick::process::lifecycle
