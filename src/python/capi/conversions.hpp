#pragma once
// Conversions of host values into native values, with the messages the host
// sees. Each returns false (or nullopt) with the exception set on failure;
// std::bad_alloc propagates to the entry point (capi/boundary.hpp).

#include "python/capi/py_ref.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sablewick/base/containers.hpp"

namespace sablewick::py::capi {

// The messages are fixed interface texts: pyo3's conversion errors, word for
// word, which hosts match on.

// TypeError "'<qualname of type(value)>' object cannot be cast as '<target>'".
void raise_cast_error(PyObject* value, const char* target);

// int, bool or __index__; OverflowError "out of range integral type
// conversion attempted" inside 64 bits but outside 32.
std::optional<std::int32_t> to_i32(PyObject* value);
// Unsigned 64-bit: negative or too large gives the interpreter's OverflowError.
std::optional<std::uint64_t> to_u64(PyObject* value);
std::optional<double> to_f64(PyObject* value);
// Exactly True/False, or a numpy bool by its truth value; else cast error 'bool'.
std::optional<bool> to_bool(PyObject* value);
// str or subclass as UTF-8; else cast error 'str'; surrogates: UnicodeEncodeError.
bool to_string(PyObject* value, std::string& out);
// The same text without a copy: valid while `value` lives (the str keeps it).
std::optional<std::string_view> to_string_view(PyObject* value);
// What a list is read from: any sequence but str. A str gives TypeError
// "Can't extract `str` to `Vec`", any other non-sequence cast error 'Sequence'.
bool check_sequence_not_str(PyObject* value);
// A sequence (as above) of int32, items by iteration.
bool to_i32_list(PyObject* value, std::vector<std::int32_t>& out);

// dict (or subclass) of str -> float; non-dict: cast error 'dict'.
bool to_str_f64_map(PyObject* value, StringMap<double>& out);
// dict (or subclass) of str -> int32; non-dict: cast error 'dict'.
bool to_str_i32_map(PyObject* value, StringMap<std::int32_t>& out);
// set or frozenset (or subclasses) of int32; else cast error 'set'.
bool to_i32_set(PyObject* value, IdSet& out);

}  // namespace sablewick::py::capi
