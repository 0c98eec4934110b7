#include "sablewick/simulator/compiled_rules.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/table.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

namespace {

// Each distinct text is bound once per configuration.
class Binder {
public:
    Binder(const property::IdSpaces& spaces, condition::TestArena& arena, std::size_t texts)
        : spaces_(spaces), arena_(arena) {
        bound_.reserve(texts);
    }

    // The check of `text`; `if_invalid` answers for a text that does not parse.
    Check bind(const condition::ConditionText& text, bool if_invalid) {
        const std::optional<std::uint32_t> start = bound(text);
        if (!start) return {if_invalid ? Check::kAlways : Check::kNever};
        return {*start};
    }

    // "exclude does not hold and include holds", either of them absent; a
    // text that does not parse takes no part. Events that share both texts
    // share the program.
    Check filter(const std::optional<condition::ConditionText>& exclude,
                 const std::optional<condition::ConditionText>& include) {
        const std::uint32_t then = include ? bind(*include, true).start : Check::kAlways;
        if (!exclude) return {then};
        if (exclude->empty()) return {Check::kNever};  // the empty text always holds
        const condition::CompiledCondition* compiled = exclude->compiled();
        if (!compiled) return {then};
        // Most excludes come with their own include; the last one bound
        // before the exclude is kept.
        Bound& bound = bound_[compiled];
        if (bound.filter == kUnset || bound.then != then) {
            bound.filter = compiled->bind(spaces_, arena_, Check::kNever, then);
            bound.then = then;
        }
        return {bound.filter};
    }

private:
    // The start of the text's bound program (an exit for a constant one),
    // or none when it does not parse.
    std::optional<std::uint32_t> bound(const condition::ConditionText& text) {
        if (text.empty()) return Check::kAlways;  // the empty text always holds
        // The cache holds one program per text, so equal texts share it.
        const condition::CompiledCondition* compiled = text.compiled();
        if (!compiled) return std::nullopt;
        Bound& bound = bound_[compiled];
        if (bound.alone == kUnset) bound.alone = compiled->bind(spaces_, arena_);
        return bound.alone;
    }

private:
    const property::IdSpaces& spaces_;
    condition::TestArena& arena_;
    static constexpr std::uint32_t kUnset = 0xFFFFFFFFu;
    // A program bound alone, and as an exclude in front of `then`.
    struct Bound {
        std::uint32_t alone = kUnset;
        std::uint32_t filter = kUnset;
        std::uint32_t then = kUnset;
    };
    std::unordered_map<const condition::CompiledCondition*, Bound> bound_;
};

// What was worked out for a bound program, by its start in the arena, so
// that records sharing a program share that work: a number of the caller's
// (kNone while nothing was).
class ByStart {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::uint32_t& operator()(std::uint32_t start, std::size_t arena_size) {
        if (start >= slots_.size()) slots_.resize(std::max<std::size_t>(arena_size, 2 * slots_.size()), kNone);
        return slots_[start];
    }

private:
    std::vector<std::uint32_t> slots_;
};

// A map's entries by ascending key.
template <class Map>
std::vector<std::pair<std::int32_t, const typename Map::mapped_type*>> sorted_entries(const Map& map) {
    std::vector<std::pair<std::int32_t, const typename Map::mapped_type*>> entries;
    entries.reserve(map.size());
    for (const auto& [key, record] : map) entries.emplace_back(key, &record);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return entries;
}

template <class Entries>
std::vector<std::int32_t> keys_of(const Entries& entries) {
    std::vector<std::int32_t> keys;
    keys.reserve(entries.size());
    for (const auto& entry : entries) keys.push_back(entry.first);
    return keys;
}

}  // namespace

