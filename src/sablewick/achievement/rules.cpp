#include "sablewick/achievement/rules.hpp"

namespace sablewick::achievement {

AchievedSet::AchievedSet(const AchievementRules& rules, const IdSet& achieved)
    : rules_(rules), done_(rules.group_ids.size(), 0) {
    // Whichever side is smaller is walked.
    if (achieved.size() < done_.size()) {
        for (std::int32_t id : achieved) add(id);
    } else {
        for (std::size_t g = 0; g < done_.size(); ++g) done_[g] = achieved.contains(rules.group_ids[g]);
    }
}

void AchievedSet::add(std::int32_t id) {
    auto found = rules_.group_of.find(id);
    if (found != rules_.group_of.end()) done_[found->second] = 1;
}

}  // namespace sablewick::achievement
