// simulate_async: one whole life on a background pool thread, without the
// interpreter lock, delivered to an asyncio future of the caller's loop.
//
// Road of one call: convert the arguments and check the store here; create
// the future (running loop, copied context, done callback that notes a
// cancellation); queue the job on the pool. The pool thread takes the
// store's read lock, simulates and renders, releases the lock and hands the
// value to the completion thread, which wraps it and gives it to the loop
// through call_soon_threadsafe, in the copied context.

#include <cxxabi.h>

#include <atomic>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "python/capi/boundary.hpp"
#include "python/simulate/bridge.hpp"
#include "python/simulate/completer.hpp"
#include "sablewick/runtime/pool.hpp"
#include "python/config/store.hpp"
#include "python/module.hpp"
#include "python/simulate/arguments.hpp"
#include "python/simulate/life.hpp"
#include "python/session/game_session_type.hpp"

namespace sablewick::py::simulate {

using namespace capi;

namespace {

// Fixed interface text, compared byte for byte: the lines on Tokio's
// spawn_blocking and the `py` interpreter token stay, though no Tokio runs
// here and `py` is no parameter.
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

class AsyncLife final : public runtime::pool::Job {
public:
    SimulationArguments arguments;
    config::ConfigCell* cell = nullptr;
    // Its Python references are taken over by the completion.
    std::unique_ptr<completer::Outcome> outcome;

    // Nothing after simulate() can fail, so the outcome always reaches the
    // completion thread.
    void run(runtime::pool::TaskId id) override {
        simulate(id);
        release_arguments();
        completer::hand_over(std::move(outcome));
    }

private:
    void release_arguments() noexcept {
        std::vector<std::int32_t>().swap(arguments.talent_ids);
        arguments.properties.clear();
        arguments.achieved_ids.clear();
        arguments.history.reset();
    }

    __attribute__((no_sanitize("null")))  // see ThreadPool::work
    void
    simulate(runtime::pool::TaskId id) {
        std::exception_ptr failure;
        try {
            outcome->session.emplace(simulate_session(*cell, arguments));
            return;
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (...) {
            failure = std::current_exception();
        }
        try {
            outcome->panic = runtime::pool::describe_panic(id, failure);
        } catch (const std::exception&) {
            outcome->panic.clear();  // still reported, without a description
        }
    }
};

// Once the module's exit hook ran, the completion thread may stop at any
// moment: a life asked for later (by an exit hook of the host's that runs
// after the module's) is simulated here, on the loop's thread, and its
// future gets the session before the call returns.
PyObject* resolved_here(PyObject* future, config::ConfigCell& cell, const SimulationArguments& arguments) {
    PyRef session = PyRef::steal(session::wrap_game_session(simulate_session(cell, arguments)));
    if (!session) return nullptr;
    PyRef set = PyRef::steal(bridge::call_method(bridge::loaded().set_result, future, session.get()));
    if (!set) return nullptr;
    return Py_NewRef(future);
}

PyObject* simulate_async(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto job = std::make_unique<AsyncLife>();
    if (!convert_simulation_arguments("simulate_async", args, nargs, kwnames, job->arguments)) {
        return nullptr;
    }
    job->cell = require_config();
    if (!job->cell) return nullptr;

    const bridge::Objects* b = bridge::objects();
    if (!b) return nullptr;
    PyRef loop = PyRef::steal(PyObject_CallNoArgs(b->get_running_loop));
    if (!loop) return nullptr;
    PyRef context = PyRef::steal(PyObject_CallNoArgs(b->copy_context));
    if (!context) return nullptr;
    PyRef future = PyRef::steal(bridge::call_method(b->create_future, loop.get()));
    if (!future) return nullptr;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    PyRef callback = PyRef::steal(bridge::make_done_callback(cancelled));
    if (!callback) return nullptr;
    PyRef added = PyRef::steal(bridge::call_method(b->add_done_callback, future.get(), callback.get()));
    if (!added) return nullptr;
    if (completer::exit_hook_ran()) return resolved_here(future.get(), *job->cell, job->arguments);
    if (!completer::prepare()) return nullptr;
    auto pool = runtime::pool::process_pool();
    if (!pool) {
        PyErr_SetString(PyExc_RuntimeError, pool.error().c_str());
        return nullptr;
    }

    job->outcome = std::make_unique<completer::Outcome>();
    completer::Outcome& outcome = *job->outcome;
    outcome.cancelled = std::move(cancelled);
    outcome.loop = loop.release();
    outcome.future = Py_NewRef(future.get());
    outcome.context = context.release();
    completer::track(outcome);
    std::unique_ptr<runtime::pool::Job> queued = std::move(job);
    // Until the pool has taken the job (submit may also throw), the outcome's
    // references are this call's to release. Releasing may run host code, so
    // this destructor may be left by a forced unwind.
    struct ReleaseUnlessQueued {
        completer::Outcome& outcome;
        bool queued = false;
        ~ReleaseUnlessQueued() noexcept(false) {
            if (queued) return;
            for (PyObject** held : {&outcome.loop, &outcome.future, &outcome.context}) {
                release_reference(std::exchange(*held, nullptr));
            }
        }
    } release{outcome};
    std::expected<runtime::pool::TaskId, std::string> submitted = (*pool)->submit(queued);
    if (!submitted) {
        PyErr_SetString(PyExc_RuntimeError, submitted.error().c_str());
        return nullptr;
    }
    release.queued = true;
    return future.release();
}

}  // namespace

PyMethodDef simulate_async_definition = {
    "simulate_async",
    as_cfunction(guarded<simulate_async>),
    METH_FASTCALL | METH_KEYWORDS,
    kDoc,
};

}  // namespace sablewick::py::simulate
