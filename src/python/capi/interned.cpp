#include "python/capi/interned.hpp"

namespace sablewick::py::capi {

bool intern_all(std::span<const InternedName> names) {
    for (const InternedName& name : names) {
        *name.slot = PyUnicode_InternFromString(name.text);
        if (!*name.slot) {
            for (const InternedName& made : names) Py_CLEAR(*made.slot);
            return false;
        }
    }
    return true;
}

}  // namespace sablewick::py::capi
