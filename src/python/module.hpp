#pragma once
// The module's functions, defined by their parts; the initialiser
// (module.cpp) adds them in this order, then the GameSession class.

#include "python/capi/py_ref.hpp"

namespace sablewick::py {

namespace config {
extern PyMethodDef init_config_definition;
extern PyMethodDef is_config_initialized_definition;
}  // namespace config

namespace simulate {
extern PyMethodDef simulate_full_life_definition;
extern PyMethodDef simulate_async_definition;
}  // namespace simulate

}  // namespace sablewick::py
