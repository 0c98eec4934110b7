#include "sablewick/base/random.hpp"

#include <random>

#include "sablewick/process/lifecycle.hpp"
#include "sablewick/process/thread_slot.hpp"

namespace sablewick {
namespace {

// A thread reseeds in a forked child before its next draw: a child must not
// repeat its parent's lives.
class ThreadGenerator final : public RandomSource {
public:
    ThreadGenerator() { reseed(); }

    std::uint64_t next_u64() override {
        if (process::lifecycle::fork_generation() != generation_) reseed();
        return engine_();
    }

private:
    void reseed() {
        std::random_device device;
        std::seed_seq seq{device(), device(), device(), device(), device(), device(), device(), device()};
        engine_.seed(seq);
        generation_ = process::lifecycle::fork_generation();
    }

    std::mt19937_64 engine_;
    unsigned generation_ = 0;
};

}  // namespace

// On the heap: the generator's 2.5 KB would not fit in the static
// thread-local storage a loaded module may take (process/thread_slot.hpp).
RandomSource& thread_random() { return process::ThreadSlot<ThreadGenerator>::get(); }

}  // namespace sablewick
