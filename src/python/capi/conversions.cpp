#include "python/capi/conversions.hpp"

#include <algorithm>
#include <climits>

#include "python/capi/walks.hpp"

namespace sablewick::py::capi {

namespace {

// The length a sequence reports is only a capacity hint; a hostile __len__
// must not make us reserve gigabytes up front.
constexpr Py_ssize_t kMaxReserveHint = 1 << 16;

std::size_t reserve_hint(Py_ssize_t reported) {
    return static_cast<std::size_t>(std::clamp<Py_ssize_t>(reported, 0, kMaxReserveHint));
}

// Converts each item that the iteration of `value` yields as an int32 and
// hands it to add(id), which returns false to end the walk (exception set).
template <class Add>
bool each_i32(PyObject* value, Add add) {
    return for_each_item(value, [&](PyObject* item) {
        std::optional<std::int32_t> id = to_i32(item);
        return id && add(*id);
    });
}

}  // namespace

void raise_cast_error(PyObject* value, const char* target) {
    PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(value)));
    if (!qualname) {
        PyErr_Clear();
        qualname = PyRef::steal(PyUnicode_FromString(Py_TYPE(value)->tp_name));
        if (!qualname) return;
    }
    // Fixed interface text (pyo3's cast error).
    PyRef message = PyRef::steal(PyUnicode_FromFormat("'%U' object cannot be cast as '%s'", qualname.get(), target));
    if (message) PyErr_SetObject(PyExc_TypeError, message.get());
}

std::optional<std::int32_t> to_i32(PyObject* value) {
    // PyLong_AsLong takes __index__ for non-int objects.
    const long wide = PyLong_AsLong(value);
    if (wide == -1 && PyErr_Occurred()) return std::nullopt;
    if (wide < INT32_MIN || wide > INT32_MAX) {
        // Fixed interface text (pyo3's).
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return std::nullopt;
    }
    return static_cast<std::int32_t>(wide);
}

std::optional<std::uint64_t> to_u64(PyObject* value) {
    PyRef index;
    PyObject* number = value;
    if (!PyLong_Check(value)) {
        index = PyRef::steal(PyNumber_Index(value));
        if (!index) return std::nullopt;
        number = index.get();
    }
    const unsigned long long wide = PyLong_AsUnsignedLongLong(number);
    if (wide == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return static_cast<std::uint64_t>(wide);
}

std::optional<double> to_f64(PyObject* value) {
    if (PyFloat_CheckExact(value)) return PyFloat_AS_DOUBLE(value);
    const double d = PyFloat_AsDouble(value);
    if (d == -1.0 && PyErr_Occurred()) return std::nullopt;
    return d;
}

std::optional<bool> to_bool(PyObject* value) {
    if (value == Py_True) return true;
    if (value == Py_False) return false;

    PyTypeObject* type = Py_TYPE(value);
    bool numpy_bool = false;
    {
        PyRef module = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
        if (module && PyUnicode_Check(module.get()) && PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0) {
            PyRef name = PyRef::steal(PyType_GetName(type));
            numpy_bool = name && PyUnicode_Check(name.get()) &&
                         (PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
                          PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0);
        }
        PyErr_Clear();
    }
    if (numpy_bool) {
        if (type->tp_as_number && type->tp_as_number->nb_bool) {
            const int truth = type->tp_as_number->nb_bool(value);
            if (truth < 0) return std::nullopt;
            return truth != 0;
        }
        PyRef shown = PyRef::steal(PyObject_Str(reinterpret_cast<PyObject*>(type)));
        if (!shown) return std::nullopt;
        // Fixed interface text (pyo3's).
        PyRef message = PyRef::steal(
            PyUnicode_FromFormat("object of type '%U' does not define a '__bool__' conversion", shown.get()));
        if (message) PyErr_SetObject(PyExc_TypeError, message.get());
        return std::nullopt;
    }
    raise_cast_error(value, "bool");
    return std::nullopt;
}

std::optional<std::string_view> to_string_view(PyObject* value) {
    if (!PyUnicode_Check(value)) {
        raise_cast_error(value, "str");
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (!utf8) return std::nullopt;  // UnicodeEncodeError for a lone surrogate
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

bool to_string(PyObject* value, std::string& out) {
    const std::optional<std::string_view> text = to_string_view(value);
    if (!text) return false;
    out.assign(*text);
    return true;
}

bool check_sequence_not_str(PyObject* value) {
    if (PyUnicode_Check(value)) {
        // Fixed interface text (pyo3's).
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(value)) {
        raise_cast_error(value, "Sequence");
        return false;
    }
    return true;
}

bool to_i32_list(PyObject* value, std::vector<std::int32_t>& out) {
    if (!check_sequence_not_str(value)) return false;
    out.clear();
    const Py_ssize_t reported = PySequence_Size(value);
    if (reported < 0) PyErr_Clear();
    out.reserve(reserve_hint(reported));
    return each_i32(value, [&](std::int32_t id) {
        out.push_back(id);
        return check_signals_every_so_often(out.size());
    });
}

bool to_i32_set(PyObject* value, IdSet& out) {
    if (!PyAnySet_Check(value)) {
        raise_cast_error(value, "set");
        return false;
    }
    out.clear();
    out.reserve(reserve_hint(PySet_GET_SIZE(value)));
    // A set changed by an item's __index__ makes the iterator raise.
    return each_i32(value, [&](std::int32_t id) {
        out.insert(id);
        return true;
    });
}

namespace {

template <class V, class Convert>
bool to_str_map(PyObject* value, StringMap<V>& out, Convert convert) {
    if (!PyDict_Check(value)) {
        raise_cast_error(value, "dict");
        return false;
    }
    out.clear();
    out.reserve(reserve_hint(PyDict_GET_SIZE(value)));
    std::string text;
    return for_each_entry(value, [&](PyObject* key, PyObject* item) {
        if (!to_string(key, text)) return false;
        std::optional<V> converted = convert(item);
        if (!converted) return false;
        out.insert_or_assign(text, *converted);
        return true;
    });
}

}  // namespace

bool to_str_f64_map(PyObject* value, StringMap<double>& out) { return to_str_map(value, out, to_f64); }

bool to_str_i32_map(PyObject* value, StringMap<std::int32_t>& out) { return to_str_map(value, out, to_i32); }

}  // namespace sablewick::py::capi
