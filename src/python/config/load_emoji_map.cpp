// The host's grade-to-emoji dict.

#include <string>

#include "python/capi/conversions.hpp"
#include "python/config/field_access.hpp"
#include "python/config/loaders.hpp"

namespace sablewick::py::config {

using namespace capi;

bool deserialize_emoji_map(PyObject* dict, simulator::EmojiMap& out) {
    out.reserve(out.size() + static_cast<std::size_t>(PyDict_GET_SIZE(dict)));
    std::string text;
    return for_each_entry(dict, [&](PyObject* key, PyObject* value) {
        // Grades are ints only: a str key is not parsed here.
        std::optional<std::int32_t> grade = to_i32(key);
        if (!grade) return false;
        if (!to_string(value, text)) return false;
        out.insert_or_assign(*grade, text);
        return true;
    });
}

}  // namespace sablewick::py::config
