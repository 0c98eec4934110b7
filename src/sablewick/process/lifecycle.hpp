#pragma once
// The process lifecycle: what a fork and the exit do to the state that lives
// for the whole process. Every fork handler runs from the one pthread_atfork
// registration made here, in the fixed order of ForkStep, whichever part of
// the process happened to start first.
//
// Fork. The child has one thread, a copy of the one that forked: a lock that
// another thread held stays held there for good, and every thread that the
// process started is gone. Each step is installed by the part that owns its
// state: the engine's when that state is made, before a second thread can
// use it; the module's with the module's state, at its first import.
//
//   kConfigStore     (module) The store's lock. Not taken before a fork:
//                    its readers are simulations of any length, and no
//                    writer holds it while the forking thread holds the
//                    interpreter lock (init_config writes with it held).
//                    Child: starts over unlocked, since the readers that
//                    held it (pool threads) are gone.
//   kConditionCache  (engine) The condition cache's lock, taken inside a
//                    simulation and when a replaced configuration releases
//                    its texts, under the store's. Prepare: taken for
//                    writing, so no thread is inside the map while the
//                    process is copied. Parent: released. Child: starts
//                    over unlocked (the lock knows its writer by a thread
//                    id that the child's thread does not have).
//   kThreadPool      (engine) The pool that asynchronous lives run on.
//                    Child: none of its threads exists and its lock may be
//                    held by one of them, so the pool is abandoned with its
//                    queued lives; the next life started makes a fresh one.
//   kCompletions     (module) The completion thread with its hand-over
//                    queue and exit gate. Child: abandoned for fresh ones;
//                    the next simulate_async starts a new thread, which
//                    makes its own thread state (the interpreter deleted
//                    the old thread's in the child).
//   kSeeds           (engine, this file's own) fork_generation(). Child:
//                    moves on, so the per-thread random generators and
//                    hash-key seeds seed again before their next use, and a
//                    child never repeats its parent's lives or map keys.
//
// Prepare handlers run in that order, which is the process's lock order
// (outermost first); parent and child handlers run in the reverse order.
//
// Exit. None of this state is torn down: the cache, the pool, the store and
// the module's state are never destroyed, since background threads may still
// use them while the process ends. The module adds the one exit step, an
// atexit hook registered at its first import (simulate/completer.hpp): a
// life asked for later is simulated on its caller's thread
// (simulate/async_entry.cpp); deliveries go on while a later hook may await
// a life still to come (one whose loop is open), until the interpreter
// finalises, and otherwise stop there.

#include <cstddef>

namespace sablewick::process::lifecycle {

enum class ForkStep : unsigned {
    kConfigStore,
    kConditionCache,
    kThreadPool,
    kCompletions,
    kSeeds,
};
inline constexpr std::size_t kForkSteps = 5;

struct ForkHandlers {
    void (*prepare)() = nullptr;  // in the parent, before the fork
    void (*parent)() = nullptr;   // in the parent, after it
    void (*child)() = nullptr;    // in the child, before fork() returns there
};

// Installs the handlers of `step`; they must live as long as the process (a
// static). A step is installed once: later calls for it change nothing. The
// first call here, or to fork_generation(), makes the registration.
void install(ForkStep step, const ForkHandlers& handlers) noexcept;

// Moves on in every forked child (kSeeds). State seeded per thread from the
// OS remembers the generation it was seeded in, and seeds again once the
// generation has moved on.
unsigned fork_generation() noexcept;

}  // namespace sablewick::process::lifecycle
