#pragma once
// The rule set in the form the yearly loop runs on, built once per
// configuration from the engine's maps.
//
// A year visits hundreds of candidate events, so nothing on that road hashes
// or chases a record: events and talents get dense numbers (by ascending
// id), every age's event table becomes a contiguous array of candidates that
// carry their weight and both conditions, and every condition text of the
// configuration is bound once into one arena of tests (see
// condition/program.hpp and condition/bound_program.hpp), its list tests
// reading bitsets over the dense numbers. What a condition that does not
// parse means is settled here, per use: an exclude or include that does not
// parse neither excludes nor holds back; a talent, branch or achievement
// condition that does not parse never holds. Candidates that can never be
// drawn (no record, no_random, an exclude that always holds, an include that
// never does) are left out: they take no part in the weights and use no
// random output. An event's exclude and include become one program, "exclude
// does not hold, then include holds", so a candidate costs one evaluation.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "sablewick/achievement/rules.hpp"
#include "sablewick/base/containers.hpp"
#include "sablewick/base/dense_index.hpp"
#include "sablewick/condition/bound_program.hpp"
#include "sablewick/condition/table.hpp"
#include "sablewick/config/records.hpp"
#include "sablewick/property/state.hpp"

namespace sablewick::simulator {

class SimulationEngine;

// A run of one of CompiledRules' arrays: the entries from `begin` up to, not
// including, `end`. Two indices, as cheap to carry as the pair they replace.
struct IndexRange {
    std::uint32_t begin = 0, end = 0;

    std::uint32_t size() const noexcept { return end - begin; }
    template <class T>
    std::span<const T> of(const std::vector<T>& all) const noexcept {
        return std::span<const T>(all).subspan(begin, size());
    }
};

// A condition at its place of use: a bound program's start, or its answer.
struct Check {
    static constexpr std::uint32_t kNever = condition::kExitFalse;
    static constexpr std::uint32_t kAlways = condition::kExitTrue;
    std::uint32_t start = kAlways;

    bool constant() const noexcept { return start >= kNever; }
};

struct Candidate {
    double weight = 0.0;
    std::uint32_t event = 0;   // dense event number
    std::uint32_t filter = 0;  // its event's filter, in CompiledRules::tables
};

// The draw's view of every age's table while AGE is the age: each
// candidate's filter is worked out for that age (tests of AGE settled,
// candidates never kept left out), and the filters are grouped by their
// form, so that each group is evaluated in a loop of its own without a
// branch on the form; `position` is the candidate's place in its table,
// whose order the weights are summed and walked in.
struct AtAgeCandidates {
    struct Small {
        condition::SmallCondition filter;
        std::uint32_t position = 0;
    };
    struct Walked {
        std::uint32_t start = 0;  // the bound program
        std::uint32_t position = 0;
    };
    std::vector<double> weights;        // in table order
    std::vector<std::uint32_t> events;  // in table order
    std::vector<Small> small;
    std::vector<condition::TableCondition> full;
    std::vector<std::uint32_t> full_positions;  // beside `full`
    std::vector<Walked> walked;
};

struct EventRule {
    std::int32_t id = 0;  // the map key
    const config::EventConfig* record = nullptr;
    // Whether the draw keeps the event: its exclude does not hold and its
    // include does, as one condition (both are free of side effects, so one
    // evaluation answers for the pair), in CompiledRules::tables; kNever
    // when it never does. `filter_start` is its bound program; whether it
    // reads AGE, and its small form when it has one, are kept for building
    // the at-age candidates.
    std::uint32_t filter = Check::kNever;
    Check filter_start;
    bool filter_reads_age = false;
    std::optional<condition::SmallCondition> small_filter;
    IndexRange branches;  // in CompiledRules::branches
};

struct BranchRule {
    Check condition;
    std::uint32_t target = property::IdSpaces::kNone;  // dense event number
};

struct TalentRule {
    std::int32_t id = 0;  // the map key
    const config::TalentConfig* record = nullptr;
    Check condition;
};

struct AgeRule {
    // Talents the age grants, in CompiledRules::grants: (id, dense number or
    // kNone).
    IndexRange grants;
    // The age's candidates, in CompiledRules::candidates, and those that can
    // be kept while AGE is the age, in CompiledRules::at_age: `at_age` in its
    // weights and events, then each group in its own array.
    IndexRange candidates;
    IndexRange at_age;
    IndexRange small;
    IndexRange full;
    IndexRange walked;
};

class CompiledRules {
public:
    // Reads the engine's maps, which must not change while this is in use.
    explicit CompiledRules(const SimulationEngine& engine);

    property::IdSpaces spaces;
    condition::TestArena arena;
    // The conditions evaluated most often (the draw's filters, achievements)
    // in their table form; see condition/table.hpp.
    std::vector<condition::TableCondition> tables;

    std::vector<EventRule> events;    // by dense number
    std::vector<TalentRule> talents;  // by dense number
    std::vector<BranchRule> branches;
    std::vector<Candidate> candidates;
    // A year's draw runs on its age's table, and AGE is that age unless an
    // effect of the year's talents changed it: for that case, each table's
    // candidates as AtAgeCandidates describes.
    AtAgeCandidates at_age;
    std::vector<std::pair<std::int32_t, std::uint32_t>> grants;
    // The age rules, looked up once a year by the age's rank among the ages.
    const AgeRule* age_rule(std::int32_t age) const noexcept {
        const std::uint32_t rank = ages.rank(age);
        return rank == DenseIndex::kNone ? nullptr : &age_rules[rank];
    }
    DenseIndex ages;
    std::vector<AgeRule> age_rules;  // by rank, ascending age

    achievement::AchievementRules achievements;

    // Candidates of an event table, appended to `out` (for a table that is
    // not an age's, as the tests draw from).
    void add_candidates(std::span<const std::pair<std::int32_t, double>> table, std::vector<Candidate>& out) const;
    // Appends `rule`'s candidates, AGE being `age`, to at_age.
    void add_at_age(AgeRule& rule, std::int32_t age);

    // The table form of a bound check, added to `tables`; its index.
    std::uint32_t table_of(Check check);
    // What a bound check reads (Snapshot masks).
    std::uint32_t reads_of(Check check) const;

    bool holds(Check check, const condition::Snapshot& state) const noexcept {
        return condition::run(arena.tests.data(), arena.pool.data(), check.start, state);
    }
    bool holds_in_table(std::uint32_t table, const condition::Snapshot& state) const noexcept {
        return condition::holds(tables[table], arena, state);
    }
};

}  // namespace sablewick::simulator
