#pragma once
// The seven parameters shared by simulate_full_life and simulate_async:
// binding, conversion in parameter order, and the play-history rule.

#include "python/capi/py_ref.hpp"

#include <cstdint>
#include <optional>
#include <vector>

#include "sablewick/base/containers.hpp"
#include "sablewick/result/records.hpp"

namespace sablewick::py::simulate {

struct SimulationArguments {
    std::vector<std::int32_t> talent_ids;
    StringMap<std::int32_t> properties;
    IdSet achieved_ids;
    // Absent when tms <= 0, cachv <= 0 and neither aevt nor atlt was given.
    std::optional<simulator::PlayHistory> history;

    const simulator::PlayHistory* history_or_null() const { return history ? &*history : nullptr; }
};

// Binds (messages name `display_name`, e.g. "simulate_full_life") and
// converts the arguments; the first failure ends the conversion. Returns
// false with the exception set.
bool convert_simulation_arguments(const char* display_name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                  SimulationArguments& out);

}  // namespace sablewick::py::simulate
