#pragma once
// The condition texts of one load. Records that carry the same str object
// (a host that builds its records around one shared text) get one
// ConditionText without the text being converted or hashed again; equal
// texts in distinct objects still share one cache entry.

#include "python/capi/py_ref.hpp"

#include <optional>
#include <unordered_map>

#include "sablewick/condition/condition_text.hpp"

namespace sablewick::py::config {

class LoadedTexts {
public:
    // The condition of `value`: a str or subclass, else cast error 'str'
    // (surrogates: UnicodeEncodeError); none with the exception set.
    std::optional<condition::ConditionText> read(PyObject* value);

private:
    // Each str is held until the load ends, so its address cannot be
    // reused by another object meanwhile.
    struct Seen {
        capi::PyRef object;
        condition::ConditionText text;
    };
    std::unordered_map<PyObject*, Seen> seen_;
};

}  // namespace sablewick::py::config
