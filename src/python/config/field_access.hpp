#pragma once
// Reading fields of configuration records (dicts by key, other objects by
// attribute) in the three access modes, and the rule that turns a
// collection's dict key into a map key.

#include "python/capi/conversions.hpp"
#include "python/capi/py_ref.hpp"
#include "python/capi/walks.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sablewick/base/containers.hpp"

namespace sablewick::py::config {

// Field names are interned strs (field_names.hpp), looked up as dict keys
// in dict records and as attribute names in any other record.

// Required look-up: the value, or nullptr with KeyError(name) for a missing
// dict key, or the attribute look-up's own exception.
capi::PyRef get_attr(PyObject* record, PyObject* name);
// Optional look-up: the value (None included) or nullptr; never leaves an
// exception set.
capi::PyRef get_attr_opt(PyObject* record, PyObject* name);

// Required field: converted by `convert` (which returns an optional, empty
// with the exception set) into `out`. False with the exception set.
template <class T, class Convert>
bool required_field(PyObject* record, PyObject* name, Convert convert, T& out) {
    capi::PyRef value = get_attr(record, name);
    if (!value) return false;
    auto converted = convert(value.get());
    if (!converted) return false;
    out = std::move(*converted);
    return true;
}

// Lenient optional field: absent, None or not convertible give nullopt;
// never leaves an exception set.
template <class T, class Convert>
std::optional<T> lenient_field(PyObject* record, PyObject* name, Convert convert) {
    capi::PyRef value = get_attr_opt(record, name);
    if (!value || value.get() == Py_None) return std::nullopt;
    std::optional<T> converted = convert(value.get());
    if (!converted) PyErr_Clear();
    return converted;
}

// Strict optional field: absent or None leave `out` empty; a conversion
// failure returns false with the exception set. `Convert` fills a T and
// returns bool; an empty list or map also leaves `out` empty.
template <class T, class Convert>
bool strict_field(PyObject* record, PyObject* name, Convert convert, std::optional<T>& out) {
    out.reset();
    capi::PyRef value = get_attr_opt(record, name);
    if (!value || value.get() == Py_None) return true;
    T converted;
    if (!convert(value.get(), converted)) return false;
    if (!converted.empty()) out = std::move(converted);
    return true;
}

// A list of records: `value` must be a list (else cast error 'list'); each
// item is read by read(item, Record&) and appended, in list order
// (capi::for_each_list_item). False with the exception set on the first
// failure.
template <class Record, class Read>
bool read_record_list(PyObject* value, Read read, std::vector<Record>& out) {
    if (!PyList_Check(value)) {
        capi::raise_cast_error(value, "list");
        return false;
    }
    return capi::for_each_list_item(value, [&](PyObject* item) {
        Record record;
        if (!read(item, record)) return false;
        out.push_back(std::move(record));
        return true;
    });
}

// A strict optional field that holds a list of records (read_record_list).
template <class Record, class Read>
bool record_list_field(PyObject* record, PyObject* name, Read read, std::optional<std::vector<Record>>& out) {
    return strict_field(
        record, name, [&](PyObject* value, std::vector<Record>& list) { return read_record_list(value, read, list); },
        out);
}

// Text as an optional (for the field helpers above).
std::optional<std::string> to_text(PyObject* value);

// Map-key rule of the integer-keyed collections: int32 first, else a str
// holding an optional sign and ASCII digits in range; else ValueError with
// `prefix` followed by the key text (a non-str key: cast error 'str'). The
// prefixes ("Invalid talent id: " and the like, in the loaders) are fixed
// interface texts.
std::optional<std::int32_t> resolve_map_key(PyObject* key, const char* prefix);

// Loads an integer-keyed collection: walks `dict` in insertion order,
// resolves each key (errors prefixed with `key_prefix`) before its record is
// read by `read(record_object, Record&)`, and inserts it; a later key that
// resolves to the same id replaces the earlier record. False with the
// exception set on the first failure.
template <class Record, class Read>
bool load_id_collection(PyObject* dict, const char* key_prefix, IdMap<Record>& out, Read read) {
    // One record per entry at most: the table is sized once.
    out.reserve(out.size() + static_cast<std::size_t>(PyDict_GET_SIZE(dict)));
    return capi::for_each_entry(dict, [&](PyObject* key, PyObject* value) {
        std::optional<std::int32_t> id = resolve_map_key(key, key_prefix);
        if (!id) return false;
        Record record;
        if (!read(value, record)) return false;
        out.insert_or_assign(*id, std::move(record));
        return true;
    });
}

}  // namespace sablewick::py::config
