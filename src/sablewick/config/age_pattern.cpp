// Default of a talent's max_triggers, found by a linear scan for the one
// fixed pattern AGE\?\[([0-9,]+)\] (leftmost match, group 1).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sablewick/config/records.hpp"

namespace sablewick::config {

namespace {

constexpr std::string_view kOpening = "AGE?[";

bool in_group(char c) { return (c >= '0' && c <= '9') || c == ','; }

}  // namespace

std::int32_t default_max_triggers(std::string_view condition) {
    std::size_t from = 0;
    while ((from = condition.find(kOpening, from)) != std::string_view::npos) {
        const std::size_t group_start = from + kOpening.size();
        std::size_t end = group_start;
        std::int64_t commas = 0;
        while (end < condition.size() && in_group(condition[end])) {
            if (condition[end] == ',') ++commas;
            ++end;
        }
        // The group cannot hold ']', so the greedy run is the only candidate.
        if (end > group_start && end < condition.size() && condition[end] == ']') {
            const std::int64_t pieces = commas + 1;
            return pieces > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(pieces);
        }
        // No opening can start inside the run ('A' is not in the group).
        from = end > group_start ? end : from + 1;
    }
    return 1;
}

}  // namespace sablewick::config
