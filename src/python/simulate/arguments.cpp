#include "python/simulate/arguments.hpp"

#include <utility>

#include "python/capi/arguments.hpp"
#include "python/capi/conversions.hpp"

namespace sablewick::py::simulate {

using namespace capi;

namespace {

const char* const parameter_names[] = {"talent_ids", "properties", "achieved_ids", "tms", "aevt", "atlt", "cachv"};
constexpr std::size_t kParameters = 7;
constexpr std::size_t kRequired = 3;

bool optional_i32(PyObject* value, const char* name, std::int32_t& out) {
    if (!value) return true;  // default 0
    std::optional<std::int32_t> converted = with_argument_prefix(to_i32(value), name);
    if (!converted) return false;
    out = *converted;
    return true;
}

bool optional_list(PyObject* value, const char* name, std::optional<std::vector<std::int32_t>>& out) {
    if (!value || value == Py_None) return true;
    std::vector<std::int32_t> list;
    if (!with_argument_prefix(to_i32_list(value, list), name)) return false;
    out = std::move(list);
    return true;
}

}  // namespace

bool convert_simulation_arguments(const char* display_name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                  SimulationArguments& out) {
    const Signature signature{display_name, parameter_names, kParameters, kRequired};
    PyObject* bound[kParameters] = {};
    if (!bind_arguments(signature, args, nargs, kwnames, bound)) return false;

    if (!with_argument_prefix(to_i32_list(bound[0], out.talent_ids), "talent_ids") ||
        !with_argument_prefix(to_str_i32_map(bound[1], out.properties), "properties") ||
        !with_argument_prefix(to_i32_set(bound[2], out.achieved_ids), "achieved_ids")) {
        return false;
    }
    std::int32_t tms = 0;
    std::int32_t cachv = 0;
    std::optional<std::vector<std::int32_t>> aevt;
    std::optional<std::vector<std::int32_t>> atlt;
    if (!optional_i32(bound[3], "tms", tms) || !optional_list(bound[4], "aevt", aevt) ||
        !optional_list(bound[5], "atlt", atlt) || !optional_i32(bound[6], "cachv", cachv)) {
        return false;
    }

    // A history is handed on when anything of it was given: an empty list
    // counts, a zero or negative count does not.
    if (tms > 0 || cachv > 0 || aevt || atlt) {
        simulator::PlayHistory history;
        if (aevt) history.aevt = std::move(*aevt);
        if (atlt) history.atlt = std::move(*atlt);
        history.tms = tms;
        history.cachv = cachv;
        out.history = std::move(history);
    }
    return true;
}

}  // namespace sablewick::py::simulate
