// The "ages" collection: talents gained and the weighted event table per age.

#include <utility>

#include "python/capi/conversions.hpp"
#include "python/capi/walks.hpp"
#include "python/config/field_access.hpp"
#include "python/config/loaders.hpp"

namespace sablewick::py::config {

using namespace capi;

namespace cfg = sablewick::config;

namespace {

constinit FieldName kAge{"age"};
constinit FieldName kTalents{"talents"};
constinit FieldName kEvents{"events"};

using EventPair = std::pair<std::int32_t, double>;

// A (id, weight) tuple of exactly two convertible items; any failure is
// discarded so that the general form can have its say.
std::optional<EventPair> pair_fast_form(PyObject* element) {
    if (!PyTuple_Check(element) || PyTuple_GET_SIZE(element) != 2) return std::nullopt;
    PyRef first = PyRef::borrow(PyTuple_GET_ITEM(element, 0));
    PyRef second = PyRef::borrow(PyTuple_GET_ITEM(element, 1));
    std::optional<std::int32_t> id = to_i32(first.get());
    if (!id) {
        PyErr_Clear();
        return std::nullopt;
    }
    std::optional<double> weight = to_f64(second.get());
    if (!weight) {
        PyErr_Clear();
        return std::nullopt;
    }
    return EventPair{*id, *weight};
}

// Any sequence but str; its first two items are the id and the weight. The
// whole sequence is iterated (its length asked first, as a hint), so an item
// that fails to come ends the load even after the second.
std::optional<EventPair> pair_sequence_form(PyObject* element) {
    if (!check_sequence_not_str(element)) return std::nullopt;
    if (PySequence_Size(element) < 0) PyErr_Clear();
    PyRef items[2];
    std::size_t count = 0;
    const bool walked = for_each_item(element, [&](PyObject* item) {
        if (count < 2) items[count] = PyRef::borrow(item);
        ++count;
        return check_signals_every_so_often(count);
    });
    if (!walked) return std::nullopt;
    if (count < 2) {
        PyErr_SetString(PyExc_ValueError,
                        "Event entry must have at least 2 elements [event_id, weight]");
        return std::nullopt;
    }
    std::optional<std::int32_t> id = to_i32(items[0].get());
    if (!id) return std::nullopt;
    std::optional<double> weight = to_f64(items[1].get());
    if (!weight) return std::nullopt;
    return EventPair{*id, *weight};
}

bool read_event_table(PyObject* record, std::optional<std::vector<EventPair>>& out) {
    PyRef value = get_attr_opt(record, kEvents);
    if (!value || value.get() == Py_None) return true;
    if (!PyList_Check(value.get())) {
        raise_cast_error(value.get(), "list");
        return false;
    }
    std::vector<EventPair> pairs;
    ListWalk walk(value.get());
    PyRef element;
    while (walk.next(element)) {
        std::optional<EventPair> pair = pair_fast_form(element.get());
        if (!pair) pair = pair_sequence_form(element.get());
        if (!pair) return false;
        pairs.push_back(*pair);
    }
    if (!pairs.empty()) out = std::move(pairs);
    return true;
}

bool read_age(PyObject* record, cfg::AgeConfig& age) {
    std::optional<std::int32_t> value = required_field<std::int32_t>(record, kAge, to_i32);
    if (!value) return false;
    age.age = *value;
    if (!strict_field(record, kTalents, to_i32_list, age.talents)) return false;
    return read_event_table(record, age.events);
}

}  // namespace

bool load_ages(PyObject* dict, IdMap<cfg::AgeConfig>& out) {
    return load_id_collection(dict, "Invalid age: ", out, read_age);
}

}  // namespace sablewick::py::config
