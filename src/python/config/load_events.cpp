// The "events" collection with its branch lists.

#include <string>
#include <utility>

#include "python/capi/conversions.hpp"
#include "python/config/field_access.hpp"
#include "python/config/loaders.hpp"

namespace sablewick::py::config {

using namespace capi;

namespace cfg = sablewick::config;

namespace {

constinit FieldName kId{"id"};
constinit FieldName kEvent{"event"};
constinit FieldName kGrade{"grade"};
constinit FieldName kNoRandom{"no_random"};
constinit FieldName kNoRandomCamel{"NoRandom"};
constinit FieldName kInclude{"include"};
constinit FieldName kExclude{"exclude"};
constinit FieldName kPostEvent{"post_event"};
constinit FieldName kPostEventCamel{"postEvent"};
constinit FieldName kBranch{"branch"};
constinit FieldName kCondition{"condition"};
constinit FieldName kEventId{"event_id"};
constinit FieldName kEventIdCamel{"eventId"};

// The value under the first key if the look-up finds one, else under the second.
PyRef get_either_opt(PyObject* record, const FieldName& first, const FieldName& second) {
    PyRef value = get_attr_opt(record, first);
    if (!value) value = get_attr_opt(record, second);
    return value;
}

bool read_branch(PyObject* record, cfg::EventBranch& branch) {
    std::optional<std::string> text = required_field<std::string>(record, kCondition, to_text);
    if (!text) return false;
    branch.condition = sablewick::condition::ConditionText(std::move(*text));
    PyRef target = get_attr(record, kEventId);
    if (!target) {
        PyErr_Clear();
        target = get_attr(record, kEventIdCamel);
        if (!target) return false;
    }
    std::optional<std::int32_t> event_id = to_i32(target.get());
    if (!event_id) return false;
    branch.event_id = *event_id;
    return true;
}

bool read_branches(PyObject* record, std::optional<std::vector<cfg::EventBranch>>& out) {
    PyRef value = get_attr_opt(record, kBranch);
    if (!value || value.get() == Py_None) return true;
    if (!PyList_Check(value.get())) {
        raise_cast_error(value.get(), "list");
        return false;
    }
    std::vector<cfg::EventBranch> branches;
    ListWalk walk(value.get());
    PyRef item;
    while (walk.next(item)) {
        cfg::EventBranch branch;
        if (!read_branch(item.get(), branch)) return false;
        branches.push_back(std::move(branch));
    }
    if (!branches.empty()) out = std::move(branches);
    return true;
}

bool read_event(PyObject* record, cfg::EventConfig& event) {
    std::optional<std::int32_t> id = required_field<std::int32_t>(record, kId, to_i32);
    if (!id) return false;
    event.id = *id;
    std::optional<std::string> text = required_field<std::string>(record, kEvent, to_text);
    if (!text) return false;
    event.event = std::move(*text);

    event.grade = lenient_field<std::int32_t>(record, kGrade, to_i32).value_or(0);
    if (PyRef flag = get_either_opt(record, kNoRandom, kNoRandomCamel)) {
        std::optional<bool> no_random = to_bool(flag.get());
        if (!no_random) PyErr_Clear();
        event.no_random = no_random.value_or(false);
    }
    if (std::optional<std::string> include = lenient_field<std::string>(record, kInclude, to_text)) {
        event.include.emplace(std::move(*include));
    }
    if (std::optional<std::string> exclude = lenient_field<std::string>(record, kExclude, to_text)) {
        event.exclude.emplace(std::move(*exclude));
    }
    if (PyRef post = get_either_opt(record, kPostEvent, kPostEventCamel)) {
        event.post_event = to_text(post.get());
        if (!event.post_event) PyErr_Clear();
    }
    event.effect = read_effect(record);
    return read_branches(record, event.branch);
}

}  // namespace

bool load_events(PyObject* dict, IdMap<cfg::EventConfig>& out) {
    return load_id_collection(dict, "Invalid event id: ", out, read_event);
}

}  // namespace sablewick::py::config
