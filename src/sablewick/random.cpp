#include "sablewick/random.hpp"

#include <pthread.h>

#include <atomic>
#include <random>

namespace sablewick {
namespace {

// Bumped in a forked child so that every thread there reseeds before its
// next draw: a child must not repeat its parent's lives.
std::atomic<unsigned> fork_generation{0};

void on_fork_child() { fork_generation.fetch_add(1, std::memory_order_relaxed); }

const bool fork_handler_installed = [] {
    pthread_atfork(nullptr, nullptr, on_fork_child);
    return true;
}();

class ThreadGenerator final : public RandomSource {
public:
    ThreadGenerator() { reseed(); }

    std::uint64_t next_u64() override {
        unsigned generation = fork_generation.load(std::memory_order_relaxed);
        if (generation != generation_) reseed();
        return engine_();
    }

private:
    void reseed() {
        std::random_device device;
        std::seed_seq seq{device(), device(), device(), device(),
                          device(), device(), device(), device()};
        engine_.seed(seq);
        generation_ = fork_generation.load(std::memory_order_relaxed);
    }

    std::mt19937_64 engine_;
    unsigned generation_ = 0;
};

}  // namespace

RandomSource& thread_random() {
    (void)fork_handler_installed;
    thread_local ThreadGenerator generator;
    return generator;
}

}  // namespace sablewick
