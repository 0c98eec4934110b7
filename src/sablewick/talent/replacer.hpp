#pragma once
// Talent replacement before birth: a chosen talent may be swapped for one
// drawn from its grade and talent tables, and the drawn one in turn.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sablewick/base/containers.hpp"
#include "sablewick/config/records.hpp"
#include "sablewick/result/records.hpp"

namespace sablewick {
class RandomSource;
}

namespace sablewick::talent::replacer {

using TalentMap = IdMap<config::TalentConfig>;

// A chain that keeps drawing (a talent whose only candidate is itself) stops
// after this many draws and yields the id of the last draw.
inline constexpr int kMaxReplacementDepth = 64;

// True when the candidate and one of the held talents exclude each other.
// A candidate that is not a key of the map is never excluded.
bool check_exclusion(const std::vector<std::int32_t>& current, std::int32_t candidate, const TalentMap& talents);

// The id that takes `id`'s place (the id itself when nothing replaces it).
std::int32_t replace_talent(std::int32_t id, const std::vector<std::int32_t>& current, const TalentMap& talents,
                            RandomSource& random);

// A talent-table key read as a signed 32-bit decimal: an optional single
// sign, then ASCII digits only. Nothing for any other text.
std::optional<std::int32_t> parse_talent_key(std::string_view key);

// The replacement pass over the chosen talents: returns the working list cut
// back to the chosen length, and appends a record for each replaced position
// whose two talents both have records.
std::vector<std::int32_t> replace_chosen(const std::vector<std::int32_t>& talent_ids, const TalentMap& talents,
                                         RandomSource& random, std::vector<simulator::TalentReplacement>& replacements);

}  // namespace sablewick::talent::replacer
