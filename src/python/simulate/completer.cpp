#include "python/simulate/completer.hpp"

#include "python/capi/boundary.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "python/simulate/delivery.hpp"
#include "sablewick/runtime/handover_queue.hpp"
#include "sablewick/runtime/pool.hpp"

namespace sablewick::py::simulate::completer {

using namespace capi;

// Exit: once the gate closes, no round takes the interpreter lock (3.12 ends
// a thread that asks for it during finalisation with pthread_exit).
struct ExitGate {
    std::mutex mutex;
    std::condition_variable drained;
    std::atomic<bool> hook_ran{false};
    std::atomic<bool> closed{false};
    std::size_t in_flight = 0;   // rounds past the check, not yet done
    Outcome* pending = nullptr;  // lives queued and not yet delivered
};

namespace {

// How long the exit hook waits for a delivery round that already asked for
// the interpreter lock; it needs the lock only to hand over finished values.
constexpr std::chrono::seconds kExitDrainTimeout{5};
// While every pool thread has several lives queued behind the one it runs,
// a late delivery costs the pool nothing: the completion thread then gathers
// what finishes over a millisecond and takes the interpreter lock (and wakes
// the host's loop) once for all of it, not once for each life. With fewer
// queued, the threads could run dry meanwhile, so it delivers at once.
constexpr std::chrono::microseconds kBackloggedGathering{1000};
constexpr std::size_t kBacklogPerThread = 4;

struct Queue {
    runtime::HandOverQueue<Outcome> outcomes;
    PyInterpreterState* interpreter = nullptr;  // set before the thread starts
    std::mutex start_mutex;
    bool thread_running = false;  // guarded by start_mutex
};

// Replaced (the old ones abandoned) in a forked child, where neither the
// completion thread nor any pool thread exists.
std::atomic<ExitGate*> exit_gate{new ExitGate};
std::atomic<Queue*> the_queue{new Queue};

ExitGate& gate() { return *exit_gate.load(std::memory_order_acquire); }
Queue& queue() { return *the_queue.load(std::memory_order_acquire); }

bool interpreter_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

// With the interpreter lock: some life not yet delivered belongs to a loop
// that is not closed (or cannot tell), so a later exit hook may await it.
bool awaitable_lives_pending(ExitGate& exit) {
    std::vector<PyObject*> loops;
    try {
        std::lock_guard lock(exit.mutex);
        for (const Outcome* life = exit.pending; life; life = life->pending.next) {
            if (life->loop && !(life->cancelled && life->cancelled->load(std::memory_order_acquire))) {
                loops.push_back(life->loop);
            }
        }
    } catch (const std::bad_alloc&) {
        return true;
    }
    std::ranges::sort(loops);
    loops.erase(std::ranges::unique(loops).begin(), loops.end());
    // Held: is_closed() may hand the interpreter lock over, and the lives
    // that kept these loops may be delivered meanwhile.
    for (PyObject* loop : loops) Py_INCREF(loop);
    bool open = false;
    for (PyObject* loop : loops) {
        if (!open) open = delivery::loop_closed(loop) != 1;
        release_reference(loop);
    }
    return open;
}

// The atexit hook. A life that a later hook may await keeps deliveries
// going until the interpreter finalises; otherwise no round takes the
// interpreter lock from now on, and the hook waits (without the lock) for
// one that already asked for it, so that none is ended halfway by the
// finalisation.
PyObject* stop_completions(PyObject*, PyObject*) {
    ExitGate& exit = gate();
    exit.hook_ran.store(true, std::memory_order_release);
    // A sub-interpreter is ended right after its exit hooks, whatever they
    // await: its deliveries stop here.
    const bool main_interpreter = PyThreadState_GetInterpreter(PyThreadState_Get()) == PyInterpreterState_Main();
    if (main_interpreter && !exit.closed.load(std::memory_order_acquire) && awaitable_lives_pending(exit)) {
        Py_RETURN_NONE;
    }
    {
        std::lock_guard lock(exit.mutex);
        exit.closed.store(true, std::memory_order_release);
    }
    Py_BEGIN_ALLOW_THREADS {
        std::unique_lock lock(exit.mutex);
        exit.drained.wait_for(lock, kExitDrainTimeout, [&] { return exit.in_flight == 0; });
    }
    Py_END_ALLOW_THREADS Py_RETURN_NONE;
}

PyMethodDef stop_completions_definition = {"_stop_simulation_completions", guarded<stop_completions>, METH_NOARGS,
                                           nullptr};

// A round that cannot deliver everything keeps the rest for a later one:
// first after kFirstRetry, then twice as long each time the retries fail
// again, at most kLongestRetry.
constexpr std::chrono::milliseconds kFirstRetry{1};
constexpr std::chrono::milliseconds kLongestRetry{250};

// The completion thread's own state.
struct Completion {
    PyInterpreterState* interpreter = nullptr;
    // Made at the first round and kept for the main interpreter. A
    // sub-interpreter can be ended only by its last thread state, so there
    // each round makes its own and deletes it.
    PyThreadState* thread_state = nullptr;
    runtime::ReadyList<Outcome> retry;   // refused, to be tried again
    std::chrono::milliseconds pause{0};  // zero while nothing waits
    std::chrono::steady_clock::time_point retry_at;
};

// One round: everything that is ready, under one hold of the interpreter
// lock; what was refused moves to the retry list. False when the interpreter
// is finalising: then nothing was touched.
bool complete(runtime::ReadyList<Outcome>& batch, Completion& completion) {
    batch.for_each([](Outcome& outcome) {
        // Dropped without the lock when the cancellation is already known.
        if (outcome.cancelled->load(std::memory_order_acquire)) outcome.session.reset();
    });
    ExitGate& exit = gate();
    {
        std::lock_guard lock(exit.mutex);
        if (exit.closed.load(std::memory_order_acquire) || interpreter_finalizing()) return false;
        ++exit.in_flight;
    }
    // Also runs when PyEval_RestoreThread ends the thread by unwinding.
    struct InFlight {
        ExitGate& exit;
        ~InFlight() {
            std::lock_guard lock(exit.mutex);
            --exit.in_flight;
            exit.drained.notify_all();
        }
    } in_flight{exit};

    // Made here, past the exit gate, so never during finalisation. Without
    // the memory for it, the round waits for a later one.
    if (!completion.thread_state) completion.thread_state = PyThreadState_New(completion.interpreter);
    if (!completion.thread_state) {
        completion.retry.splice_back(batch);
        return true;
    }
    PyEval_RestoreThread(completion.thread_state);
    while (std::unique_ptr<Outcome> outcome = batch.pop_front()) {
        if (!outcome->cancelled->load(std::memory_order_acquire) && !exit.closed.load(std::memory_order_acquire) &&
            delivery::attempt(*outcome) == delivery::Attempt::kRetry) {
            completion.retry.push_back(std::move(outcome));
            continue;
        }
        outcome->session.reset();
        outcome->release_python();
    }
    if (completion.interpreter == PyInterpreterState_Main()) {
        PyEval_SaveThread();
    } else {
        PyThreadState_Clear(completion.thread_state);
        PyThreadState_DeleteCurrent();
        completion.thread_state = nullptr;
    }
    return true;
}

// Outcomes left when the gate closed: their Python references go with the
// process. Without the interpreter lock, so the gate's lock keeps the exit
// hook from reading them meanwhile.
void abandon(runtime::ReadyList<Outcome>& outcomes) {
    {
        std::lock_guard lock(gate().mutex);
        outcomes.for_each(
            [](Outcome& outcome) { outcome.loop = outcome.future = outcome.context = outcome.value = nullptr; });
    }
    outcomes.clear();
}

void* completion_thread(void* state) {
    Queue& q = *static_cast<Queue*>(state);
    Completion completion{.interpreter = q.interpreter};
    runtime::ReadyList<Outcome> batch;
    for (;;) {
        if (completion.retry.empty()) {
            q.outcomes.take_all(batch);
        } else {
            q.outcomes.take_all_until(batch, completion.retry_at);
        }
        const runtime::pool::ThreadPool* lives = runtime::pool::existing_process_pool();
        if (!batch.empty() && lives && lives->backlogged(kBacklogPerThread)) {
            std::this_thread::sleep_for(kBackloggedGathering);
            q.outcomes.take_ready(batch);
        }
        const bool retrying = !completion.retry.empty() && std::chrono::steady_clock::now() >= completion.retry_at;
        if (retrying) {
            // The older ones first.
            completion.retry.splice_back(batch);
            batch.splice_back(completion.retry);
        }
        if (batch.empty()) continue;
        if (!complete(batch, completion)) {
            abandon(batch);
            abandon(completion.retry);
            continue;
        }
        if (completion.retry.empty()) {
            completion.pause = std::chrono::milliseconds{0};
        } else if (retrying || completion.pause.count() == 0) {
            completion.pause =
                completion.pause.count() == 0 ? kFirstRetry : std::min(2 * completion.pause, kLongestRetry);
            completion.retry_at = std::chrono::steady_clock::now() + completion.pause;
        }
    }
    return nullptr;
}

}  // namespace

Outcome::~Outcome() {
    // A gate replaced in a forked child is left alone: its lock may be held
    // by a thread the child does not have.
    ExitGate* list = pending.list;
    if (!list || list != exit_gate.load(std::memory_order_acquire)) return;
    std::lock_guard lock(list->mutex);
    (pending.prev ? pending.prev->pending.next : list->pending) = pending.next;
    if (pending.next) pending.next->pending.prev = pending.prev;
}

void Outcome::release_python() {
    Py_CLEAR(loop);
    Py_CLEAR(future);
    Py_CLEAR(context);
    Py_CLEAR(value);
}

void reset_after_fork() noexcept {
    exit_gate.store(new ExitGate, std::memory_order_release);
    the_queue.store(new Queue, std::memory_order_release);
}

bool register_exit_hook() {
    PyRef register_function = PyRef::steal(bridge::attribute_of("atexit", "register"));
    if (!register_function) return false;
    PyRef hook = PyRef::steal(PyCFunction_New(&stop_completions_definition, nullptr));
    if (!hook) return false;
    PyRef registered = PyRef::steal(PyObject_CallOneArg(register_function.get(), hook.get()));
    return static_cast<bool>(registered);
}

bool exit_hook_ran() { return gate().hook_ran.load(std::memory_order_acquire) || interpreter_finalizing(); }

void track(Outcome& outcome) {
    ExitGate& exit = gate();
    std::lock_guard lock(exit.mutex);
    outcome.pending = {.list = &exit, .prev = nullptr, .next = exit.pending};
    if (exit.pending) exit.pending->pending.prev = &outcome;
    exit.pending = &outcome;
}

bool prepare() {
    Queue& q = queue();
    std::lock_guard lock(q.start_mutex);
    if (q.thread_running) return true;
    q.interpreter = PyInterpreterState_Get();
    if (const int error = runtime::pool::start_named_thread(&completion_thread, &q); error != 0) {
        PyErr_SetString(PyExc_RuntimeError, runtime::pool::spawn_error_text(error).c_str());
        return false;
    }
    q.thread_running = true;
    return true;
}

void hand_over(std::unique_ptr<Outcome> outcome) noexcept { queue().outcomes.hand_over(std::move(outcome)); }

}  // namespace sablewick::py::simulate::completer
