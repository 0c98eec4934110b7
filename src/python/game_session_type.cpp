// Placeholder until this member is built.
#include "module_members.hpp"

namespace sablewick::py {
int add_game_session_class(PyObject*) { return 0; }
}  // namespace sablewick::py
