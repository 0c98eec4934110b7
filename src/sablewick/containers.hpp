#pragma once
// Map types shared by the configuration, the state and the results.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace sablewick {

// Hash for std::string keys that also accepts std::string_view, so look-ups
// by view never allocate.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

template <class V>
using StringMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

template <class V>
using IdMap = std::unordered_map<std::int32_t, V>;

using IdSet = std::unordered_set<std::int32_t>;

}  // namespace sablewick
