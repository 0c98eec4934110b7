// The "talents" collection, and the effect record shared with events.

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

std::optional<cfg::ReplacementConfig> read_replacement(PyObject* record, bool& ok) {
    const FieldNames& names = state().fields;
    ok = true;
    PyRef value = get_attr_opt(record, names.replacement);
    if (!value || value.get() == Py_None) return std::nullopt;
    cfg::ReplacementConfig replacement;
    ok = strict_field(value.get(), names.grade, to_str_f64_map, replacement.grade) &&
         strict_field(value.get(), names.talent, to_str_f64_map, replacement.talent);
    return replacement;
}

bool read_talent(PyObject* record, cfg::TalentConfig& talent, LoadedTexts& texts) {
    const FieldNames& names = state().fields;
    if (!required_field(record, names.id, to_i32, talent.id) ||
        !required_field(record, names.name, to_text, talent.name) ||
        !required_field(record, names.description, to_text, talent.description)) {
        return false;
    }
    talent.grade = lenient_field<std::int32_t>(record, names.grade, to_i32).value_or(0);
    const auto condition_text = [&](PyObject* value) { return texts.read(value); };
    talent.condition = lenient_field<sablewick::condition::ConditionText>(record, names.condition, condition_text);
    talent.exclusive = lenient_field<bool>(record, names.exclusive, to_bool).value_or(false);
    talent.status = lenient_field<std::int32_t>(record, names.status, to_i32).value_or(0);
    if (std::optional<std::int32_t> max = lenient_field<std::int32_t>(record, names.max_triggers, to_i32)) {
        talent.max_triggers = *max;
    } else {
        talent.max_triggers = talent.condition ? cfg::default_max_triggers(talent.condition->text()) : 1;
    }
    talent.effect = read_effect(record);
    if (!strict_field(record, names.exclude, to_i32_list, talent.exclude)) return false;
    bool ok = true;
    talent.replacement = read_replacement(record, ok);
    return ok;
}

}  // namespace

std::optional<cfg::EffectConfig> read_effect(PyObject* record) {
    const FieldNames& names = state().fields;
    PyRef effect = get_attr_opt(record, names.effect);
    if (!effect || effect.get() == Py_None) return std::nullopt;
    const auto amount = [&](PyObject* name) {
        return lenient_field<std::int32_t>(effect.get(), name, to_i32).value_or(0);
    };
    // Read in the property list's order, then RDM.
    cfg::EffectConfig deltas;
#define SABLEWICK_READ_AMOUNT(code, start, host, range, value, year, changed) \
    SABLEWICK_IF(changed, deltas.code = amount(names.code);)
    SABLEWICK_PROPERTIES(SABLEWICK_READ_AMOUNT)
#undef SABLEWICK_READ_AMOUNT
    deltas.RDM = amount(names.RDM);
    return deltas;
}

bool load_talents(PyObject* dict, IdMap<cfg::TalentConfig>& out, LoadedTexts& texts) {
    return load_id_collection(dict, "Invalid talent id: ", out, [&](PyObject* record, cfg::TalentConfig& talent) {
        return read_talent(record, talent, texts);
    });
}

}  // namespace sablewick::py::config
