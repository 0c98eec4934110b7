#pragma once
// The Python class GameSession: a read-only view of one simulated life.

#include "python/capi/py_ref.hpp"

#include "sablewick/simulator/session.hpp"

namespace sablewick::py::session {

// A new GameSession instance owning `value`. Returns nullptr with the
// exception set on failure (the value is then released).
PyObject* wrap_game_session(simulator::GameSession&& value);

// The class, made once with the module's state (module_state.hpp); nullptr
// with the exception set.
PyTypeObject* make_session_type(PyObject* module);

}  // namespace sablewick::py::session
