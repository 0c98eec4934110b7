#pragma once
// The values a GameSession hands out: year, properties, judge, talent and
// replacement dicts and the lists of them, built fresh on every call from
// the stored, pre-rendered life. The keys are interned once, in the module's
// state (module_state.hpp), so building a dict creates no key strings.

#include "python/capi/py_ref.hpp"

#include <cstddef>
#include <initializer_list>

#include "sablewick/property/properties.hpp"
#include "sablewick/simulator/session.hpp"

// The keys of the session's dicts besides the year's property keys, which
// come from the property list.
// clang-format off
#define SABLEWICK_SESSION_KEYS(X)                                              \
    /* years */    X(age) X(display_text) X(text) X(properties) X(is_end)      \
    /* summary */  X(total_score) X(judges) X(talents)                         \
    /* judges */   X(property_type) X(value) X(grade) X(progress) X(progress_bar) \
    /* talents */  X(id) X(name) X(description)                                \
    /* replacements */ X(source) X(target)
// clang-format on

namespace sablewick::py::session {

struct DictKeys {
#define SABLEWICK_KEY_SLOT(name) PyObject* name = nullptr;
    SABLEWICK_SESSION_KEYS(SABLEWICK_KEY_SLOT)
#undef SABLEWICK_KEY_SLOT
#define SABLEWICK_YEAR_KEY_SLOT(code, start, host, range, value, year, effect) \
    SABLEWICK_IF(year, PyObject* code = nullptr;)
    SABLEWICK_PROPERTIES(SABLEWICK_YEAR_KEY_SLOT)
#undef SABLEWICK_YEAR_KEY_SLOT
};

// A dict with six or more keys would outgrow the first key table that a new
// dict gets (room for five) and be rehashed while it is filled. Such dicts
// are made by copying a template whose values are None, then setting each
// value: the copy takes the template's key table in one piece, sized and
// ordered already. Smaller dicts are cheaper to build from PyDict_New.
class DictShape {
public:
    // False with the exception set.
    bool build(std::initializer_list<PyObject*> ordered_keys);
    PyObject* make() const { return PyDict_Copy(template_); }

private:
    PyObject* template_ = nullptr;  // kept for the process
};

struct DictShapes {
    DictShape properties, judge;
};

// False with the exception set.
bool make_dict_keys(DictKeys& keys);
bool make_dict_shapes(DictShapes& shapes, const DictKeys& keys);

// Each a new reference, or nullptr with the exception set.
PyObject* year_dict(const simulator::FormattedYear& year, PyObject* text_key);
PyObject* years_list(const simulator::GameSession& session, std::size_t begin, std::size_t end);
PyObject* summary_dict(const simulator::GameSession& session);
PyObject* achievements_list(const simulator::GameSession& session);
PyObject* events_list(const simulator::GameSession& session);
PyObject* replacements_list(const simulator::GameSession& session);

}  // namespace sablewick::py::session
