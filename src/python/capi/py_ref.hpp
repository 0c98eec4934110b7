#pragma once
// Owned reference to a Python object.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace sablewick::py::capi {

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
    PyRef& operator=(PyRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    // At exit the interpreter ends a daemon thread that waits for the
    // interpreter lock with pthread_exit, whose forced unwind runs this
    // destructor without a thread state: the reference is left to the
    // ending process then, since releasing it could run a deallocator.
    ~PyRef() {
        if (p_ && _PyThreadState_UncheckedGet()) Py_DECREF(p_);
    }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit PyRef(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

}  // namespace sablewick::py::capi
