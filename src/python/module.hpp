#pragma once
// The members of the module, added by the module initialiser in this order.

#include "python/capi/py_ref.hpp"

namespace sablewick::py {

// Sets module.<name> = member and appends name to module.__all__ (created
// on first use). Steals `member`. Returns -1 with an exception set.
int add_member(PyObject* module, const char* name, PyObject* member);

// Adds the module function of `definition` (which lives as long as the
// process) under its own name, by add_member.
int add_function(PyObject* module, PyMethodDef& definition);

namespace config {
int add_config_functions(PyObject* module);      // init_config, is_config_initialized
}
namespace simulate {
int add_simulate_full_life(PyObject* module);    // simulate_full_life
int add_simulate_async(PyObject* module);        // simulate_async
}
namespace session {
int add_game_session_class(PyObject* module);    // GameSession
}

}  // namespace sablewick::py
