// Placeholder until this member is built.
#include "module_members.hpp"

namespace sablewick::py {
int add_simulate_async(PyObject*) { return 0; }
}  // namespace sablewick::py
