#include "python/config/field_names.hpp"

#include "python/capi/interned.hpp"

namespace sablewick::py::config {

bool make_field_names(FieldNames& names) {
    const capi::InternedName entries[] = {
#define SABLEWICK_FIELD_ENTRY(name) {&names.name, #name},
        SABLEWICK_CONFIG_FIELDS(SABLEWICK_FIELD_ENTRY)
#undef SABLEWICK_FIELD_ENTRY
#define SABLEWICK_EFFECT_ENTRY(code, start, host, range, value, year, effect) \
    SABLEWICK_IF(effect, {&names.code, #code}, )
            SABLEWICK_PROPERTIES(SABLEWICK_EFFECT_ENTRY)
#undef SABLEWICK_EFFECT_ENTRY
                {&names.RDM, "RDM"},
    };
    return capi::intern_all(entries);
}

}  // namespace sablewick::py::config
