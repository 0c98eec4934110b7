// The "achievements" collection.

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
constinit FieldName kOpportunity{"opportunity"};
constinit FieldName kCondition{"condition"};

bool read_text(PyObject* record, const FieldName& name, std::string& out) {
    std::optional<std::string> text = required_field<std::string>(record, name, to_text);
    if (!text) return false;
    out = std::move(*text);
    return true;
}

bool read_achievement(PyObject* record, cfg::AchievementConfig& achievement) {
    std::optional<std::int32_t> id = required_field<std::int32_t>(record, kId, to_i32);
    if (!id) return false;
    achievement.id = *id;
    if (!read_text(record, kName, achievement.name)) return false;
    if (!read_text(record, kDescription, achievement.description)) return false;
    achievement.grade = 0;
    if (PyRef grade = get_attr_opt(record, kGrade)) {
        achievement.grade = extract_achievement(grade.get()).value_or(0);
    }
    if (!read_text(record, kOpportunity, achievement.opportunity)) return false;
    std::string condition;
    if (!read_text(record, kCondition, condition)) return false;
    achievement.condition = sablewick::condition::ConditionText(std::move(condition));
    achievement.opportunity_kind = cfg::classify_opportunity(achievement.opportunity);
    return true;
}

}  // namespace

std::optional<std::int32_t> extract_achievement(PyObject* value) {
    std::optional<std::int32_t> grade = to_i32(value);
    if (!grade) PyErr_Clear();
    return grade;
}

bool load_achievements(PyObject* dict, IdMap<cfg::AchievementConfig>& out) {
    return load_id_collection(dict, "Invalid achievement id: ", out, read_achievement);
}

}  // namespace sablewick::py::config
