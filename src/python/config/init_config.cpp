// init_config and is_config_initialized.

#include <memory>
#include <utility>

#include "python/capi/arguments.hpp"
#include "python/capi/boundary.hpp"
#include "python/config/store.hpp"
#include "python/capi/conversions.hpp"
#include "python/config/field_access.hpp"
#include "python/config/loaders.hpp"
#include "python/module.hpp"
#include "python/module_state.hpp"
#include "sablewick/base/error.hpp"

namespace sablewick::py::config {

using namespace capi;

namespace {

// A top-level collection: the dict under `name`, held by us so that host code
// run during the load cannot free it; nullptr with the exception set.
PyRef collection(PyObject* config, PyObject* name) {
    PyObject* found = PyDict_GetItemWithError(config, name);
    if (!found) {
        if (!PyErr_Occurred()) {
            // Fixed interface text: "Deserialization error: talents not found".
            const std::string message =
                SablewickError::deserialization(std::string(PyUnicode_AsUTF8(name)) + " not found").message();
            PyErr_SetString(PyExc_ValueError, message.c_str());
        }
        return {};
    }
    PyRef value = PyRef::borrow(found);
    if (!PyDict_Check(value.get())) {
        raise_cast_error(value.get(), "dict");
        return {};
    }
    return value;
}

// Builds the whole configuration; stores it only when every step succeeded.
bool load_and_store(PyObject* config, PyObject* emoji_map) {
    const FieldNames& names = state().fields;
    CachedConfig loaded;
    simulator::SimulationEngine& engine = loaded.engine;
    LoadedTexts texts;

    PyRef talents = collection(config, names.talents);
    if (!talents || !load_talents(talents.get(), engine.talents, texts)) return false;
    PyRef events = collection(config, names.events);
    if (!events || !load_events(events.get(), engine.events, texts)) return false;
    PyRef ages = collection(config, names.ages);
    if (!ages || !load_ages(ages.get(), engine.ages)) return false;
    PyRef achievements = collection(config, names.achievements);
    if (!achievements || !load_achievements(achievements.get(), engine.achievements, texts)) return false;
    PyRef judge = collection(config, names.judge);
    if (!judge || !load_judge(judge.get(), engine.judge)) return false;

    simulator::EmojiMap emoji;
    if (emoji_map) {
        if (!deserialize_emoji_map(emoji_map, emoji)) return false;
    } else {
        emoji = simulator::default_emoji_map();
    }
    loaded.emoji_map = std::make_shared<const simulator::EmojiMap>(std::move(emoji));
    // Compiled before it is shared, so simulations only ever read it. The
    // interpreter lock stays held, as for the rest of the load: two loads
    // never interleave, so the last call to return is the one in force.
    engine.prepare();
    cached_config().store(std::move(loaded));
    return true;
}

PyObject* init_config(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"config", "emoji_map"};
    static const Signature signature{"init_config", names, 2, 1};
    PyObject* bound[2];
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return nullptr;

    PyRef config = PyRef::borrow(bound[0]);
    if (!PyDict_Check(config.get())) {
        raise_cast_error(config.get(), "dict");
        prefix_argument_error("config");
        return nullptr;
    }
    PyRef emoji_map;
    if (bound[1] && bound[1] != Py_None) {
        emoji_map = PyRef::borrow(bound[1]);
        if (!PyDict_Check(emoji_map.get())) {
            raise_cast_error(emoji_map.get(), "dict");
            prefix_argument_error("emoji_map");
            return nullptr;
        }
    }

    if (!load_and_store(config.get(), emoji_map.get())) return nullptr;
    Py_RETURN_NONE;
}

PyObject* is_config_initialized(PyObject*, PyObject*) { return PyBool_FromLong(cached_config().is_set()); }

}  // namespace

// The docstrings are fixed interface texts, compared byte for byte by hosts
// and tests: the wording ("the bot", "cached in native memory") stays.
PyMethodDef init_config_definition = {
    "init_config",
    as_cfunction(guarded<init_config>),
    METH_FASTCALL | METH_KEYWORDS,
    "init_config(config, emoji_map=None)\n--\n\n"
    "Initialize the game configuration (call once at startup)\n"
    "\n"
    "The configuration is cached in native memory, so it is not converted again\n"
    "on every simulation call. Call this once when the bot starts.\n"
    "\n"
    "# Arguments\n"
    "* `config` - Game configuration containing talents, events, ages and achievements\n"
    "* `emoji_map` - Optional emoji map for grade-to-emoji conversion (default: "
    "{0: \"\u26AA\", 1: \"\U0001F535\", 2: \"\U0001F7E3\", 3: \"\U0001F7E0\"})",
};

PyMethodDef is_config_initialized_definition = {
    "is_config_initialized",
    guarded<is_config_initialized>,
    METH_NOARGS,
    "is_config_initialized()\n--\n\nCheck if config is initialized",
};

}  // namespace sablewick::py::config
