// The "judge" collection: level lists by summary key, highest min first.

#include <algorithm>
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

bool read_level(PyObject* record, cfg::JudgeLevel& level) {
    const FieldNames& names = state().fields;
    return required_field(record, names.min, to_i32, level.min) &&
           required_field(record, names.grade, to_i32, level.grade) &&
           required_field(record, names.text, to_text, level.text);
}

}  // namespace

bool load_judge(PyObject* dict, StringMap<std::vector<cfg::JudgeLevel>>& out) {
    out.reserve(out.size() + static_cast<std::size_t>(PyDict_GET_SIZE(dict)));
    std::string name;
    return for_each_entry(dict, [&](PyObject* key, PyObject* value) {
        if (!to_string(key, name)) return false;
        std::vector<cfg::JudgeLevel> levels;
        if (!read_record_list(value, read_level, levels)) return false;
        std::stable_sort(levels.begin(), levels.end(),
                         [](const cfg::JudgeLevel& a, const cfg::JudgeLevel& b) { return a.min > b.min; });
        out.insert_or_assign(name, std::move(levels));
        return true;
    });
}

}  // namespace sablewick::py::config
