#pragma once
// Every Python object the module keeps between calls, in one place.
//
// Created once per process, by the first import that succeeds, in the one
// interpreter that may load the module, and published only once complete;
// until then every entry point is unreachable, since the interpreter has no
// member of the module to call. The asyncio part is the exception: it is
// filled on the first simulate_async (bridge::objects()), so that importing
// the module does not import asyncio.
//
// Never released: sessions hold the type, background threads deliver
// through the bridge's objects while the interpreter finalises, and a daemon
// thread may still use any of it during exit. Read and filled only with the
// interpreter lock held.

#include "python/capi/py_ref.hpp"

#include <cstdint>
#include <memory>

#include "python/config/field_names.hpp"
#include "python/session/dicts.hpp"
#include "python/simulate/bridge.hpp"

namespace sablewick::py {

struct ModuleState {
    PyObject* module = nullptr;            // the one module object
    std::int64_t interpreter = -1;         // the interpreter it was made in
    config::FieldNames fields;             // the names the loaders look up
    session::DictKeys keys;                // the keys of a session's dicts
    session::DictShapes shapes;            // templates of its larger dicts
    PyTypeObject* session_type = nullptr;  // GameSession
    simulate::bridge::Objects bridge;      // empty until the first simulate_async

    ModuleState() = default;
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;
    // Runs only for a state that was never published (a failed import).
    ~ModuleState();
};

namespace detail {
extern constinit ModuleState* published_state;
}  // namespace detail

// The state of the module; only valid once it was published, which every
// entry point may take for granted.
inline ModuleState& state() noexcept { return *detail::published_state; }
// nullptr before the first successful import.
inline ModuleState* published_state() noexcept { return detail::published_state; }

// Makes a state for `module` (everything but the bridge); nullptr with the
// exception set.
std::unique_ptr<ModuleState> create_state(PyObject* module, std::int64_t interpreter);
// Makes `made` the process's state, for good.
void publish_state(std::unique_ptr<ModuleState> made) noexcept;

}  // namespace sablewick::py
