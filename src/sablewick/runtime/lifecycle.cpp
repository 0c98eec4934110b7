#include "sablewick/runtime/lifecycle.hpp"

#include <pthread.h>

#include <atomic>

namespace sablewick {
namespace {

std::atomic<unsigned> generation{0};

void on_fork_child() { generation.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

unsigned fork_generation() noexcept {
    static const bool installed = [] {
        pthread_atfork(nullptr, nullptr, on_fork_child);
        return true;
    }();
    (void)installed;
    return generation.load(std::memory_order_relaxed);
}

}  // namespace sablewick
