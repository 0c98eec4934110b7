#pragma once
// A new str from UTF-8 text that this module produced (valid by
// construction: every text came from a Python str or is our own literal).
// One pass sizes the string and picks its width, one writes it, with no
// intermediate buffer and no resizing.

#include "python/capi/py_ref.hpp"

#include <string_view>

namespace sablewick::py::capi {

// New reference, or nullptr with MemoryError set.
PyObject* str_from_valid_utf8(std::string_view text);

}  // namespace sablewick::py::capi
