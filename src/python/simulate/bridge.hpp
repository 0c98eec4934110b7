#pragma once
// The asyncio side of simulate_async: the Python objects the bridge calls
// (running loop, context copy, future methods), made on the first
// simulate_async and kept in the module state (module_state.hpp), and
// the future's done callback that tells a job its future was cancelled.

#include "python/capi/py_ref.hpp"

#include <atomic>
#include <memory>

namespace sablewick::py::simulate::bridge {

struct Objects {
    PyObject* get_running_loop = nullptr;
    PyObject* copy_context = nullptr;
    // Method names, interned.
    PyObject* create_future = nullptr;
    PyObject* add_done_callback = nullptr;
    PyObject* call_soon_threadsafe = nullptr;
    PyObject* is_closed = nullptr;
    PyObject* cancelled = nullptr;
    PyObject* set_result = nullptr;
    PyObject* set_exception = nullptr;
    PyObject* context_keyword = nullptr;  // ("context",)
    // Run on the loop's thread: set the value unless the future was cancelled.
    PyObject* result_setter = nullptr;
    PyObject* exception_setter = nullptr;
};

// With the interpreter lock. Made on first use and kept for the process;
// nullptr with the exception set when they cannot be made.
const Objects* objects();
// Once objects() succeeded.
const Objects& loaded();

// module.attribute as a new reference, or nullptr with the exception set.
PyObject* attribute_of(const char* module_name, const char* attribute);

PyObject* call_method(PyObject* name, PyObject* self);
PyObject* call_method(PyObject* name, PyObject* self, PyObject* arg);

// 1 when the future was cancelled, 0 when not, -1 with the exception set.
int future_cancelled(PyObject* future);

// Shared between a future's done callback and its job.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;

// A callable for future.add_done_callback that sets `flag` when the future
// was cancelled. New reference, or nullptr with the exception set.
PyObject* make_done_callback(const CancelFlag& flag);

}  // namespace sablewick::py::simulate::bridge
