// The weighted draw of a year's event.

#include <cstring>

#include "sablewick/base/random.hpp"
#include "sablewick/base/weighted_pick.hpp"
#include "sablewick/property/state.hpp"
#include "sablewick/simulator/engine.hpp"

namespace sablewick::simulator {

namespace {

// The weight, or +0.0 where the candidate is not kept: adding +0.0 leaves a
// total as it was (it starts at +0.0, so it is never -0.0), and masking the
// bits needs no branch on an answer that varies from candidate to candidate.
double weight_if(double weight, bool keep) noexcept {
    std::uint64_t bits;
    std::memcpy(&bits, &weight, sizeof bits);
    bits &= std::uint64_t{0} - static_cast<std::uint64_t>(keep);
    double masked;
    std::memcpy(&masked, &bits, sizeof masked);
    return masked;
}

// The choice among `count` candidates, in table order, whose filters left
// `keep`: the kept weights summed in order, one random draw, the first kept
// candidate that brings the remainder to 0 or below, else the last kept.
template <class WeightOf>
std::optional<std::size_t> choose(const std::uint8_t* keep, std::size_t count, WeightOf weight_of, RandomSource& random,
                                  std::vector<std::uint32_t>& kept) {
    if (kept.size() < count) kept.resize(count);
    std::uint32_t* const first = kept.data();
    std::uint32_t* last = first;
    double total = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        *last = static_cast<std::uint32_t>(i);
        last += keep[i];
        total += weight_if(weight_of(i), keep[i] != 0);
    }
    const auto chosen = pick_weighted(
        static_cast<std::size_t>(last - first), total, [&](std::size_t k) { return weight_of(first[k]); }, random);
    if (!chosen) return std::nullopt;
    return first[*chosen];
}

}  // namespace

std::optional<std::uint32_t> SimulationEngine::draw(const CompiledRules& rules, std::span<const Candidate> candidates,
                                                    const property::PropertyState& state, RandomSource& random,
                                                    DrawScratch& scratch) {
    const std::size_t count = candidates.size();
    if (scratch.keep.size() < count) scratch.keep.resize(count);
    const condition::Snapshot snapshot(state);
    for (std::size_t i = 0; i < count; ++i) {
        scratch.keep[i] = condition::holds(rules.tables[candidates[i].filter], rules.arena, snapshot);
    }
    const auto chosen =
        choose(scratch.keep.data(), count, [&](std::size_t i) { return candidates[i].weight; }, random, scratch.kept);
    if (!chosen) return std::nullopt;
    return candidates[*chosen].event;
}

std::optional<std::uint32_t> SimulationEngine::draw_at_age(const CompiledRules& rules, const AgeRule& age,
                                                           const property::PropertyState& state, RandomSource& random,
                                                           DrawScratch& scratch) {
    const AtAgeCandidates& at = rules.at_age;
    const std::size_t count = age.at_age.size();
    if (scratch.keep.size() < count) scratch.keep.resize(count);
    std::uint8_t* const keep = scratch.keep.data();
    const condition::Snapshot snapshot(state);
    // One loop per form of filter: no branch on the form.
    for (std::uint32_t i = age.small.begin; i < age.small.end; ++i) {
        keep[at.small[i].position] = condition::holds(at.small[i].filter, snapshot);
    }
    for (std::uint32_t i = age.full.begin; i < age.full.end; ++i) {
        keep[at.full_positions[i]] = condition::holds_table(at.full[i], snapshot);
    }
    for (std::uint32_t i = age.walked.begin; i < age.walked.end; ++i) {
        keep[at.walked[i].position] =
            condition::run(rules.arena.tests.data(), rules.arena.pool.data(), at.walked[i].start, snapshot);
    }
    const double* const weights = at.weights.data() + age.at_age.begin;
    const auto chosen = choose(keep, count, [&](std::size_t i) { return weights[i]; }, random, scratch.kept);
    if (!chosen) return std::nullopt;
    return at.events[age.at_age.begin + *chosen];
}

}  // namespace sablewick::simulator
