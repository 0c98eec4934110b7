// simulate_full_life: one whole life on the caller's thread, with the
// interpreter lock held throughout.

#include "python/capi/boundary.hpp"
#include "python/config/store.hpp"
#include "python/session/game_session_type.hpp"
#include "python/module.hpp"
#include "python/simulate/arguments.hpp"
#include "python/simulate/life.hpp"

namespace sablewick::py::simulate {

using namespace capi;

namespace {

// Fixed interface text, compared byte for byte: "fast version using cached
// config" stays.
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

PyObject* simulate_full_life(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    SimulationArguments arguments;
    if (!convert_simulation_arguments("simulate_full_life", args, nargs, kwnames, arguments)) {
        return nullptr;
    }
    config::ConfigCell* cell = require_config();
    if (!cell) return nullptr;
    // No init_config can run meanwhile: it needs the interpreter lock, which
    // this thread holds for the whole simulation.
    return session::wrap_game_session(simulate_session(*cell, arguments));
}

}  // namespace

PyMethodDef simulate_full_life_definition = {
    "simulate_full_life",
    as_cfunction(guarded<simulate_full_life>),
    METH_FASTCALL | METH_KEYWORDS,
    kDoc,
};

}  // namespace sablewick::py::simulate
