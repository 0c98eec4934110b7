// The "achievements" collection.

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

bool read_achievement(PyObject* record, cfg::AchievementConfig& achievement, LoadedTexts& texts) {
    const FieldNames& names = state().fields;
    if (!required_field(record, names.id, to_i32, achievement.id) ||
        !required_field(record, names.name, to_text, achievement.name) ||
        !required_field(record, names.description, to_text, achievement.description)) {
        return false;
    }
    achievement.grade = 0;
    if (PyRef grade = get_attr_opt(record, names.grade)) {
        achievement.grade = extract_achievement(grade.get()).value_or(0);
    }
    const auto condition_text = [&](PyObject* value) { return texts.read(value); };
    if (!required_field(record, names.opportunity, to_text, achievement.opportunity) ||
        !required_field(record, names.condition, condition_text, achievement.condition)) {
        return false;
    }
    achievement.opportunity_kind = cfg::classify_opportunity(achievement.opportunity);
    return true;
}

}  // namespace

std::optional<std::int32_t> extract_achievement(PyObject* value) {
    std::optional<std::int32_t> grade = to_i32(value);
    if (!grade) PyErr_Clear();
    return grade;
}

bool load_achievements(PyObject* dict, IdMap<cfg::AchievementConfig>& out, LoadedTexts& texts) {
    return load_id_collection(dict, "Invalid achievement id: ", out,
                              [&](PyObject* record, cfg::AchievementConfig& achievement) {
                                  return read_achievement(record, achievement, texts);
                              });
}

}  // namespace sablewick::py::config
