#include "python/capi/py_ref.hpp"

#include <exception>
#include <vector>

namespace sablewick::py::capi {

namespace {

// Read and changed only with the interpreter lock held. Never freed: a
// release may be deferred on any thread until the process ends.
std::vector<PyObject*>& deferred() {
    static auto* kept = new std::vector<PyObject*>();
    return *kept;
}

}  // namespace

void detail::defer_release(PyObject* p) noexcept {
    try {
        deferred().push_back(p);
    } catch (const std::exception&) {
        // Leaked rather than released while the exception unwinds.
    }
}

void release_deferred() {
    std::vector<PyObject*>& kept = deferred();
    // Taken off the list before its release, which may run host code that
    // comes back here, or ends the thread.
    while (!kept.empty()) {
        PyObject* p = kept.back();
        kept.pop_back();
        Py_DECREF(p);
    }
}

}  // namespace sablewick::py::capi
