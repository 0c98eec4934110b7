#include "python/config/field_access.hpp"

#include <string>
#include <string_view>

#include "sablewick/condition/value_parser.hpp"

namespace sablewick::py::config {

using namespace capi;

std::optional<std::string> to_text(PyObject* value) {
    std::string text;
    if (!to_string(value, text)) return std::nullopt;
    return text;
}

PyRef get_attr(PyObject* record, PyObject* name) {
    if (PyDict_Check(record)) {
        PyObject* found = PyDict_GetItemWithError(record, name);
        if (found) return PyRef::borrow(found);
        if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, name);
        return {};
    }
    return PyRef::steal(PyObject_GetAttr(record, name));
}

PyRef get_attr_opt(PyObject* record, PyObject* name) {
    if (PyDict_Check(record)) {
        // Most optional fields are absent: a miss must not build a KeyError
        // only to discard it.
        PyObject* found = PyDict_GetItemWithError(record, name);
        if (found) return PyRef::borrow(found);
        PyErr_Clear();
        return {};
    }
    PyRef value = get_attr(record, name);
    if (!value) PyErr_Clear();
    return value;
}

// A text key is read with the grammar of an integer in a condition: an
// optional sign, one or more ASCII digits, within the signed 32-bit range.
std::optional<std::int32_t> resolve_map_key(PyObject* key, const char* prefix) {
    if (std::optional<std::int32_t> id = to_i32(key)) return id;
    PyErr_Clear();
    if (!PyUnicode_Check(key)) {
        raise_cast_error(key, "str");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
    if (!utf8) return std::nullopt;  // UnicodeEncodeError
    if (std::optional<std::int32_t> id = condition::parse_int(std::string_view(utf8, static_cast<std::size_t>(size)))) {
        return id;
    }
    PyRef message = PyRef::steal(PyUnicode_FromFormat("%s%U", prefix, key));
    if (message) PyErr_SetObject(PyExc_ValueError, message.get());
    return std::nullopt;
}

}  // namespace sablewick::py::config
