#include "python/simulate/completer.hpp"

#include "python/capi/boundary.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "sablewick/runtime/pool.hpp"
#include "python/session/game_session_type.hpp"
#include "sablewick/runtime/handover_queue.hpp"

namespace sablewick::py::simulate::completer {

using namespace capi;

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

// Exit: once the hook ran, no round takes the interpreter lock (3.12 ends a
// thread that asks for it during finalisation with pthread_exit).
struct ExitGate {
    std::mutex mutex;
    std::condition_variable drained;
    std::atomic<bool> finalizing{false};
    std::size_t in_flight = 0;  // rounds past the check, not yet done
};

struct Queue {
    runtime::HandOverQueue<Outcome> outcomes;
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

// The atexit hook: no round takes the interpreter lock from now on; wait
// (without the lock) for one that already asked for it.
PyObject* stop_completions(PyObject*, PyObject*) {
    ExitGate& exit = gate();
    {
        std::lock_guard lock(exit.mutex);
        exit.finalizing.store(true, std::memory_order_release);
    }
    Py_BEGIN_ALLOW_THREADS {
        std::unique_lock lock(exit.mutex);
        exit.drained.wait_for(lock, kExitDrainTimeout, [&] { return exit.in_flight == 0; });
    }
    Py_END_ALLOW_THREADS Py_RETURN_NONE;
}

PyMethodDef stop_completions_definition = {"_stop_simulation_completions", guarded<stop_completions>, METH_NOARGS,
                                           nullptr};

// With the interpreter lock: wraps the value (or makes the exception) and
// schedules it on the loop's thread, in the copied context.
void deliver(Outcome& outcome) {
    const bridge::Objects& b = bridge::loaded();
    PyObject* setter = b.result_setter;
    PyRef value;
    if (outcome.session) {
        value = PyRef::steal(session::wrap_game_session(std::move(*outcome.session)));
    } else {
        // Fixed interface text, followed by the pool's (runtime/pool.hpp).
        PyRef message = PyRef::steal(PyUnicode_FromFormat("Simulation task panicked: %s", outcome.panic.c_str()));
        if (message) value = PyRef::steal(PyObject_CallOneArg(PyExc_RuntimeError, message.get()));
        setter = b.exception_setter;
    }
    if (!value) {
        if (!PyErr_Occurred()) PyErr_NoMemory();
        value = PyRef::steal(PyErr_GetRaisedException());
        setter = b.exception_setter;
    }
    PyObject* args[] = {outcome.loop, setter, outcome.future, value.get(), outcome.context};
    PyRef scheduled = PyRef::steal(PyObject_VectorcallMethod(b.call_soon_threadsafe, args, 4, b.context_keyword));
    // A closed loop: the error is shown as the interpreter shows an uncaught
    // one, and the value is dropped.
    if (!scheduled) PyErr_Print();
}

// One round: everything that is ready, under one hold of the interpreter lock.
void complete(runtime::ReadyList<Outcome>& batch) {
    batch.for_each([](Outcome& outcome) {
        // Dropped without the lock when the cancellation is already known.
        if (outcome.cancelled->load(std::memory_order_acquire)) outcome.session.reset();
    });
    ExitGate& exit = gate();
    {
        std::lock_guard lock(exit.mutex);
        if (exit.finalizing.load(std::memory_order_acquire) || interpreter_finalizing()) return;
        ++exit.in_flight;
    }
    // Also runs when PyGILState_Ensure ends the thread by unwinding.
    struct InFlight {
        ExitGate& exit;
        ~InFlight() {
            std::lock_guard lock(exit.mutex);
            --exit.in_flight;
            exit.drained.notify_all();
        }
    } in_flight{exit};

    const PyGILState_STATE held = PyGILState_Ensure();
    while (std::unique_ptr<Outcome> outcome = batch.pop_front()) {
        // The done callback that sets the flag runs only when the loop turns
        // again; the future itself knows at once (a cancel just before the
        // loop was closed must not end in a delivery error).
        if (!outcome->cancelled->load(std::memory_order_acquire) && !exit.finalizing.load(std::memory_order_acquire)) {
            const int is_cancelled = bridge::future_cancelled(outcome->future);
            if (is_cancelled < 0) PyErr_Clear();
            if (is_cancelled == 0) deliver(*outcome);
        }
        outcome->session.reset();
        outcome->release_python();
    }
    PyGILState_Release(held);
}

void* completion_thread(void* state) {
    Queue& q = *static_cast<Queue*>(state);
    runtime::ReadyList<Outcome> batch;
    for (;;) {
        q.outcomes.take_all(batch);
        const runtime::pool::ThreadPool* lives = runtime::pool::existing_process_pool();
        if (lives && lives->backlogged(kBacklogPerThread)) {
            std::this_thread::sleep_for(kBackloggedGathering);
            q.outcomes.take_ready(batch);
        }
        complete(batch);
        // Outcomes left here were not released (finalising): their Python
        // references go with the process.
        batch.for_each([](Outcome& outcome) { outcome.loop = outcome.future = outcome.context = nullptr; });
        batch.clear();
    }
    return nullptr;
}

}  // namespace

void Outcome::release_python() {
    Py_CLEAR(loop);
    Py_CLEAR(future);
    Py_CLEAR(context);
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

bool exit_hook_ran() { return gate().finalizing.load(std::memory_order_acquire) || interpreter_finalizing(); }

bool prepare() {
    Queue& q = queue();
    std::lock_guard lock(q.start_mutex);
    if (q.thread_running) return true;
    if (const int error = runtime::pool::start_named_thread(&completion_thread, &q); error != 0) {
        PyErr_SetString(PyExc_RuntimeError, runtime::pool::spawn_error_text(error).c_str());
        return false;
    }
    q.thread_running = true;
    return true;
}

void hand_over(std::unique_ptr<Outcome> outcome) noexcept { queue().outcomes.hand_over(std::move(outcome)); }

}  // namespace sablewick::py::simulate::completer
