#include "python/simulate/delivery.hpp"

#include <utility>

#include "python/session/game_session_type.hpp"
#include "python/simulate/bridge.hpp"

namespace sablewick::py::simulate::delivery {

using namespace capi;

namespace {

// Shows `error` as the interpreter shows an uncaught one (sys.excepthook).
// PyErr_Print would do the same but first act on a SystemExit, ending the
// interpreter from this thread.
void show_uncaught(PyObject* error) {
    PyRef hook = PyRef::borrow(PySys_GetObject("excepthook"));  // held: the hook may replace itself
    if (hook && hook.get() != Py_None) {
        PyRef traceback = PyRef::steal(PyException_GetTraceback(error));
        PyObject* args[] = {reinterpret_cast<PyObject*>(Py_TYPE(error)), error, traceback ? traceback.get() : Py_None};
        PyRef shown = PyRef::steal(PyObject_Vectorcall(hook.get(), args, 3, nullptr));
        if (shown) return;
        PyRef hook_error = PyRef::steal(PyErr_GetRaisedException());
        PySys_WriteStderr("Error in sys.excepthook:\n");
        PyErr_DisplayException(hook_error.get());
        PySys_WriteStderr("\nOriginal exception was:\n");
    } else {
        PySys_WriteStderr("sys.excepthook is missing\n");
    }
    PyErr_DisplayException(error);
}

bool is_memory_error(PyObject* error) { return PyErr_GivenExceptionMatches(error, PyExc_MemoryError) != 0; }

// The session wrapped, or the job's failure as RuntimeError. False when only
// memory was missing: the session (or description) stays for the next try.
bool make_value(completer::Outcome& outcome) {
    const bridge::Objects& b = bridge::loaded();
    PyObject* value = nullptr;
    if (outcome.session) {
        value = session::wrap_game_session(std::move(*outcome.session));
        if (value) outcome.session.reset();
        outcome.setter = b.result_setter;
    } else {
        // Fixed interface text, followed by the pool's (runtime/pool.hpp).
        PyRef message = PyRef::steal(PyUnicode_FromFormat("Simulation task panicked: %s", outcome.panic.c_str()));
        if (message) value = PyObject_CallOneArg(PyExc_RuntimeError, message.get());
        outcome.setter = b.exception_setter;
    }
    if (!value) {
        if (!PyErr_Occurred()) PyErr_NoMemory();
        value = PyErr_GetRaisedException();
        if (is_memory_error(value)) {
            Py_DECREF(value);
            return false;
        }
        outcome.setter = b.exception_setter;  // anything else would fail again: the future gets it
    }
    outcome.value = value;
    return true;
}

}  // namespace

int loop_closed(PyObject* loop) {
    PyRef closed = PyRef::steal(bridge::call_method(bridge::loaded().is_closed, loop));
    const int answer = closed ? PyObject_IsTrue(closed.get()) : -1;
    if (answer < 0) PyErr_Clear();
    return answer;
}

Attempt attempt(completer::Outcome& outcome) {
    const bridge::Objects& b = bridge::loaded();
    // The done callback that sets the flag runs only when the loop turns
    // again; the future itself knows at once (a cancel just before the loop
    // was closed must not end in a delivery error). Only a look ahead: the
    // setter asks again on the loop's thread, so a future that cannot answer
    // here is delivered all the same.
    const int cancelled = bridge::future_cancelled(outcome.future);
    if (cancelled > 0) return Attempt::kSettled;
    if (cancelled < 0) PyErr_Clear();

    if (!outcome.value && !make_value(outcome)) return Attempt::kRetry;
    PyObject* args[] = {outcome.loop, outcome.setter, outcome.future, outcome.value, outcome.context};
    PyRef scheduled = PyRef::steal(PyObject_VectorcallMethod(b.call_soon_threadsafe, args, 4, b.context_keyword));
    if (scheduled) return Attempt::kSettled;

    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    if (loop_closed(outcome.loop) == 1) {
        show_uncaught(error.get());  // the value is dropped
        return Attempt::kSettled;
    }
    // Open (or it cannot say): tried again. A failure other than a lack of
    // memory is shown, once for each life.
    if (!outcome.failure_shown && !is_memory_error(error.get())) {
        outcome.failure_shown = true;
        show_uncaught(error.get());
    }
    return Attempt::kRetry;
}

}  // namespace sablewick::py::simulate::delivery
