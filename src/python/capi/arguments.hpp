#pragma once
// Binding of fast-call arguments to named parameters, with the standard
// argument messages, and the "argument 'name': " prefix for conversion errors.

#include "python/capi/py_ref.hpp"

#include <cstddef>

namespace sablewick::py::capi {

struct Signature {
    const char* display_name;  // "init_config" or "GameSession.get_year"
    const char* const* names;  // parameter names, in order
    std::size_t count;         // number of parameters
    std::size_t required;      // the first `required` parameters have no default
};

// Fills out[0..count) with borrowed references (nullptr where not given).
// Returns false with TypeError set, using the messages (fixed interface
// texts, word for word pyo3's, "1 required positional argument" included):
//   "f() missing 1 required positional argument: 'a'" ('a' and 'b'; 'a', 'b', and 'c')
//   "f() takes from 1 to 2 positional arguments but 3 were given"
//   "f() takes 2 positional arguments but 3 were given" (all required; "was" for 1)
//   "f() got an unexpected keyword argument 'x'"
//   "f() got multiple values for argument 'a'"
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** out);

// If the pending exception is exactly TypeError, replaces it by
// TypeError("argument '<name>': <text>") whose __cause__ is the original
// (a fixed interface text, as pyo3 words it).
// Other pending exceptions are left as they are.
void prefix_argument_error(const char* name);

// The result of converting argument `name` (a bool, or an optional), passed
// on; a failed conversion gets the argument's prefix first.
template <class Converted>
Converted with_argument_prefix(Converted converted, const char* name) {
    if (!converted) prefix_argument_error(name);
    return converted;
}

}  // namespace sablewick::py::capi
