#include "sablewick/talent/replacer.hpp"

#include <algorithm>
#include <charconv>
#include <utility>

#include "sablewick/base/random.hpp"
#include "sablewick/base/weighted_pick.hpp"
#include "sablewick/condition/value_parser.hpp"

namespace sablewick::talent::replacer {
namespace {

bool lists(const std::optional<std::vector<std::int32_t>>& list, std::int32_t id) {
    return list && std::find(list->begin(), list->end(), id) != list->end();
}

// The held list as two counted sets: the ids held, and the ids that some held
// talent excludes. An exclusion test is then a few look-ups instead of a walk
// over the held list; ids can be taken out again when a chain is done.
class HeldIndex {
public:
    explicit HeldIndex(const TalentMap& talents) : talents_(talents) {}

    void add(std::int32_t id) {
        ++held_[id];
        auto found = talents_.find(id);
        if (found != talents_.end() && found->second.exclude) {
            for (std::int32_t x : *found->second.exclude) ++excluded_[x];
        }
    }

    void remove(std::int32_t id) {
        drop(held_, id);
        auto found = talents_.find(id);
        if (found != talents_.end() && found->second.exclude) {
            for (std::int32_t x : *found->second.exclude) drop(excluded_, x);
        }
    }

    // check_exclusion against the indexed list; `record` is the candidate's
    // record when the caller already has it.
    bool excludes(std::int32_t candidate, const config::TalentConfig* record = nullptr) const {
        if (!record) {
            auto found = talents_.find(candidate);
            if (found == talents_.end()) return false;
            record = &found->second;
        }
        if (held_.empty()) return false;
        if (!excluded_.empty() && excluded_.contains(candidate)) return true;
        if (record->exclude) {
            for (std::int32_t x : *record->exclude) {
                if (held_.contains(x)) return true;
            }
        }
        return false;
    }

private:
    static void drop(IdMap<int>& counts, std::int32_t id) {
        auto it = counts.find(id);
        if (it != counts.end() && --it->second == 0) counts.erase(it);
    }

    const TalentMap& talents_;
    IdMap<int> held_;
    IdMap<int> excluded_;
};

using Candidates = std::vector<std::pair<std::int32_t, double>>;

// Grade candidates first (map order, exclusive talents skipped), then the
// talent table's entries.
void collect_candidates(const config::ReplacementConfig& replacement, const HeldIndex& held, const TalentMap& talents,
                        Candidates& out) {
    out.clear();
    if (replacement.grade && !replacement.grade->empty()) {
        const auto& table = *replacement.grade;
        for (const auto& [key, talent] : talents) {
            if (talent.exclusive) continue;
            char buffer[16];
            auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, talent.grade);
            (void)ec;
            auto found = table.find(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
            if (found == table.end()) continue;
            // The candidate is the record's own id; it names this record only
            // when it equals the key.
            if (!held.excludes(talent.id, talent.id == key ? &talent : nullptr)) {
                out.emplace_back(talent.id, found->second);
            }
        }
    }
    if (replacement.talent && !replacement.talent->empty()) {
        for (const auto& [key, weight] : *replacement.talent) {
            auto id = parse_talent_key(key);
            if (!id) continue;
            if (!held.excludes(*id)) out.emplace_back(*id, weight);
        }
    }
}

// The chain from `id`, with `held` describing the caller's list. Each drawn
// id is held for the rest of the chain and taken out again at its end.
std::int32_t follow_chain(std::int32_t id, HeldIndex& held, const TalentMap& talents, RandomSource& random) {
    Candidates candidates;
    std::vector<std::int32_t> drawn;
    std::int32_t result = id;
    while (true) {
        auto found = talents.find(result);
        if (found == talents.end() || !found->second.replacement) break;
        collect_candidates(*found->second.replacement, held, talents, candidates);
        if (candidates.empty()) break;
        double total = 0.0;
        for (const auto& candidate : candidates) total += candidate.second;
        const auto pick =
            pick_weighted(candidates.size(), total, [&](std::size_t i) { return candidates[i].second; }, random);
        if (!pick) break;
        const std::int32_t chosen = candidates[*pick].first;
        result = chosen;
        if (static_cast<int>(drawn.size()) + 1 == kMaxReplacementDepth) break;
        drawn.push_back(chosen);
        held.add(chosen);
    }
    for (std::int32_t x : drawn) held.remove(x);
    return result;
}

}  // namespace

// The same grammar as an integer in a condition.
std::optional<std::int32_t> parse_talent_key(std::string_view key) { return condition::parse_int(key); }

bool check_exclusion(const std::vector<std::int32_t>& current, std::int32_t candidate, const TalentMap& talents) {
    if (talents.empty()) return false;
    auto found = talents.find(candidate);
    if (found == talents.end()) return false;
    const auto& own_exclude = found->second.exclude;
    for (std::int32_t held : current) {
        if (lists(own_exclude, held)) return true;
        auto other = talents.find(held);
        if (other != talents.end() && lists(other->second.exclude, candidate)) return true;
    }
    return false;
}

std::int32_t replace_talent(std::int32_t id, const std::vector<std::int32_t>& current, const TalentMap& talents,
                            RandomSource& random) {
    auto found = talents.find(id);
    if (found == talents.end() || !found->second.replacement) return id;
    HeldIndex held(talents);
    for (std::int32_t x : current) held.add(x);
    return follow_chain(id, held, talents, random);
}

std::vector<std::int32_t> replace_chosen(const std::vector<std::int32_t>& talent_ids, const TalentMap& talents,
                                         RandomSource& random,
                                         std::vector<simulator::TalentReplacement>& replacements) {
    const std::size_t n = talent_ids.size();
    std::vector<std::int32_t> working(talent_ids);
    if (n == 0 || talents.empty()) return working;
    // The index mirrors the whole working list, appended ids included.
    HeldIndex held(talents);
    for (std::int32_t x : working) held.add(x);
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t id = working[i];
        auto source = talents.find(id);
        if (source == talents.end() || !source->second.replacement) continue;
        const std::int32_t replaced = follow_chain(id, held, talents, random);
        if (replaced == id) continue;
        auto target = talents.find(replaced);
        if (target != talents.end()) {
            const auto& s = source->second;
            const auto& t = target->second;
            replacements.push_back({{s.name, s.description, id, s.grade}, {t.name, t.description, replaced, t.grade}});
        }
        // Position i now holds the new id, which is also appended.
        held.remove(id);
        held.add(replaced);
        working[i] = replaced;
        working.push_back(replaced);
        held.add(replaced);
    }
    working.resize(n);
    return working;
}

}  // namespace sablewick::talent::replacer
