// Entry point of the extension module.

#include "python/module.hpp"

#include "python/capi/boundary.hpp"

#include <cstdint>

namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "sablewick_core",
    "Python module definition",
    0,  // not -1: the interpreter then calls the init function on every import
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// One module object per process: a repeated initialisation hands out the same.
PyObject* the_module = nullptr;
// The interpreter the module was made in; no other may load it, since the
// type and the cached asyncio callables belong to that one.
std::int64_t the_interpreter = -1;

}  // namespace

namespace sablewick::py {

using capi::PyRef;

int add_member(PyObject* module, const char* name, PyObject* member) {
    PyRef owned = PyRef::steal(member);
    if (!owned) return -1;
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = PyList_New(0);
        if (!all || PyModule_AddObjectRef(module, "__all__", all) < 0) {
            Py_XDECREF(all);
            return -1;
        }
    }
    PyRef all_ref = PyRef::steal(all);
    if (!PyList_Check(all)) {
        PyErr_SetString(PyExc_TypeError, "`__all__` must be a list");
        return -1;
    }
    PyRef name_obj = PyRef::steal(PyUnicode_FromString(name));
    if (!name_obj || PyList_Append(all, name_obj.get()) < 0) return -1;
    return PyModule_AddObjectRef(module, name, owned.get());
}

int add_function(PyObject* module, PyMethodDef& definition) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    return add_member(module, definition.ml_name,
                      PyCFunction_NewEx(&definition, module, module_name.get()));
}

}  // namespace sablewick::py

namespace {

PyObject* initialise() {
    using namespace sablewick::py;
    using capi::PyRef;
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    if (the_interpreter != -1 && the_interpreter != interpreter) {
        PyErr_SetString(PyExc_ImportError,
                        "sablewick_core cannot be loaded in more than one interpreter per process");
        return nullptr;
    }
    if (the_module) {
        Py_INCREF(the_module);
        return the_module;
    }
    PyRef module = PyRef::steal(PyModule_Create(&module_definition));
    if (!module) return nullptr;
    if (config::add_config_functions(module.get()) < 0 || simulate::add_simulate_full_life(module.get()) < 0 ||
        simulate::add_simulate_async(module.get()) < 0 || session::add_game_session_class(module.get()) < 0) {
        return nullptr;
    }
    the_interpreter = interpreter;
    the_module = module.get();
    Py_INCREF(the_module);  // kept for the life of the process
    return module.release();
}

}  // namespace

PyMODINIT_FUNC PyInit_sablewick_core(void) {
    return sablewick::py::capi::guarded<initialise>();
}
