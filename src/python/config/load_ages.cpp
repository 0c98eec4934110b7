// The "ages" collection: talents gained and the weighted event table per age.

#include <utility>

#include "python/capi/conversions.hpp"
#include "python/capi/walks.hpp"
#include "python/config/field_access.hpp"
#include "python/config/loaders.hpp"
#include "python/module_state.hpp"

namespace sablewick::py::config {

using namespace capi;

namespace cfg = sablewick::config;

namespace {

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
        // Fixed interface text.
        PyErr_SetString(PyExc_ValueError, "Event entry must have at least 2 elements [event_id, weight]");
        return std::nullopt;
    }
    std::optional<std::int32_t> id = to_i32(items[0].get());
    if (!id) return std::nullopt;
    std::optional<double> weight = to_f64(items[1].get());
    if (!weight) return std::nullopt;
    return EventPair{*id, *weight};
}

// One entry of an age's event table, in whichever form it comes.
bool read_event_pair(PyObject* element, EventPair& out) {
    std::optional<EventPair> pair = pair_fast_form(element);
    if (!pair) pair = pair_sequence_form(element);
    if (!pair) return false;
    out = *pair;
    return true;
}

bool read_age(PyObject* record, cfg::AgeConfig& age) {
    const FieldNames& names = state().fields;
    return required_field(record, names.age, to_i32, age.age) &&
           strict_field(record, names.talents, to_i32_list, age.talents) &&
           record_list_field(record, names.events, read_event_pair, age.events);
}

}  // namespace

bool load_ages(PyObject* dict, IdMap<cfg::AgeConfig>& out) {
    return load_id_collection(dict, "Invalid age: ", out, read_age);
}

}  // namespace sablewick::py::config
