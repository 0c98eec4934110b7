#include "python/capi/arguments.hpp"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace sablewick::py::capi {

// The messages built here are fixed interface texts (arguments.hpp).

namespace {

void raise_type_error(const std::string& message) {
    PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

std::string full_name(const Signature& signature) { return std::string(signature.display_name) + "()"; }

// Text of a keyword name for a message. A name that is not valid UTF-8 (a lone
// surrogate) or not a str at all is shown through str(), with replacement
// characters where UTF-8 fails.
std::string keyword_text(PyObject* name) {
    PyRef shown = PyRef::steal(PyObject_Str(name));
    if (!shown) {
        PyErr_Clear();
        return "<unprintable object>";
    }
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(shown.get(), &size)) {
        return std::string(utf8, static_cast<std::size_t>(size));
    }
    PyErr_Clear();
    PyRef bytes = PyRef::steal(PyUnicode_AsEncodedString(shown.get(), "utf-8", "surrogatepass"));
    if (!bytes) {
        PyErr_Clear();
        return "<unprintable object>";
    }
    PyRef lossy =
        PyRef::steal(PyUnicode_DecodeUTF8(PyBytes_AS_STRING(bytes.get()), PyBytes_GET_SIZE(bytes.get()), "replace"));
    const char* utf8 = lossy ? PyUnicode_AsUTF8AndSize(lossy.get(), &size) : nullptr;
    if (!utf8) {
        PyErr_Clear();
        return "<unprintable object>";
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

void too_many_positional(const Signature& signature, Py_ssize_t given) {
    const char* was = given == 1 ? "was" : "were";
    std::string message = full_name(signature) + " takes ";
    if (signature.required != signature.count) {
        message += "from " + std::to_string(signature.required) + " to " + std::to_string(signature.count);
    } else {
        message += std::to_string(signature.count);
    }
    message += " positional arguments but " + std::to_string(given) + " " + was + " given";
    raise_type_error(message);
}

void missing_required(const Signature& signature, PyObject* const* out) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (!out[i]) missing.push_back(signature.names[i]);
    }
    std::string message = full_name(signature) + " missing " + std::to_string(missing.size()) +
                          " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": ";
    const std::size_t n = missing.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i != 0) {
            if (n > 2) message += ',';
            message += i == n - 1 ? " and " : " ";
        }
        message += '\'';
        message += missing[i];
        message += '\'';
    }
    raise_type_error(message);
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** out) {
    for (std::size_t i = 0; i < signature.count; ++i) out[i] = nullptr;
    if (nargs < 0 || static_cast<std::size_t>(nargs) > signature.count) {
        too_many_positional(signature, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];

    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        PyObject* value = args[nargs + k];
        std::size_t slot = signature.count;
        if (PyUnicode_Check(name)) {
            Py_ssize_t size = 0;
            const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
            if (utf8) {
                const std::string_view text(utf8, static_cast<std::size_t>(size));
                for (std::size_t i = 0; i < signature.count; ++i) {
                    if (text == signature.names[i]) {
                        slot = i;
                        break;
                    }
                }
            } else {
                PyErr_Clear();
            }
        }
        if (slot == signature.count) {
            raise_type_error(full_name(signature) + " got an unexpected keyword argument '" + keyword_text(name) + "'");
            return false;
        }
        if (out[slot]) {
            raise_type_error(full_name(signature) + " got multiple values for argument '" + signature.names[slot] +
                             "'");
            return false;
        }
        out[slot] = value;
    }

    for (std::size_t i = 0; i < signature.required; ++i) {
        if (!out[i]) {
            missing_required(signature, out);
            return false;
        }
    }
    return true;
}

void prefix_argument_error(const char* name) {
    if (!PyErr_Occurred()) return;
    PyObject* raw_type = nullptr;
    PyObject* raw_value = nullptr;
    PyObject* raw_traceback = nullptr;
    PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
    if (raw_type != PyExc_TypeError) {
        PyErr_Restore(raw_type, raw_value, raw_traceback);
        return;
    }
    PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
    PyRef type = PyRef::steal(raw_type);
    PyRef original = PyRef::steal(raw_value);
    PyRef traceback = PyRef::steal(raw_traceback);
    if (original && traceback) PyException_SetTraceback(original.get(), traceback.get());

    PyRef text = PyRef::steal(original ? PyObject_Str(original.get()) : nullptr);
    if (!text) {
        PyErr_Clear();
        text = PyRef::steal(PyUnicode_FromString("<unprintable TypeError object>"));
        if (!text) return;  // MemoryError is pending
    }
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!message) return;
    PyRef replacement = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) return;
    // The original's own cause is carried over (not the original itself);
    // setting it, even to nothing, suppresses the context as pyo3 does.
    PyException_SetCause(replacement.get(),
                         original ? PyException_GetCause(original.get()) : nullptr);  // steals
    PyErr_SetObject(PyExc_TypeError, replacement.get());
}

}  // namespace sablewick::py::capi
