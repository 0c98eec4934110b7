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
    DictWalk walk(dict);
    PyRef key;
    PyRef value;
    std::string name;
    int step = 0;
    while ((step = walk.next(key, value)) > 0) {
        if (!to_string(key.get(), name)) return false;
        if (!PyList_Check(value.get())) {
            raise_cast_error(value.get(), "list");
            return false;
        }
        std::vector<cfg::JudgeLevel> levels;
        ListWalk list(value.get());
        PyRef item;
        while (list.next(item)) {
            cfg::JudgeLevel level;
            if (!read_level(item.get(), level)) return false;
            levels.push_back(std::move(level));
        }
        std::stable_sort(levels.begin(), levels.end(),
                         [](const cfg::JudgeLevel& a, const cfg::JudgeLevel& b) {
                             return a.min > b.min;
                         });
        out.insert_or_assign(name, std::move(levels));
    }
    return step == 0;
}

}  // namespace sablewick::py::config
