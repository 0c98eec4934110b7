#include "python/session/dicts.hpp"

#include <cstdint>
#include <string>

#include "python/capi/interned.hpp"
#include "python/capi/utf8_text.hpp"
#include "python/module_state.hpp"

namespace sablewick::py::session {

using namespace capi;

namespace {

using simulator::FormattedJudge;
using simulator::FormattedYear;
using simulator::GameSession;
using simulator::TalentInfo;

PyObject* new_text(const std::string& text) { return str_from_valid_utf8(text); }

// Inserts and releases `value` (which may be nullptr after a failed
// creation). False with the exception set.
bool put(PyObject* dict, PyObject* key, PyObject* value) {
    if (!value) return false;
    int rc = PyDict_SetItem(dict, key, value);
    Py_DECREF(value);
    return rc == 0;
}

PyObject* properties_dict(const FormattedYear& formatted) {
    const ModuleState& s = state();
    PyRef dict = PyRef::steal(s.shapes.properties.make());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
#define SABLEWICK_PUT(code, start, host, range, value, year, effect) \
    SABLEWICK_IF(year, if (!put(d, s.keys.code, PyLong_FromLong(formatted.code))) return nullptr;)
    SABLEWICK_PROPERTIES(SABLEWICK_PUT)
#undef SABLEWICK_PUT
    return dict.release();
}

PyObject* talent_dict(const TalentInfo& talent) {
    const DictKeys& k = state().keys;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    if (!put(d, k.id, PyLong_FromLong(talent.id)) || !put(d, k.name, new_text(talent.name)) ||
        !put(d, k.description, new_text(talent.description)) || !put(d, k.grade, PyLong_FromLong(talent.grade))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* judge_dict(const FormattedJudge& judge) {
    const ModuleState& s = state();
    const DictKeys& k = s.keys;
    PyRef dict = PyRef::steal(s.shapes.judge.make());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    if (!put(d, k.property_type, new_text(judge.property_type)) || !put(d, k.value, PyLong_FromLong(judge.value)) ||
        !put(d, k.grade, PyLong_FromLong(judge.grade)) || !put(d, k.text, new_text(judge.text)) ||
        !put(d, k.progress, PyFloat_FromDouble(judge.progress)) ||
        !put(d, k.progress_bar, new_text(judge.progress_bar))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* replacement_dict(const simulator::TalentReplacement& replacement) {
    const DictKeys& k = state().keys;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    if (!put(d, k.source, talent_dict(replacement.source)) || !put(d, k.target, talent_dict(replacement.target))) {
        return nullptr;
    }
    return dict.release();
}

// A list of items[begin..end), created at its final length and filled in
// order. A failed item releases the partly filled list (its empty slots
// are allowed to be null).
template <class Vector, class Make>
PyObject* list_of(const Vector& items, std::size_t begin, std::size_t end, Make make) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(end - begin)));
    if (!list) return nullptr;
    for (std::size_t i = begin; i < end; ++i) {
        PyObject* item = make(items[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i - begin), item);
    }
    return list.release();
}

template <class Vector, class Make>
PyObject* list_of(const Vector& items, Make make) {
    return list_of(items, 0, items.size(), make);
}

}  // namespace

bool DictShape::build(std::initializer_list<PyObject*> ordered_keys) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return false;
    for (PyObject* key : ordered_keys) {
        if (PyDict_SetItem(dict.get(), key, Py_None) < 0) return false;
    }
    template_ = dict.release();
    return true;
}

bool make_dict_keys(DictKeys& keys) {
    const InternedName entries[] = {
#define SABLEWICK_KEY_ENTRY(name) {&keys.name, #name},
        SABLEWICK_SESSION_KEYS(SABLEWICK_KEY_ENTRY)
#undef SABLEWICK_KEY_ENTRY
#define SABLEWICK_YEAR_KEY_ENTRY(code, start, host, range, value, year, effect) \
    SABLEWICK_IF(year, {&keys.code, #code}, )
            SABLEWICK_PROPERTIES(SABLEWICK_YEAR_KEY_ENTRY)
#undef SABLEWICK_YEAR_KEY_ENTRY
    };
    return intern_all(entries);
}

bool make_dict_shapes(DictShapes& shapes, const DictKeys& k) {
    // A template already made stays alive when a later one fails; harmless.
#define SABLEWICK_YEAR_KEY(code, start, host, range, value, year, effect) SABLEWICK_IF(year, k.code, )
    return shapes.properties.build({SABLEWICK_PROPERTIES(SABLEWICK_YEAR_KEY)}) &&
#undef SABLEWICK_YEAR_KEY
           shapes.judge.build({k.property_type, k.value, k.grade, k.text, k.progress, k.progress_bar});
}

// The year dict and the formatted-year dict differ only in the text key.
PyObject* year_dict(const FormattedYear& year, PyObject* text_key) {
    const DictKeys& k = state().keys;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    if (!put(d, k.age, PyLong_FromLong(year.age)) || !put(d, text_key, new_text(year.display_text)) ||
        !put(d, k.properties, properties_dict(year)) || !put(d, k.is_end, PyBool_FromLong(year.is_end))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* years_list(const GameSession& session, std::size_t begin, std::size_t end) {
    PyObject* text_key = state().keys.display_text;
    return list_of(session.years, begin, end,
                   [text_key](const FormattedYear& year) { return year_dict(year, text_key); });
}

PyObject* summary_dict(const GameSession& session) {
    const DictKeys& k = state().keys;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    if (!put(d, k.total_score, PyLong_FromLong(session.total_score)) ||
        !put(d, k.judges, list_of(session.judges, judge_dict)) ||
        !put(d, k.talents, list_of(session.talents, talent_dict))) {
        return nullptr;
    }
    return dict.release();
}

PyObject* achievements_list(const GameSession& session) { return list_of(session.new_achievements, talent_dict); }

PyObject* events_list(const GameSession& session) {
    return list_of(session.triggered_events, [](std::int32_t id) { return PyLong_FromLong(id); });
}

PyObject* replacements_list(const GameSession& session) { return list_of(session.replacements, replacement_dict); }

}  // namespace sablewick::py::session
