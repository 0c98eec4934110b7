#pragma once
// Where the interpreter calls into the module. A C++ exception must never
// pass into the interpreter's frames, so every function the interpreter
// calls (the module's initialisation, module functions, methods, getters,
// callbacks) is installed through `guarded`: the one place where
// std::bad_alloc becomes MemoryError and any other exception a SystemError.
// The code below an entry point lets them propagate and releases what it
// holds on the way out; last references dropped while one unwinds are
// released here, once it is caught (py_ref.hpp).
//
// The forced unwinding that ends a thread (pthread_exit, also used by the
// interpreter at exit) is let through, as it must be: it is no error of
// ours, and nothing on its way is noexcept.

#include "python/capi/py_ref.hpp"

#include <cxxabi.h>

#include <exception>
#include <new>

namespace sablewick::py::capi {

template <auto Function>
struct Guarded;

template <class... Args, PyObject* (*Function)(Args...)>
struct Guarded<Function> {
    // Catching the forced unwind by reference trips UBSan's null check (the
    // unwinder's exception has no object); the catch is still right.
    __attribute__((no_sanitize("null"))) static PyObject* call(Args... args) {
        try {
            return Function(args...);
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::exception& error) {
            PyErr_SetString(PyExc_SystemError, error.what());
        } catch (...) {
            PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
        }
        release_deferred();
        return nullptr;
    }
};

// `Function` as the interpreter may call it: same signature, no exception.
template <auto Function>
inline constexpr auto guarded = &Guarded<Function>::call;

// A method-table entry for a function of another calling convention than
// PyCFunction's (the fast-call ones), cast as the table's type requires.
template <class F>
PyCFunction as_cfunction(F function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(function));
}

}  // namespace sablewick::py::capi
