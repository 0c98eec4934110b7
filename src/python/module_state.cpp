#include "python/module_state.hpp"

#include "python/session/game_session_type.hpp"

namespace sablewick::py {

namespace detail {
constinit ModuleState* published_state = nullptr;
}  // namespace detail

// Runs inside unique_ptr's noexcept destructor, which no forced unwind may
// cross: the type and the module it drops were never handed to host code, so
// their release runs none.
ModuleState::~ModuleState() {
    Py_XDECREF(reinterpret_cast<PyObject*>(session_type));
    Py_XDECREF(module);
}

std::unique_ptr<ModuleState> create_state(PyObject* module, std::int64_t interpreter) {
    auto made = std::make_unique<ModuleState>();
    // A failure after the names leaves them referenced: interned strs live
    // as long as the interpreter anyway.
    if (!config::make_field_names(made->fields) || !session::make_dict_keys(made->keys) ||
        !session::make_dict_shapes(made->shapes, made->keys)) {
        return nullptr;
    }
    made->session_type = session::make_session_type(module);
    if (!made->session_type) return nullptr;
    made->module = Py_NewRef(module);
    made->interpreter = interpreter;
    return made;
}

void publish_state(std::unique_ptr<ModuleState> made) noexcept { detail::published_state = made.release(); }

}  // namespace sablewick::py
