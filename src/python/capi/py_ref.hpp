#pragma once
// Owned reference to a Python object.
//
// Releasing a reference can run host code (a __del__, a weakref callback),
// and host code that waits for the interpreter lock while the interpreter
// finalises is ended with pthread_exit: a forced unwind, which terminates
// the process if it meets a frame that cannot throw. So a release only ever
// happens in frames that let it pass: PyRef's destructor and assignments may
// throw, and no holder with a noexcept destructor (std::vector,
// std::optional, std::unique_ptr) ever owns a PyRef.
//
// A release while a C++ exception unwinds (std::bad_alloc) would start the
// forced unwind inside that one, which terminates as well; a last reference
// dropped then is kept for the entry point's guard (boundary.hpp), which
// releases it once the exception is caught.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <utility>

namespace sablewick::py::capi {

namespace detail {
// Keeps the last reference `p` for release_deferred(). If even that fails
// for want of memory, the object stays alive until the process ends.
void defer_release(PyObject* p) noexcept;
}  // namespace detail

// Gives up one reference to `p` (which may be null). The thread state is
// missing while the forced unwind of pthread_exit runs our destructors (the
// thread was waiting for the interpreter lock, which it never got): the
// reference is left to the ending process then, since releasing it could run
// a deallocator without the lock.
inline void release_reference(PyObject* p) {
    if (!p || !_PyThreadState_UncheckedGet()) return;
    if (Py_REFCNT(p) == 1 && std::uncaught_exceptions() > 0) {
        detail::defer_release(p);
        return;
    }
    Py_DECREF(p);
}

// With the interpreter lock and no C++ exception in flight: releases the
// references kept by release_reference. Runs host code.
void release_deferred();

class PyRef {
public:
    PyRef() noexcept = default;
    static PyRef steal(PyObject* p) noexcept { return PyRef(p); }
    static PyRef borrow(PyObject* p) noexcept {
        Py_XINCREF(p);
        return PyRef(p);
    }
    PyRef(const PyRef& other) noexcept : p_(other.p_) { Py_XINCREF(p_); }
    PyRef(PyRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    // The old object is released after the new one is in place, so host code
    // run by the release sees this reference complete.
    PyRef& operator=(PyRef&& other) {
        release_reference(std::exchange(p_, std::exchange(other.p_, nullptr)));
        return *this;
    }
    PyRef& operator=(const PyRef& other) {
        Py_XINCREF(other.p_);
        release_reference(std::exchange(p_, other.p_));
        return *this;
    }
    ~PyRef() noexcept(false) { release_reference(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit PyRef(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

}  // namespace sablewick::py::capi
