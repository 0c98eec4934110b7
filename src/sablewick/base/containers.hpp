#pragma once
// Map types shared by the configuration, the state and the results. Their
// hashers are keyed at random when each map is made (SipHash-1-3, keys from
// the OS), so their order differs from process to process and no set of
// keys chosen in advance can crowd one bucket.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "sablewick/hashing/keyed_hash.hpp"

namespace sablewick {

using hashing::IdHash;
using hashing::StringHash;

// Looked up by std::string_view without allocating.
template <class V>
using StringMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

template <class V>
using IdMap = std::unordered_map<std::int32_t, V, IdHash>;

using IdSet = std::unordered_set<std::int32_t, IdHash>;

}  // namespace sablewick
