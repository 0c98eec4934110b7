#pragma once
// Strs made once and kept: the field names the loaders look up, the keys of
// the dicts a session hands out, the method names the asyncio bridge calls.
// Interning them once means no call creates a key string.

#include "python/capi/py_ref.hpp"

#include <span>

namespace sablewick::py::capi {

struct InternedName {
    PyObject** slot;
    const char* text;
};

// Fills every slot with the interned str of its text. On failure the strs
// already made are released, every slot is left null, and false is returned
// with the exception set.
bool intern_all(std::span<const InternedName> names);

}  // namespace sablewick::py::capi
