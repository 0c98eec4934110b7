#pragma once
// The achievement records in the form the checks run on, built with the rest
// of the compiled rules (simulator/compiled_rules.hpp), and what one life has
// achieved so far.

#include <cstdint>
#include <vector>

#include "sablewick/base/containers.hpp"
#include "sablewick/condition/table.hpp"
#include "sablewick/config/records.hpp"

namespace sablewick::achievement {

struct AchievementRule {
    const config::AchievementConfig* record = nullptr;
    std::uint32_t condition = 0;  // in the compiled rules' tables
    std::uint32_t group = 0;      // records sharing one own id share a group
    std::uint32_t reads = 0;      // what the condition reads (Snapshot masks)
    condition::Gate gate;         // holds wherever the condition does
};

struct AchievementRules {
    // By opportunity (START, TRAJECTORY, SUMMARY, END), each in the
    // achievement map's order.
    // Records whose condition never holds are left out.
    std::vector<AchievementRule> by_opportunity[4];
    std::vector<std::int32_t> group_ids;  // own id of each group
    IdMap<std::uint32_t> group_of;        // own id -> group
};

// Which achievements a life has: the host's set and what the life found at
// START and TRAJECTORY, answered per group of records sharing an own id.
class AchievedSet {
public:
    AchievedSet(const AchievementRules& rules, const IdSet& achieved);
    bool has_group(std::uint32_t group) const noexcept { return done_[group] != 0; }
    void add(std::int32_t id);
    // Room for the achievement checks of this life to work in.
    std::vector<std::uint32_t>& scratch() const noexcept { return scratch_; }

private:
    const AchievementRules& rules_;
    std::vector<std::uint8_t> done_;
    mutable std::vector<std::uint32_t> scratch_;
};

}  // namespace sablewick::achievement
