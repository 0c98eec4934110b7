#pragma once
// Dense numbers for a set of ids: an id's number is its rank among them
// (ascending), found without hashing, so no key can be made to collide.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sablewick {

class DenseIndex {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    DenseIndex() = default;
    // Any order, duplicates allowed.
    explicit DenseIndex(std::vector<std::int32_t> ids);

    std::size_t size() const noexcept { return ids_.size(); }
    const std::vector<std::int32_t>& ids() const noexcept { return ids_; }  // ascending

    // The id's number, or kNone: one load when the ids lie close together
    // (as a configuration's ids usually do), else a binary search.
    std::uint32_t rank(std::int32_t id) const noexcept {
        if (!by_offset_.empty()) {
            const std::uint32_t offset = static_cast<std::uint32_t>(id) - static_cast<std::uint32_t>(lowest_);
            return offset < by_offset_.size() ? by_offset_[offset] : kNone;
        }
        // Selects rather than branches, which would mispredict.
        const std::int32_t* base = ids_.data();
        std::size_t count = ids_.size();
        if (count == 0) return kNone;
        while (count > 1) {
            const std::size_t half = count / 2;
            base = base[half] <= id ? base + half : base;
            count -= half;
        }
        return *base == id ? static_cast<std::uint32_t>(base - ids_.data()) : kNone;
    }

private:
    std::vector<std::int32_t> ids_;
    std::int32_t lowest_ = 0;
    std::vector<std::uint32_t> by_offset_;  // rank by id - lowest_, kNone where no id
};

}  // namespace sablewick
