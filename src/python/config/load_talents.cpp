// The "talents" collection, and the effect record shared with events.

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
constinit FieldName kName{"name"};
constinit FieldName kDescription{"description"};
constinit FieldName kGrade{"grade"};
constinit FieldName kCondition{"condition"};
constinit FieldName kExclusive{"exclusive"};
constinit FieldName kStatus{"status"};
constinit FieldName kMaxTriggers{"max_triggers"};
constinit FieldName kExclude{"exclude"};
constinit FieldName kReplacement{"replacement"};
constinit FieldName kTalent{"talent"};
constinit FieldName kEffect{"effect"};
// An effect's fields, in the order they are read.
constinit FieldName kEffectFields[] = {
#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) SABLEWICK_IF(effect, FieldName{#name}, )
    SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
    FieldName{"RDM"},
};

std::optional<cfg::ReplacementConfig> read_replacement(PyObject* record, bool& ok) {
    ok = true;
    PyRef value = get_attr_opt(record, kReplacement);
    if (!value || value.get() == Py_None) return std::nullopt;
    cfg::ReplacementConfig replacement;
    ok = strict_field(value.get(), kGrade, to_str_f64_map, replacement.grade) &&
         strict_field(value.get(), kTalent, to_str_f64_map, replacement.talent);
    return replacement;
}

bool read_talent(PyObject* record, cfg::TalentConfig& talent) {
    std::optional<std::int32_t> id = required_field<std::int32_t>(record, kId, to_i32);
    if (!id) return false;
    talent.id = *id;
    std::optional<std::string> name = required_field<std::string>(record, kName, to_text);
    if (!name) return false;
    talent.name = std::move(*name);
    std::optional<std::string> description =
        required_field<std::string>(record, kDescription, to_text);
    if (!description) return false;
    talent.description = std::move(*description);

    talent.grade = lenient_field<std::int32_t>(record, kGrade, to_i32).value_or(0);
    if (std::optional<std::string> condition =
            lenient_field<std::string>(record, kCondition, to_text)) {
        talent.condition.emplace(std::move(*condition));
    }
    talent.exclusive = lenient_field<bool>(record, kExclusive, to_bool).value_or(false);
    talent.status = lenient_field<std::int32_t>(record, kStatus, to_i32).value_or(0);
    if (std::optional<std::int32_t> max = lenient_field<std::int32_t>(record, kMaxTriggers, to_i32)) {
        talent.max_triggers = *max;
    } else {
        talent.max_triggers =
            talent.condition ? cfg::default_max_triggers(talent.condition->text()) : 1;
    }
    talent.effect = read_effect(record);
    if (!strict_field(record, kExclude, to_i32_list, talent.exclude)) return false;
    bool ok = true;
    talent.replacement = read_replacement(record, ok);
    return ok;
}

}  // namespace

std::optional<cfg::EffectConfig> read_effect(PyObject* record) {
    PyRef value = get_attr_opt(record, kEffect);
    if (!value || value.get() == Py_None) return std::nullopt;
    cfg::EffectConfig deltas;
    const FieldName* field = kEffectFields;
    for (std::int32_t* delta : {
#define SABLEWICK_FIELD(name, start, host, range, value, year, effect) SABLEWICK_IF(effect, &deltas.name, )
             SABLEWICK_PROPERTIES(SABLEWICK_FIELD)
#undef SABLEWICK_FIELD
                 &deltas.RDM}) {
        *delta = lenient_field<std::int32_t>(value.get(), *field++, to_i32).value_or(0);
    }
    return deltas;
}

bool load_talents(PyObject* dict, IdMap<cfg::TalentConfig>& out) {
    return load_id_collection(dict, "Invalid talent id: ", out, read_talent);
}

}  // namespace sablewick::py::config
