#pragma once
// Every name the configuration loaders look up, listed once: the five
// collections of init_config and the fields of their records. The strs are
// made with the module's state (module_state.hpp) and read there as
// `state().fields.<name>`.

#include "python/capi/py_ref.hpp"

#include "sablewick/property/properties.hpp"

// A name that several records share is listed once, with the first record
// that reads it. The keys are the host's configuration keys, case and
// camel-case spellings included.
// clang-format off
#define SABLEWICK_CONFIG_FIELDS(X)                                               \
    /* collections */  X(talents) X(events) X(ages) X(achievements) X(judge)     \
    /* talents */      X(id) X(name) X(description) X(grade) X(condition)        \
                       X(exclusive) X(status) X(max_triggers) X(exclude)         \
                       X(replacement) X(talent) X(effect)                        \
    /* events */       X(event) X(no_random) X(NoRandom) X(include)              \
                       X(post_event) X(postEvent) X(branch) X(event_id) X(eventId) \
    /* ages */         X(age)                                                    \
    /* achievements */ X(opportunity)                                            \
    /* judge levels */ X(min) X(text)
// clang-format on

namespace sablewick::py::config {

struct FieldNames {
#define SABLEWICK_FIELD_SLOT(name) PyObject* name = nullptr;
    SABLEWICK_CONFIG_FIELDS(SABLEWICK_FIELD_SLOT)
#undef SABLEWICK_FIELD_SLOT
    // An effect's amounts: each property an effect changes, then RDM.
#define SABLEWICK_EFFECT_SLOT(code, start, host, range, value, year, effect) \
    SABLEWICK_IF(effect, PyObject* code = nullptr;)
    SABLEWICK_PROPERTIES(SABLEWICK_EFFECT_SLOT)
#undef SABLEWICK_EFFECT_SLOT
    PyObject* RDM = nullptr;
};

// Interns every name into `names`; false with the exception set.
bool make_field_names(FieldNames& names);

}  // namespace sablewick::py::config
