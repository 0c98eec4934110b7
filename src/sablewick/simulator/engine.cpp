// One whole life: replacement, birth, the yearly loop, judging.

#include <iterator>

#include "sablewick/achievement/checker.hpp"
#include "sablewick/base/random.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/simulator/engine.hpp"
#include "sablewick/talent/replacer.hpp"

namespace sablewick::simulator {
namespace {

using achievement::AchievedSet;

// The achievements met at `opportunity`, by the compiled rules.
std::vector<AchievementInfo> check_achievements(config::Opportunity opportunity, const condition::Snapshot& state,
                                               const AchievedSet& achieved, const CompiledRules& rules,
                                               std::uint32_t changed = condition::Snapshot::kEverything) {
    return achievement::checker::check_achievements(opportunity, state, achieved, rules.achievements, rules.tables,
                                                    rules.arena, changed);
}

// Appends what a check found; with `achieved`, also marks the ids achieved
// (after the check: records found together are all reported).
void take_achievements(std::vector<AchievementInfo>&& found, AchievedSet* achieved, std::vector<AchievementInfo>& out) {
    for (auto& info : found) {
        if (achieved) achieved->add(info.id);
        out.push_back(std::move(info));
    }
}

}  // namespace

SimulationEngine::SimulationEngine(const SimulationEngine& other)
    : talents(other.talents),
      events(other.events),
      ages(other.ages),
      achievements(other.achievements),
      judge(other.judge) {}

SimulationEngine& SimulationEngine::operator=(const SimulationEngine& other) {
    if (this != &other) {
        talents = other.talents;
        events = other.events;
        ages = other.ages;
        achievements = other.achievements;
        judge = other.judge;
        rules_.reset();
    }
    return *this;
}

SimulationEngine::~SimulationEngine() = default;

void SimulationEngine::prepare() { rules_ = std::make_unique<const CompiledRules>(*this); }

const CompiledRules& SimulationEngine::rules() const {
    if (!rules_) rules_ = std::make_unique<const CompiledRules>(*this);
    return *rules_;
}

const CompiledRules& SimulationEngine::bound(property::PropertyState& state) const {
    const CompiledRules& compiled = rules();
    if (!state.bound_to(compiled.spaces)) state.bind_lists(compiled.spaces);
    return compiled;
}

SimulationResult SimulationEngine::simulate(const std::vector<std::int32_t>& talent_ids,
                                            const StringMap<std::int32_t>& properties, const IdSet& achieved_ids,
                                            const PlayHistory* history) const {
    return simulate(talent_ids, properties, achieved_ids, history, thread_random());
}

SimulationResult SimulationEngine::simulate(const std::vector<std::int32_t>& talent_ids,
                                            const StringMap<std::int32_t>& properties, const IdSet& achieved_ids,
                                            const PlayHistory* history, RandomSource& random) const {
    const CompiledRules& compiled = rules();
    SimulationResult result;
    result.years.reserve(120);
    result.new_achievements.reserve(16);
    result.judges.reserve(7);

    const std::vector<std::int32_t> chosen =
        talent::replacer::replace_chosen(talent_ids, talents, random, result.replacements);

    property::PropertyState state(chosen, properties, history);
    state.bind_lists(compiled.spaces);

    // Scratch reused by every year of the run.
    TriggerCounts counts;
    std::vector<const TalentRule*> pending;
    pending.reserve(8);
    DrawScratch draws;
    std::vector<YearEntry> chain;
    chain.reserve(4);

    // Before birth: effects and counts stay, the lines are never shown.
    do_talents(state, counts, random, pending, nullptr);

    AchievedSet achieved(compiled.achievements, achieved_ids);
    take_achievements(check_achievements(config::Opportunity::Start, condition::Snapshot(state), achieved, compiled),
                      &achieved, result.new_achievements);
    // What the last TRAJECTORY check saw, so the next one asks only the
    // achievements whose inputs changed since.
    std::optional<condition::Snapshot> last_seen;

    for (std::int32_t year = 1; state.LIF > 0; ++year) {
        state.age_step();
        const std::int32_t age = state.AGE;

        std::vector<YearEntry> lines;
        lines.reserve(8);
        if (const AgeRule* age_rule = compiled.age_rule(age)) {
            const AgeRule& rule = *age_rule;
            for (std::uint32_t g = rule.grants.begin; g < rule.grants.end; ++g) {
                state.add_talent(compiled.grants[g].first, compiled.grants[g].second);
            }
            do_talents(state, counts, random, pending, &lines);
            // The year's talents may have moved AGE away from the year's age.
            const std::optional<std::uint32_t> event =
                state.AGE == age
                    ? draw_at_age(compiled, rule, state, random, draws)
                    : draw(compiled, rule.candidates.of(compiled.candidates), state, random, draws);
            if (event) {
                chain.clear();
                run_chain(compiled, state, *event, chain, random);
                lines.insert(lines.end(), std::make_move_iterator(chain.begin()), std::make_move_iterator(chain.end()));
            }
        } else {
            do_talents(state, counts, random, pending, &lines);
        }

        // The year bound ends an endless life on its last allowed year.
        const bool is_end = state.LIF <= 0 || year >= kMaxYears;
        YearRecord& record = result.years.emplace_back();
        record.entries = std::move(lines);
#define SABLEWICK_RECORD(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(year, record.properties.name = state.name;)
        SABLEWICK_PROPERTIES(SABLEWICK_RECORD)
#undef SABLEWICK_RECORD
        record.age = age;
        record.is_end = is_end;

        const condition::Snapshot seen(state);
        const std::uint32_t changed = last_seen ? seen.changed_since(*last_seen) : condition::Snapshot::kEverything;
        take_achievements(check_achievements(config::Opportunity::Trajectory, seen, achieved, compiled, changed),
                          &achieved, result.new_achievements);
        last_seen = seen;
        if (is_end) break;
    }

    take_achievements(check_achievements(config::Opportunity::Summary, condition::Snapshot(state), achieved, compiled),
                      nullptr, result.new_achievements);

    const std::int32_t score = state.calculate_summary_score();
    // The maximum of every property with a running range, then the score.
    const std::pair<std::string_view, std::int32_t> graded[] = {
#define SABLEWICK_GRADED(name, start, host, range, value, year, effect) \
    SABLEWICK_IF(range, {"H" #name, state.effective_max(property::Code::name)}, )
        SABLEWICK_PROPERTIES(SABLEWICK_GRADED)
#undef SABLEWICK_GRADED
            {"SUM", score},
    };
    for (const auto& [key, value] : graded) {
        if (auto verdict = judge_property(key, value)) result.judges.push_back(std::move(*verdict));
    }

    result.talents.reserve(chosen.size());
    for (std::int32_t id : chosen) {
        const std::uint32_t index = compiled.spaces.talent(id);
        if (index == property::IdSpaces::kNone) continue;
        const config::TalentConfig& talent = *compiled.talents[index].record;
        result.talents.push_back({talent.name, talent.description, talent.id, talent.grade});
    }

    result.triggered_events = state.EVT;
    result.total_score = score;
    return result;
}

}  // namespace sablewick::simulator
