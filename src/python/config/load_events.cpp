// The "events" collection with its branch lists.

#include <string>
#include <utility>

#include "python/capi/conversions.hpp"
#include "python/config/field_access.hpp"
#include "python/config/loaders.hpp"
#include "python/module_state.hpp"

namespace sablewick::py::config {

using namespace capi;

namespace cfg = sablewick::config;

namespace {

// The value under the first key if the look-up finds one, else under the second.
PyRef get_either_opt(PyObject* record, PyObject* first, PyObject* second) {
    PyRef value = get_attr_opt(record, first);
    if (!value) value = get_attr_opt(record, second);
    return value;
}

bool read_branch(PyObject* record, cfg::EventBranch& branch, LoadedTexts& texts) {
    const FieldNames& names = state().fields;
    const auto condition_text = [&](PyObject* value) { return texts.read(value); };
    if (!required_field(record, names.condition, condition_text, branch.condition)) return false;
    // Required under either spelling: the camel-case one's error is the one
    // that is raised.
    PyRef target = get_attr(record, names.event_id);
    if (!target) {
        PyErr_Clear();
        target = get_attr(record, names.eventId);
        if (!target) return false;
    }
    std::optional<std::int32_t> event_id = to_i32(target.get());
    if (!event_id) return false;
    branch.event_id = *event_id;
    return true;
}

bool read_event(PyObject* record, cfg::EventConfig& event, LoadedTexts& texts) {
    const FieldNames& names = state().fields;
    if (!required_field(record, names.id, to_i32, event.id) ||
        !required_field(record, names.event, to_text, event.event)) {
        return false;
    }
    event.grade = lenient_field<std::int32_t>(record, names.grade, to_i32).value_or(0);
    if (PyRef flag = get_either_opt(record, names.no_random, names.NoRandom)) {
        std::optional<bool> no_random = to_bool(flag.get());
        if (!no_random) PyErr_Clear();
        event.no_random = no_random.value_or(false);
    }
    const auto condition_text = [&](PyObject* value) { return texts.read(value); };
    event.include = lenient_field<sablewick::condition::ConditionText>(record, names.include, condition_text);
    event.exclude = lenient_field<sablewick::condition::ConditionText>(record, names.exclude, condition_text);
    if (PyRef post = get_either_opt(record, names.post_event, names.postEvent)) {
        event.post_event = to_text(post.get());
        if (!event.post_event) PyErr_Clear();
    }
    event.effect = read_effect(record);
    return record_list_field(
        record, names.branch,
        [&](PyObject* branch_record, cfg::EventBranch& branch) { return read_branch(branch_record, branch, texts); },
        event.branch);
}

}  // namespace

bool load_events(PyObject* dict, IdMap<cfg::EventConfig>& out, LoadedTexts& texts) {
    return load_id_collection(dict, "Invalid event id: ", out, [&](PyObject* record, cfg::EventConfig& event) {
        return read_event(record, event, texts);
    });
}

}  // namespace sablewick::py::config
