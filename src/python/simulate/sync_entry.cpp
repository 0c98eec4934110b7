// simulate_full_life: one whole life on the caller's thread, with the
// interpreter lock held throughout.

#include <mutex>
#include <new>
#include <optional>
#include <shared_mutex>
#include <utility>

#include "python/config/store.hpp"
#include "python/session/game_session_type.hpp"
#include "python/module.hpp"
#include "python/simulate/arguments.hpp"

namespace sablewick::py::simulate {

using namespace capi;

namespace {

constexpr const char kDoc[] =
    "simulate_full_life(talent_ids, properties, achieved_ids, tms=0, aevt=None, atlt=None, "
    "cachv=0)\n"
    "--\n"
    "\n"
    "Simulate a complete life trajectory (fast version using cached config)\n"
    "\n"
    "# Arguments\n"
    "* `talent_ids` - List of selected talent IDs\n"
    "* `properties` - Initial property allocation {CHR, INT, STR, MNY}\n"
    "* `achieved_ids` - Set of already achieved achievement IDs\n"
    "\n"
    "# Returns\n"
    "A GameSession object containing the simulation results\n"
    "\n"
    "# Raises\n"
    "RuntimeError if `init_config` was not called first";


PyObject* simulate_full_life(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    SimulationArguments arguments;
    if (!convert_simulation_arguments("simulate_full_life", args, nargs, kwnames, arguments)) {
        return nullptr;
    }
    config::ConfigCell* cell = require_config();
    if (!cell) return nullptr;

    std::optional<simulator::GameSession> session;
    try {
        // No init_config can run meanwhile: it needs the interpreter lock,
        // which this thread holds for the whole simulation.
        session.emplace(simulate_session(*cell, arguments));
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return nullptr;
    } catch (const std::exception& error) {
        // The engine does not throw otherwise; never let it cross into Python.
        PyErr_SetString(PyExc_SystemError, error.what());
        return nullptr;
    }
    return session::wrap_game_session(std::move(*session));
}

PyMethodDef definition = {
    "simulate_full_life",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(simulate_full_life)),
    METH_FASTCALL | METH_KEYWORDS,
    kDoc,
};

}  // namespace

int add_simulate_full_life(PyObject* module) {
    return add_function(module, definition);
}

}  // namespace sablewick::py::simulate
