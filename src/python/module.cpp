// Entry point of the extension module.

#include "python/module.hpp"

#include <cstdint>
#include <memory>

#include "python/capi/boundary.hpp"
#include "python/config/store.hpp"
#include "python/module_state.hpp"
#include "python/simulate/completer.hpp"
#include "sablewick/process/lifecycle.hpp"

namespace sablewick::py {

namespace {

using capi::PyRef;

// Fixed interface texts: the module's name and docstring.
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

// Sets module.<name> = member and appends name to module.__all__ (created
// on first use). Steals `member`. Returns -1 with an exception set.
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

// Adds the module function of `definition` (which lives as long as the
// process) under its own name, by add_member.
int add_function(PyObject* module, PyMethodDef& definition) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    return add_member(module, definition.ml_name, PyCFunction_NewEx(&definition, module, module_name.get()));
}

// The module's steps of the process lifecycle, which process/lifecycle.hpp
// lists with the engine's, in their order.
bool install_lifecycle() {
    using process::lifecycle::ForkHandlers;
    using process::lifecycle::ForkStep;
    static constexpr ForkHandlers kStore{.child = &config::ConfigStore::forget_readers_after_fork};
    static constexpr ForkHandlers kCompletions{.child = &simulate::completer::reset_after_fork};
    process::lifecycle::install(ForkStep::kConfigStore, kStore);
    process::lifecycle::install(ForkStep::kCompletions, kCompletions);
    return simulate::completer::register_exit_hook();
}

int add_members(PyObject* module, const ModuleState& made) {
    for (PyMethodDef* definition : {&config::init_config_definition, &config::is_config_initialized_definition,
                                    &simulate::simulate_full_life_definition, &simulate::simulate_async_definition}) {
        if (add_function(module, *definition) < 0) return -1;
    }
    return add_member(module, "GameSession", Py_NewRef(reinterpret_cast<PyObject*>(made.session_type)));
}

// One module object per process: a repeated initialisation hands out the
// same. No other interpreter may load it, since the type and the asyncio
// objects of the state belong to the first.
PyObject* initialise() {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    if (const ModuleState* existing = published_state()) {
        if (existing->interpreter != interpreter) {
            // Fixed interface text.
            PyErr_SetString(PyExc_ImportError,
                            "sablewick_core cannot be loaded in more than one interpreter per process");
            return nullptr;
        }
        return Py_NewRef(existing->module);
    }
    PyRef module = PyRef::steal(PyModule_Create(&module_definition));
    if (!module) return nullptr;
    std::unique_ptr<ModuleState> made = create_state(module.get(), interpreter);
    if (!made || add_members(module.get(), *made) < 0 || !install_lifecycle()) return nullptr;
    publish_state(std::move(made));
    return module.release();
}

}  // namespace

}  // namespace sablewick::py

PyMODINIT_FUNC PyInit_sablewick_core(void) { return sablewick::py::capi::guarded<sablewick::py::initialise>(); }
