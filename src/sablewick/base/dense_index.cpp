#include "sablewick/base/dense_index.hpp"

#include <algorithm>
#include <utility>

namespace sablewick {

DenseIndex::DenseIndex(std::vector<std::int32_t> ids) : ids_(std::move(ids)) {
    std::sort(ids_.begin(), ids_.end());
    ids_.erase(std::unique(ids_.begin(), ids_.end()), ids_.end());
    if (ids_.empty()) return;
    // A table over the ids' range unless they are spread thin.
    const auto range = static_cast<std::uint64_t>(static_cast<std::int64_t>(ids_.back()) - ids_.front()) + 1;
    if (range > 4 * ids_.size() + 1024) return;
    lowest_ = ids_.front();
    by_offset_.assign(range, kNone);
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        by_offset_[static_cast<std::uint32_t>(ids_[i]) - static_cast<std::uint32_t>(lowest_)] =
            static_cast<std::uint32_t>(i);
    }
}

}  // namespace sablewick
