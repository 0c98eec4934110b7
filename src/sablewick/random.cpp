#include "sablewick/random.hpp"

#include <random>

#include "sablewick/runtime/lifecycle.hpp"

namespace sablewick {
namespace {

// A thread reseeds in a forked child before its next draw: a child must not
// repeat its parent's lives.
class ThreadGenerator final : public RandomSource {
public:
    ThreadGenerator() { reseed(); }

    std::uint64_t next_u64() override {
        if (runtime::lifecycle::fork_generation() != generation_) reseed();
        return engine_();
    }

private:
    void reseed() {
        std::random_device device;
        std::seed_seq seq{device(), device(), device(), device(), device(), device(), device(), device()};
        engine_.seed(seq);
        generation_ = runtime::lifecycle::fork_generation();
    }

    std::mt19937_64 engine_;
    unsigned generation_ = 0;
};

}  // namespace

RandomSource& thread_random() {
    thread_local ThreadGenerator generator;
    return generator;
}

}  // namespace sablewick
