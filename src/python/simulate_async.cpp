// simulate_async: one whole life on a background pool thread, without the
// interpreter lock, delivered to an asyncio future of the caller's loop.
//
// Road of one call: convert the arguments and check the store here; create
// the future (running loop, copied context, done callback that notes a
// cancellation); queue the job on the pool. The pool thread takes the
// store's read lock, simulates and renders, and releases the lock before it
// asks for the interpreter lock; then it wraps the value and hands it to the
// loop through call_soon_threadsafe, in the copied context.
//
// Exit: an atexit hook stops completions from taking the interpreter lock
// once finalisation begins (3.12 ends such a thread with pthread_exit), and
// waits for those already on their way. Nothing in the forced-unwind path
// catches everything.

#include <cxxabi.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>

#include "async_pool.hpp"
#include "config_store.hpp"
#include "game_session_type.hpp"
#include "module_members.hpp"
#include "simulation_arguments.hpp"

namespace sablewick::py {

namespace {

// How long the exit hook waits for completions that already asked for the
// interpreter lock; they need it only to hand over a finished value.
constexpr std::chrono::seconds kExitDrainTimeout{5};

constexpr const char kDoc[] =
    "simulate_async(talent_ids, properties, achieved_ids, tms=0, aevt=None, atlt=None, "
    "cachv=0)\n"
    "--\n"
    "\n"
    "Simulate a complete life trajectory asynchronously\n"
    "\n"
    "This function runs the simulation in a background thread using Tokio's\n"
    "spawn_blocking, allowing Python's asyncio event loop to remain responsive.\n"
    "The GIL is automatically released during the CPU-intensive simulation.\n"
    "\n"
    "# Arguments\n"
    "* `py` - Python interpreter token\n"
    "* `talent_ids` - List of selected talent IDs\n"
    "* `properties` - Initial property allocation {CHR, INT, STR, MNY}\n"
    "* `achieved_ids` - Set of already achieved achievement IDs\n"
    "* `tms` - Play count (TMS)\n"
    "* `aevt` - Historical events (AEVT)\n"
    "* `atlt` - Historical talents (ATLT)\n"
    "* `cachv` - Achievement count (CACHV)\n"
    "\n"
    "# Returns\n"
    "A Python awaitable that resolves to a GameSession object\n"
    "\n"
    "# Raises\n"
    "RuntimeError if `init_config` was not called first\n"
    "\n"
    "# Example (Python)\n"
    "```python\n"
    "session = await simulate_async([1, 2, 3], {\"CHR\": 5, \"INT\": 5}, set(), 10)\n"
    "print(session.total_years)\n"
    "```";

// ---------------------------------------------------------------------------
// Exit and fork state, shared by the pool threads and the exit hook.

struct ExitGate {
    std::mutex mutex;
    std::condition_variable drained;
    std::atomic<bool> finalizing{false};
    std::size_t in_flight = 0;  // completions past the check, not yet done
};

std::atomic<ExitGate*> exit_gate{new ExitGate};

ExitGate& gate() { return *exit_gate.load(std::memory_order_acquire); }

bool interpreter_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

// In a forked child none of the parent's pool threads exist: their entries
// in the gate and their read locks on the store are gone with them.
void reset_in_child() {
    exit_gate.store(new ExitGate, std::memory_order_release);  // the old one is abandoned
    cached_config().forget_readers_after_fork();
}

// ---------------------------------------------------------------------------
// Python objects of the bridge, made once and kept for the life of the process.

PyObject* set_result_unless_done(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* set_exception_unless_done(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* note_cancellation(PyObject* self, PyObject* future);
PyObject* stop_completions(PyObject*, PyObject*);

PyMethodDef set_result_definition = {
    "_set_result_unless_done",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(set_result_unless_done)),
    METH_FASTCALL, nullptr};
PyMethodDef set_exception_definition = {
    "_set_exception_unless_done",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(set_exception_unless_done)),
    METH_FASTCALL, nullptr};
PyMethodDef note_cancellation_definition = {"_note_cancellation", note_cancellation, METH_O,
                                            nullptr};
PyMethodDef stop_completions_definition = {"_stop_simulation_completions", stop_completions,
                                           METH_NOARGS, nullptr};

struct Bridge {
    PyObject* get_running_loop = nullptr;
    PyObject* copy_context = nullptr;
    PyObject* create_future = nullptr;
    PyObject* add_done_callback = nullptr;
    PyObject* call_soon_threadsafe = nullptr;
    PyObject* cancelled = nullptr;
    PyObject* set_result = nullptr;
    PyObject* set_exception = nullptr;
    PyObject* context_keyword = nullptr;  // ("context",)
    PyObject* result_setter = nullptr;
    PyObject* exception_setter = nullptr;
};

Bridge* the_bridge = nullptr;

PyObject* attribute_of(const char* module_name, const char* attribute) {
    PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
    return module ? PyObject_GetAttrString(module.get(), attribute) : nullptr;
}

// With the interpreter lock. nullptr with the exception set on failure.
Bridge* bridge() {
    if (the_bridge) return the_bridge;
    PyRef get_running_loop = PyRef::steal(attribute_of("asyncio", "get_running_loop"));
    if (!get_running_loop) return nullptr;
    PyRef copy_context = PyRef::steal(attribute_of("contextvars", "copy_context"));
    if (!copy_context) return nullptr;
    PyRef names[] = {
        PyRef::steal(PyUnicode_InternFromString("create_future")),
        PyRef::steal(PyUnicode_InternFromString("add_done_callback")),
        PyRef::steal(PyUnicode_InternFromString("call_soon_threadsafe")),
        PyRef::steal(PyUnicode_InternFromString("cancelled")),
        PyRef::steal(PyUnicode_InternFromString("set_result")),
        PyRef::steal(PyUnicode_InternFromString("set_exception")),
        PyRef::steal(PyUnicode_InternFromString("context")),
    };
    for (const PyRef& name : names) {
        if (!name) return nullptr;
    }
    PyRef context_keyword = PyRef::steal(PyTuple_Pack(1, names[6].get()));
    PyRef result_setter = PyRef::steal(PyCFunction_New(&set_result_definition, nullptr));
    PyRef exception_setter = PyRef::steal(PyCFunction_New(&set_exception_definition, nullptr));
    if (!context_keyword || !result_setter || !exception_setter) return nullptr;

    auto* made = new (std::nothrow) Bridge;
    if (!made) {
        PyErr_NoMemory();
        return nullptr;
    }
    made->get_running_loop = get_running_loop.release();
    made->copy_context = copy_context.release();
    made->create_future = names[0].release();
    made->add_done_callback = names[1].release();
    made->call_soon_threadsafe = names[2].release();
    made->cancelled = names[3].release();
    made->set_result = names[4].release();
    made->set_exception = names[5].release();
    made->context_keyword = context_keyword.release();
    made->result_setter = result_setter.release();
    made->exception_setter = exception_setter.release();
    the_bridge = made;
    return made;
}

PyObject* call_method(PyObject* name, PyObject* self) {
    return PyObject_VectorcallMethod(name, &self, 1, nullptr);
}

PyObject* call_method(PyObject* name, PyObject* self, PyObject* arg) {
    PyObject* args[] = {self, arg};
    return PyObject_VectorcallMethod(name, args, 2, nullptr);
}

// 1 when the future was cancelled, 0 when not, -1 with the exception set.
int future_cancelled(PyObject* future) {
    PyRef cancelled = PyRef::steal(call_method(the_bridge->cancelled, future));
    if (!cancelled) return -1;
    return PyObject_IsTrue(cancelled.get());
}

// Runs on the loop's thread: the future may have been cancelled since the
// value was scheduled. A future the host completed itself is not skipped:
// the setter's InvalidStateError goes to the loop's exception handler.
PyObject* set_unless_done(PyObject* const* args, Py_ssize_t nargs, PyObject* setter_name,
                          const char* function_name) {
    if (nargs != 2) {
        PyErr_Format(PyExc_TypeError, "%s() takes 2 positional arguments but %zd were given",
                     function_name, nargs);
        return nullptr;
    }
    const int is_cancelled = future_cancelled(args[0]);
    if (is_cancelled < 0) return nullptr;
    if (is_cancelled) Py_RETURN_NONE;
    return call_method(setter_name, args[0], args[1]);
}

PyObject* set_result_unless_done(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return set_unless_done(args, nargs, the_bridge->set_result, "_set_result_unless_done");
}

PyObject* set_exception_unless_done(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return set_unless_done(args, nargs, the_bridge->set_exception, "_set_exception_unless_done");
}

// Shared between the done callback and the job.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;
constexpr const char kFlagCapsule[] = "sablewick_core.cancel_flag";

void release_flag_capsule(PyObject* capsule) {
    delete static_cast<CancelFlag*>(PyCapsule_GetPointer(capsule, kFlagCapsule));
}

// The future's done callback: a cancelled future tells the job to drop its value.
PyObject* note_cancellation(PyObject* self, PyObject* future) {
    auto* flag = static_cast<CancelFlag*>(PyCapsule_GetPointer(self, kFlagCapsule));
    if (!flag) return nullptr;
    PyRef cancelled = PyRef::steal(call_method(the_bridge->cancelled, future));
    if (!cancelled) return nullptr;
    const int is_cancelled = PyObject_IsTrue(cancelled.get());
    if (is_cancelled < 0) return nullptr;
    if (is_cancelled) (*flag)->store(true, std::memory_order_release);
    Py_RETURN_NONE;
}

PyObject* make_done_callback(const CancelFlag& flag) {
    auto* held = new (std::nothrow) CancelFlag(flag);
    if (!held) return PyErr_NoMemory();
    PyRef capsule = PyRef::steal(PyCapsule_New(held, kFlagCapsule, release_flag_capsule));
    if (!capsule) {
        delete held;
        return nullptr;
    }
    return PyCFunction_New(&note_cancellation_definition, capsule.get());
}

// The atexit hook: no completion takes the interpreter lock from now on;
// wait (without the lock) for those that already asked for it.
PyObject* stop_completions(PyObject*, PyObject*) {
    ExitGate& exit = gate();
    {
        std::lock_guard lock(exit.mutex);
        exit.finalizing.store(true, std::memory_order_release);
    }
    Py_BEGIN_ALLOW_THREADS
    {
        std::unique_lock lock(exit.mutex);
        exit.drained.wait_for(lock, kExitDrainTimeout, [&] { return exit.in_flight == 0; });
    }
    Py_END_ALLOW_THREADS
    Py_RETURN_NONE;
}

// Registers the exit hook and the fork handler once, then makes the pool.
// nullptr with the exception set when either fails.
pool::ThreadPool* ensure_pool() {
    static bool hook_registered = false;  // survives fork, as atexit's list does
    if (!hook_registered) {
        PyRef register_function = PyRef::steal(attribute_of("atexit", "register"));
        if (!register_function) return nullptr;
        PyRef hook = PyRef::steal(PyCFunction_New(&stop_completions_definition, nullptr));
        if (!hook) return nullptr;
        PyRef registered = PyRef::steal(PyObject_CallOneArg(register_function.get(), hook.get()));
        if (!registered) return nullptr;
        pthread_atfork(nullptr, nullptr, &reset_in_child);
        hook_registered = true;
    }
    auto pool = pool::process_pool();
    if (!pool) {
        PyErr_SetString(PyExc_RuntimeError, pool.error().c_str());
        return nullptr;
    }
    return *pool;
}

// ---------------------------------------------------------------------------
// The job.


class AsyncLife final : public pool::Job {
public:
    SimulationArguments arguments;
    ConfigCell* cell = nullptr;
    CancelFlag cancelled;
    // Strong references, released only with the interpreter lock held. When
    // the interpreter is finalising they are left alone (leaked).
    PyObject* loop = nullptr;
    PyObject* future = nullptr;
    PyObject* context = nullptr;

