#include "python/simulate/bridge.hpp"

#include "python/capi/boundary.hpp"
#include "python/capi/interned.hpp"
#include "python/module_state.hpp"

namespace sablewick::py::simulate::bridge {

using namespace capi;

namespace {

// Runs on the loop's thread: the future may have been cancelled since the
// value was scheduled. A future that cannot say whether it was is handed the
// value all the same (a cancelled one refuses it). When the setter fails
// with an Exception the future is given that error, so it still resolves;
// a future the host completed itself refuses that too, and the setter's
// InvalidStateError goes to the loop's exception handler. SystemExit and
// KeyboardInterrupt go to the loop, which acts on them on its own thread.
PyObject* set_unless_cancelled(PyObject* const* args, Py_ssize_t nargs, PyObject* setter_name,
                               const char* function_name) {
    if (nargs != 2) {
        PyErr_Format(PyExc_TypeError, "%s() takes 2 positional arguments but %zd were given", function_name, nargs);
        return nullptr;
    }
    const int is_cancelled = future_cancelled(args[0]);
    if (is_cancelled > 0) Py_RETURN_NONE;
    if (is_cancelled < 0) PyErr_Clear();
    PyObject* set = call_method(setter_name, args[0], args[1]);
    if (set || !PyErr_ExceptionMatches(PyExc_Exception)) return set;
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    PyRef given = PyRef::steal(call_method(state().bridge.set_exception, args[0], error.get()));
    if (given) return given.release();
    PyErr_Clear();
    PyErr_SetRaisedException(error.release());
    return nullptr;
}

PyObject* set_result_unless_cancelled(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return set_unless_cancelled(args, nargs, state().bridge.set_result, "_set_result_unless_cancelled");
}

PyObject* set_exception_unless_cancelled(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return set_unless_cancelled(args, nargs, state().bridge.set_exception, "_set_exception_unless_cancelled");
}

constexpr const char kFlagCapsule[] = "sablewick_core.cancel_flag";

void release_flag_capsule(PyObject* capsule) {
    delete static_cast<CancelFlag*>(PyCapsule_GetPointer(capsule, kFlagCapsule));
}

// The future's done callback: a cancelled future tells the job to drop its value.
PyObject* note_cancellation(PyObject* self, PyObject* future) {
    auto* flag = static_cast<CancelFlag*>(PyCapsule_GetPointer(self, kFlagCapsule));
    if (!flag) return nullptr;
    const int is_cancelled = future_cancelled(future);
    if (is_cancelled < 0) return nullptr;
    if (is_cancelled) (*flag)->store(true, std::memory_order_release);
    Py_RETURN_NONE;
}

PyMethodDef set_result_definition = {"_set_result_unless_cancelled", as_cfunction(guarded<set_result_unless_cancelled>),
                                     METH_FASTCALL, nullptr};
PyMethodDef set_exception_definition = {"_set_exception_unless_cancelled",
                                        as_cfunction(guarded<set_exception_unless_cancelled>), METH_FASTCALL, nullptr};
PyMethodDef note_cancellation_definition = {"_note_cancellation", guarded<note_cancellation>, METH_O, nullptr};

}  // namespace

PyObject* attribute_of(const char* module_name, const char* attribute) {
    PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
    return module ? PyObject_GetAttrString(module.get(), attribute) : nullptr;
}

PyObject* call_method(PyObject* name, PyObject* self) { return PyObject_VectorcallMethod(name, &self, 1, nullptr); }

PyObject* call_method(PyObject* name, PyObject* self, PyObject* arg) {
    PyObject* args[] = {self, arg};
    return PyObject_VectorcallMethod(name, args, 2, nullptr);
}

int future_cancelled(PyObject* future) {
    PyRef cancelled = PyRef::steal(call_method(state().bridge.cancelled, future));
    if (!cancelled) return -1;
    return PyObject_IsTrue(cancelled.get());
}

const Objects* objects() {
    Objects& objects = state().bridge;
    if (objects.get_running_loop) return &objects;
    // Filled in a copy first: a failure leaves the state's bridge empty.
    Objects made;
    PyRef get_running_loop = PyRef::steal(attribute_of("asyncio", "get_running_loop"));
    if (!get_running_loop) return nullptr;
    PyRef copy_context = PyRef::steal(attribute_of("contextvars", "copy_context"));
    if (!copy_context) return nullptr;
    PyObject* context = nullptr;
    const InternedName names[] = {
        {&made.create_future, "create_future"},
        {&made.add_done_callback, "add_done_callback"},
        {&made.call_soon_threadsafe, "call_soon_threadsafe"},
        {&made.is_closed, "is_closed"},
        {&made.cancelled, "cancelled"},
        {&made.set_result, "set_result"},
        {&made.set_exception, "set_exception"},
        {&context, "context"},
    };
    if (!intern_all(names)) return nullptr;
    PyRef context_keyword = PyRef::steal(PyTuple_Pack(1, context));
    Py_CLEAR(context);  // the tuple holds its own reference
    PyRef result_setter = PyRef::steal(PyCFunction_New(&set_result_definition, nullptr));
    PyRef exception_setter = PyRef::steal(PyCFunction_New(&set_exception_definition, nullptr));
    if (!context_keyword || !result_setter || !exception_setter) {
        for (const InternedName& name : names) Py_CLEAR(*name.slot);
        return nullptr;
    }
    made.get_running_loop = get_running_loop.release();
    made.copy_context = copy_context.release();
    made.context_keyword = context_keyword.release();
    made.result_setter = result_setter.release();
    made.exception_setter = exception_setter.release();
    objects = made;
    return &objects;
}

const Objects& loaded() { return state().bridge; }

PyObject* make_done_callback(const CancelFlag& flag) {
    auto* held = new (std::nothrow) CancelFlag(flag);
    if (!held) return PyErr_NoMemory();
    PyRef capsule = PyRef::steal(PyCapsule_New(held, kFlagCapsule, release_flag_capsule));
    if (!capsule) {
        delete held;
        return nullptr;
    }
    return PyCFunction_New(&note_cancellation_definition, capsule.get());
}

}  // namespace sablewick::py::simulate::bridge
