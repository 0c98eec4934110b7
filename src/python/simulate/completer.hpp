#pragma once
// Completion of asynchronous lives: one thread of the pool's kind hands
// every finished life to its asyncio future.
//
// Pool threads never take the interpreter lock. A simulating thread that
// took it could lose its processor to the other simulating threads while
// holding it, and the host's event loop would wait behind a whole round of
// them; the completion thread runs at the priority of the threads that
// start jobs, holds the lock only to wrap and schedule what is ready, and
// delivers everything that finished meanwhile in one go. A delivery the
// host's loop or future refused is kept and tried again in a later round,
// after a pause that doubles while it keeps failing, so the other lives go
// on meanwhile and a refusal that lasts costs little.
//
// The thread has one interpreter thread state, made at its first round and
// kept (the host may keep thread-local data there); in a forked child the
// interpreter deletes it with the thread, and the child's new completion
// thread makes its own.

#include "python/capi/py_ref.hpp"

#include <memory>
#include <optional>
#include <string>

#include "python/simulate/bridge.hpp"
#include "sablewick/simulator/session.hpp"

namespace sablewick::py::simulate::completer {

struct ExitGate;

// What a finished job hands over. The references are strong; they are
// released only with the interpreter lock held (and left alone once the
// interpreter is finalising). Made with the job, so that handing it over
// needs no memory.
struct Outcome {
    std::optional<simulator::GameSession> session;  // absent: the job failed
    std::string panic;                              // the failure's description
    bridge::CancelFlag cancelled;
    PyObject* loop = nullptr;
    PyObject* future = nullptr;
    PyObject* context = nullptr;
    // Made at the first delivery attempt and kept for the next ones
    // (delivery.hpp): the session or error to hand over, and the setter
    // (borrowed from the bridge) that hands it over on the loop's thread.
    PyObject* value = nullptr;
    PyObject* setter = nullptr;
    bool failure_shown = false;     // a failed attempt was shown already
    Outcome* next_ready = nullptr;  // the completion queue's link
    // The exit gate's list of lives not yet delivered (track()).
    struct PendingLink {
        ExitGate* list = nullptr;
        Outcome* prev = nullptr;
        Outcome* next = nullptr;
    } pending;

    Outcome() = default;
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;
    // Leaves the list of lives not yet delivered; releases nothing of Python's.
    ~Outcome();

    // With the interpreter lock.
    void release_python();
};

// With the interpreter lock, before a job is queued: starts the completion
// thread if it does not run (the first time, or again in a forked child).
// False with the exception set.
bool prepare();

// The completer's steps of the process lifecycle (process/lifecycle.hpp),
// taken once, at the module's first import.
// The fork step, in the child: the completion thread is gone, so its queue
// and exit gate are abandoned for fresh ones.
void reset_after_fork() noexcept;
// The exit step: an atexit hook. While a life not yet delivered belongs to
// a loop that is not closed, a host's exit hook that runs after the
// module's may still await it: deliveries go on then, until the interpreter
// finalises. Otherwise no delivery takes the interpreter lock after the
// hook, which waits (without that lock) for a round that already asked for
// it. False with the exception set.
bool register_exit_hook();
// With the interpreter lock: true once the exit hook ran (or the interpreter
// finalises); no life is queued for this thread then.
bool exit_hook_ran();

// With the interpreter lock, once the outcome holds its loop and before its
// job is queued: the exit hook sees the life until the outcome is destroyed.
void track(Outcome& outcome);

// From any thread, without the interpreter lock: queues the outcome for
// delivery. Never blocks on the interpreter lock, never allocates, never fails.
void hand_over(std::unique_ptr<Outcome> outcome) noexcept;

}  // namespace sablewick::py::simulate::completer