    // With the interpreter lock: for a job that never reached the pool.
    void release_python() {
        Py_CLEAR(loop);
        Py_CLEAR(future);
        Py_CLEAR(context);
    }

    void run(pool::TaskId id) override {
        std::optional<simulator::GameSession> session;
        std::string panic;
        simulate(id, session, panic);
        arguments = SimulationArguments{};
        complete(session, panic);
    }

private:
    __attribute__((no_sanitize("null")))  // see ThreadPool::work
    void simulate(pool::TaskId id, std::optional<simulator::GameSession>& session,
                  std::string& panic) {
        std::exception_ptr failure;
        try {
            session.emplace(simulate_session(*cell, arguments));
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (...) {
            failure = std::current_exception();
        }
        if (session) return;
        try {
            panic = pool::describe_panic(id, failure);
        } catch (const std::exception&) {
            panic.clear();  // still reported, without a description
        }
    }

    // Hands the outcome over; the store's lock is no longer held here.
    void complete(std::optional<simulator::GameSession>& session, const std::string& panic) {
        if (cancelled->load(std::memory_order_acquire)) session.reset();  // dropped without the lock
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
        // The done callback that sets the flag runs only when the loop turns
        // again; the future itself knows at once (a cancel just before the
        // loop was closed must not end in a delivery error).
        if (!cancelled->load(std::memory_order_acquire) &&
            !exit.finalizing.load(std::memory_order_acquire)) {
            const int is_cancelled = future_cancelled(future);
            if (is_cancelled < 0) PyErr_Clear();
            if (is_cancelled == 0) deliver(session, panic);
        }
        session.reset();
        release_python();
        PyGILState_Release(held);
    }

    // With the interpreter lock.
    void deliver(std::optional<simulator::GameSession>& session, const std::string& panic) {
        PyObject* setter = the_bridge->result_setter;
        PyRef value;
        if (session) {
            value = PyRef::steal(wrap_game_session(std::move(*session)));
        } else {
            PyRef message = PyRef::steal(
                PyUnicode_FromFormat("Simulation task panicked: %s", panic.c_str()));
            if (message) value = PyRef::steal(PyObject_CallOneArg(PyExc_RuntimeError, message.get()));
            setter = the_bridge->exception_setter;
        }
        if (!value) {
            if (!PyErr_Occurred()) PyErr_NoMemory();
            value = PyRef::steal(PyErr_GetRaisedException());
            setter = the_bridge->exception_setter;
        }
        PyObject* args[] = {loop, setter, future, value.get(), context};
        PyRef scheduled =
            PyRef::steal(PyObject_VectorcallMethod(the_bridge->call_soon_threadsafe, args, 4,
                                                   the_bridge->context_keyword));
        // A closed loop: the error is shown as the interpreter shows an
        // uncaught one, and the value is dropped.
        if (!scheduled) PyErr_Print();
    }
};

// ---------------------------------------------------------------------------
// The entry.

PyObject* start(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto job = std::make_unique<AsyncLife>();
    if (!convert_simulation_arguments("simulate_async", args, nargs, kwnames, job->arguments)) {
        return nullptr;
    }
    job->cell = require_config();
    if (!job->cell) return nullptr;

    Bridge* b = bridge();
    if (!b) return nullptr;
    PyRef loop = PyRef::steal(PyObject_CallNoArgs(b->get_running_loop));
    if (!loop) return nullptr;
    PyRef context = PyRef::steal(PyObject_CallNoArgs(b->copy_context));
    if (!context) return nullptr;
    PyRef future = PyRef::steal(call_method(b->create_future, loop.get()));
    if (!future) return nullptr;
    job->cancelled = std::make_shared<std::atomic<bool>>(false);
    PyRef callback = PyRef::steal(make_done_callback(job->cancelled));
    if (!callback) return nullptr;
    PyRef added = PyRef::steal(call_method(b->add_done_callback, future.get(), callback.get()));
    if (!added) return nullptr;
    pool::ThreadPool* pool = ensure_pool();
    if (!pool) return nullptr;

    job->loop = loop.release();
    job->future = Py_NewRef(future.get());
    job->context = context.release();
    AsyncLife* pending = job.get();
    std::unique_ptr<pool::Job> queued = std::move(job);
    std::expected<pool::TaskId, std::string> submitted;
    try {
        submitted = pool->submit(queued);
    } catch (const std::bad_alloc&) {
        pending->release_python();  // the job was not taken
        return PyErr_NoMemory();
    }
    if (!submitted) {
        pending->release_python();
        PyErr_SetString(PyExc_RuntimeError, submitted.error().c_str());
        return nullptr;
    }
    return future.release();
}

PyObject* simulate_async(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    try {
        return start(args, nargs, kwnames);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

PyMethodDef definition = {
    "simulate_async",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(simulate_async)),
    METH_FASTCALL | METH_KEYWORDS,
    kDoc,
};

}  // namespace

int add_simulate_async(PyObject* module) {
    return add_function(module, definition);
}

}  // namespace sablewick::py
