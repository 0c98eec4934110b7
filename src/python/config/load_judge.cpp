// The "judge" collection: level lists by summary key, highest min first.

#include <algorithm>
#include <string>
#include <utility>

#include "python/capi/conversions.hpp"
#include "python/config/field_access.hpp"
#include "python/config/loaders.hpp"

namespace sablewick::py::config {

using namespace capi;

namespace cfg = sablewick::config;

namespace {

constinit FieldName kMin{"min"};
constinit FieldName kGrade{"grade"};
constinit FieldName kText{"text"};

bool read_level(PyObject* record, cfg::JudgeLevel& level) {
    std::optional<std::int32_t> min = required_field<std::int32_t>(record, kMin, to_i32);
    if (!min) return false;
    level.min = *min;
    std::optional<std::int32_t> grade = required_field<std::int32_t>(record, kGrade, to_i32);
    if (!grade) return false;
    level.grade = *grade;
    std::optional<std::string> text = required_field<std::string>(record, kText, to_text);
    if (!text) return false;
    level.text = std::move(*text);
    return true;
}

}  // namespace

bool load_judge(PyObject* dict, StringMap<std::vector<cfg::JudgeLevel>>& out) {
    out.reserve(out.size() + static_cast<std::size_t>(PyDict_GET_SIZE(dict)));
    std::string name;
    return for_each_entry(dict, [&](PyObject* key, PyObject* value) {
        if (!to_string(key, name)) return false;
        if (!PyList_Check(value)) {
            raise_cast_error(value, "list");
            return false;
        }
        std::vector<cfg::JudgeLevel> levels;
        const bool read = for_each_list_item(value, [&](PyObject* item) {
            cfg::JudgeLevel level;
            if (!read_level(item, level)) return false;
            levels.push_back(std::move(level));
            return true;
        });
        if (!read) return false;
        std::stable_sort(levels.begin(), levels.end(),
                         [](const cfg::JudgeLevel& a, const cfg::JudgeLevel& b) {
                             return a.min > b.min;
                         });
        out.insert_or_assign(name, std::move(levels));
        return true;
    });
}

}  // namespace sablewick::py::config
