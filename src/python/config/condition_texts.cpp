#include "python/config/condition_texts.hpp"

#include <string_view>
#include <utility>

#include "python/capi/conversions.hpp"

namespace sablewick::py::config {

std::optional<condition::ConditionText> LoadedTexts::read(PyObject* value) {
    if (auto found = seen_.find(value); found != seen_.end()) return found->second.text;
    const std::optional<std::string_view> text = capi::to_string_view(value);
    if (!text) return std::nullopt;
    condition::ConditionText condition(*text);
    if (text->size() >= kLongText) {
        seen_.emplace(value, Seen{value, condition});
        Py_INCREF(value);  // after the emplace, which may throw
    }
    return condition;
}

LoadedTexts::~LoadedTexts() noexcept(false) {
    while (!seen_.empty()) {
        PyObject* object = seen_.begin()->second.object;
        seen_.erase(seen_.begin());
        capi::release_reference(object);
    }
}

}  // namespace sablewick::py::config
