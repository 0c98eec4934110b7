#pragma once
// The condition texts of one load. Every text is shared through the
// condition cache; records that carry the same str object of a long text (a
// host that builds its records around one shared text) get it without the
// text being hashed again. A short text costs less to hash than to remember.

#include "python/capi/py_ref.hpp"

#include <cstddef>
#include <optional>
#include <unordered_map>

#include "sablewick/condition/condition_text.hpp"

namespace sablewick::py::config {

class LoadedTexts {
public:
    LoadedTexts() = default;
    LoadedTexts(const LoadedTexts&) = delete;
    LoadedTexts& operator=(const LoadedTexts&) = delete;
    // Releasing a str may run host code, so may be left by a forced unwind:
    // never from the map's noexcept destructor.
    ~LoadedTexts() noexcept(false);

    // The condition of `value`: a str or subclass, else cast error 'str'
    // (surrogates: UnicodeEncodeError); none with the exception set.
    std::optional<condition::ConditionText> read(PyObject* value);

    // Texts from this many bytes on are remembered by their str object.
    static constexpr std::size_t kLongText = 1024;

private:
    // Each str is held until the load ends, so its address cannot be
    // reused by another object meanwhile.
    struct Seen {
        PyObject* object;  // a strong reference, released by ~LoadedTexts
        condition::ConditionText text;
    };
    std::unordered_map<PyObject*, Seen> seen_;
};

}  // namespace sablewick::py::config