CompiledRules::CompiledRules(const SimulationEngine& engine) {
    const auto talent_entries = sorted_entries(engine.talents);
    const auto event_entries = sorted_entries(engine.events);
    spaces = property::IdSpaces(keys_of(event_entries), keys_of(talent_entries));

    Binder binder(spaces, arena, talent_entries.size() + 2 * event_entries.size() + engine.achievements.size());
    ByStart event_with_filter;  // the dense number of the first event with it

    talents.reserve(talent_entries.size());
    for (const auto& [id, found] : talent_entries) {
        const config::TalentConfig& record = *found;
        TalentRule rule{id, &record, {}};
        if (record.condition) rule.condition = binder.bind(*record.condition, false);
        talents.push_back(rule);
    }

    events.reserve(event_entries.size());
    for (const auto& [id, found] : event_entries) {
        const config::EventConfig& record = *found;
        EventRule rule;
        rule.id = id;
        rule.record = &record;
        const Check filter = binder.filter(record.exclude, record.include);
        rule.filter_start = filter;
        if (filter.start != Check::kNever) {
            std::uint32_t* earlier = filter.constant() ? nullptr : &event_with_filter(filter.start, arena.tests.size());
            if (earlier && *earlier != ByStart::kNone) {
                const EventRule& same = events[*earlier];
                rule.filter = same.filter;
                rule.filter_reads_age = same.filter_reads_age;
                rule.small_filter = same.small_filter;
            } else {
                if (earlier) *earlier = static_cast<std::uint32_t>(events.size());
                rule.filter = table_of(filter);
                rule.filter_reads_age = condition::reads(arena, filter.start) &
                                        (std::uint32_t{1} << static_cast<unsigned>(property::Code::AGE));
                rule.small_filter = condition::shrink(tables[rule.filter]);
            }
        }
        rule.branches.begin = static_cast<std::uint32_t>(branches.size());
        if (record.branch) {
            for (const config::EventBranch& branch : *record.branch) {
                branches.push_back({binder.bind(branch.condition, false), spaces.event(branch.event_id)});
            }
        }
        rule.branches.end = static_cast<std::uint32_t>(branches.size());
        events.push_back(rule);
    }

    // Ages in ascending order, so a year's candidates lie near its
    // neighbours'.
    const auto age_entries = sorted_entries(engine.ages);
    const std::vector<std::int32_t> age_keys = keys_of(age_entries);
    age_rules.reserve(age_keys.size());
    std::size_t entries = 0;
    for (const auto& [age, record] : age_entries) entries += record->events ? record->events->size() : 0;
    candidates.reserve(entries);
    at_age.weights.reserve(entries);
    at_age.events.reserve(entries);
    at_age.small.reserve(entries);
    for (const auto& [age, found] : age_entries) {
        const config::AgeConfig& record = *found;
        AgeRule rule;
        rule.grants.begin = static_cast<std::uint32_t>(grants.size());
        if (record.talents) {
            for (std::int32_t id : *record.talents) grants.emplace_back(id, spaces.talent(id));
        }
        rule.grants.end = static_cast<std::uint32_t>(grants.size());
        rule.candidates.begin = static_cast<std::uint32_t>(candidates.size());
        if (record.events) add_candidates(*record.events, candidates);
        rule.candidates.end = static_cast<std::uint32_t>(candidates.size());
        add_at_age(rule, age);
        age_rules.push_back(rule);
    }
    ages = DenseIndex(age_keys);

    for (const auto& [key, record] : engine.achievements) {
        (void)key;
        if (!record.opportunity_kind) continue;
        const Check condition = binder.bind(record.condition, false);
        if (condition.start == Check::kNever) continue;
        auto [group, added] =
            achievements.group_of.try_emplace(record.id, static_cast<std::uint32_t>(achievements.group_ids.size()));
        if (added) achievements.group_ids.push_back(record.id);
        const std::uint32_t table = table_of(condition);
        achievements.by_opportunity[static_cast<std::size_t>(*record.opportunity_kind)].push_back(
            {&record, table, group->second, reads_of(condition), condition::gate_of(tables[table])});
    }
}

std::uint32_t CompiledRules::reads_of(Check check) const {
    // A constant reads nothing, yet is asked (once: an achievement that
    // always holds is met at its first check).
    const std::uint32_t mask = condition::reads(arena, check.start);
    return mask ? mask : condition::Snapshot::kEverything;
}

std::uint32_t CompiledRules::table_of(Check check) {
    tables.push_back(condition::tabulate(arena, check.start));
    return static_cast<std::uint32_t>(tables.size() - 1);
}

void CompiledRules::add_at_age(AgeRule& rule, std::int32_t age) {
    const condition::FixedValue fixed{static_cast<std::uint8_t>(property::Code::AGE), age};
    AtAgeCandidates& out = at_age;
    rule.at_age.begin = static_cast<std::uint32_t>(out.weights.size());
    rule.small.begin = static_cast<std::uint32_t>(out.small.size());
    rule.full.begin = static_cast<std::uint32_t>(out.full.size());
    rule.walked.begin = static_cast<std::uint32_t>(out.walked.size());
    for (std::uint32_t c = rule.candidates.begin; c < rule.candidates.end; ++c) {
        const Candidate& candidate = candidates[c];
        const EventRule& event = events[candidate.event];
        const std::uint32_t start = event.filter_start.start;
        // A filter that does not read AGE is the event's own; one that does
        // has its AGE tests answered, from its table where it has one.
        const condition::TableCondition& own = tables[event.filter];
        const condition::TableCondition filter = !event.filter_reads_age ? own
                                                 : own.walked == condition::TableCondition::kWalked
                                                     ? condition::tabulate(arena, start, fixed)
                                                     : condition::fix_value(own, fixed);
        if (condition::never_holds(filter)) continue;
        const auto position = static_cast<std::uint32_t>(out.weights.size() - rule.at_age.begin);
        out.weights.push_back(candidate.weight);
        out.events.push_back(candidate.event);
        const std::optional<condition::SmallCondition> small =
            event.filter_reads_age ? condition::shrink(filter) : event.small_filter;
        if (filter.walked == condition::TableCondition::kWalked) {
            out.walked.push_back({start, position});
        } else if (small) {
            out.small.push_back({*small, position});
        } else {
            out.full.push_back(filter);
            out.full_positions.push_back(position);
        }
    }
    rule.at_age.end = static_cast<std::uint32_t>(out.weights.size());
    rule.small.end = static_cast<std::uint32_t>(out.small.size());
    rule.full.end = static_cast<std::uint32_t>(out.full.size());
    rule.walked.end = static_cast<std::uint32_t>(out.walked.size());
}

void CompiledRules::add_candidates(std::span<const std::pair<std::int32_t, double>> table,
                                   std::vector<Candidate>& out) const {
    for (const auto& [id, weight] : table) {
        const std::uint32_t event = spaces.event(id);
        if (event == property::IdSpaces::kNone) continue;
        const EventRule& rule = events[event];
        if (rule.record->no_random) continue;
        if (rule.filter == Check::kNever) continue;
        out.push_back({weight, event, rule.filter});
    }
}

}  // namespace sablewick::simulator
