// One whole life: replacement, birth, the yearly loop, judging.

#include <iterator>

#include "sablewick/achievement/checker.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/random.hpp"
#include "sablewick/simulator/engine.hpp"
#include "sablewick/talent/replacer.hpp"

namespace sablewick::simulator {
namespace {

using achievement::checker::check_achievements;

// Appends what a check found; with `achieved`, also marks the ids achieved.
void take_achievements(std::vector<AchievementInfo>&& found, IdSet* achieved,
                       std::vector<AchievementInfo>& out) {
    for (auto& info : found) {
        if (achieved) achieved->insert(info.id);
        out.push_back(std::move(info));
    }
}

}  // namespace

SimulationResult SimulationEngine::simulate(const std::vector<std::int32_t>& talent_ids,
                                            const StringMap<std::int32_t>& properties,
                                            const IdSet& achieved_ids,
                                            const PlayHistory* history) const {
    return simulate(talent_ids, properties, achieved_ids, history, thread_random());
}

SimulationResult SimulationEngine::simulate(const std::vector<std::int32_t>& talent_ids,
                                            const StringMap<std::int32_t>& properties,
                                            const IdSet& achieved_ids, const PlayHistory* history,
                                            RandomSource& random) const {
    SimulationResult result;
    result.years.reserve(120);
    result.new_achievements.reserve(16);
    result.judges.reserve(7);

    const std::vector<std::int32_t> chosen =
        talent::replacer::replace_chosen(talent_ids, talents, random, result.replacements);

    property::PropertyState state(chosen, properties, history);

    // Scratch reused by every year of the run.
    TriggerCounts counts;
    std::vector<const config::TalentConfig*> pending;
    pending.reserve(8);
    std::vector<std::pair<std::int32_t, double>> candidates;
    std::vector<YearEntry> chain;
    chain.reserve(4);

    // Before birth: effects and counts stay, the lines are never shown.
    do_talents(state, counts, random, pending, nullptr);

    IdSet achieved = achieved_ids;
    take_achievements(check_achievements(config::Opportunity::Start, state, achieved, achievements),
                      &achieved, result.new_achievements);

    for (std::int32_t year = 1; state.LIF > 0; ++year) {
        state.age_step();
        const std::int32_t age = state.AGE;

        std::vector<YearEntry> lines;
        lines.reserve(8);
        auto age_record = ages.find(age);
        if (age_record != ages.end()) {
            const config::AgeConfig& grant = age_record->second;
            if (grant.talents) {
                for (std::int32_t id : *grant.talents) state.add_talent(id);
            }
            do_talents(state, counts, random, pending, &lines);
            if (grant.events) {
                if (auto event = draw_event(*grant.events, state, random, candidates)) {
                    chain.clear();
                    process_event_chain(state, *event, chain, random);
                    lines.insert(lines.end(), std::make_move_iterator(chain.begin()),
                                 std::make_move_iterator(chain.end()));
                }
            }
        } else {
            do_talents(state, counts, random, pending, &lines);
        }

        // The year bound ends an endless life on its last allowed year.
        const bool is_end = state.LIF <= 0 || year >= kMaxYears;
        YearRecord& record = result.years.emplace_back();
        record.entries = std::move(lines);
        record.properties = {state.CHR, state.INT, state.STR, state.MNY, state.SPR, state.LIF};
        record.age = age;
        record.is_end = is_end;

        take_achievements(
            check_achievements(config::Opportunity::Trajectory, state, achieved, achievements),
            &achieved, result.new_achievements);
        if (is_end) break;
    }

    take_achievements(check_achievements(config::Opportunity::Summary, state, achieved, achievements),
                      nullptr, result.new_achievements);

    const std::int32_t score = state.calculate_summary_score();
    const std::pair<std::string_view, std::int32_t> graded[] = {
        {"HCHR", state.effective_max(property::Code::CHR)},
        {"HINT", state.effective_max(property::Code::INT)},
        {"HSTR", state.effective_max(property::Code::STR)},
        {"HMNY", state.effective_max(property::Code::MNY)},
        {"HSPR", state.effective_max(property::Code::SPR)},
        {"HAGE", state.effective_max(property::Code::AGE)},
        {"SUM", score},
    };
    for (const auto& [key, value] : graded) {
        if (auto verdict = judge_property(key, value)) result.judges.push_back(std::move(*verdict));
    }

    result.talents.reserve(chosen.size());
    for (std::int32_t id : chosen) {
        auto found = talents.find(id);
        if (found == talents.end()) continue;
        const config::TalentConfig& talent = found->second;
        result.talents.push_back({talent.name, talent.description, talent.id, talent.grade});
    }

    result.triggered_events = state.EVT;
    result.total_score = score;
    return result;
}

}  // namespace sablewick::simulator
