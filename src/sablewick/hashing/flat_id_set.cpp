#include "sablewick/hashing/flat_id_set.hpp"

#include <algorithm>
#include <bit>

namespace sablewick::hashing {

bool FlatIdSet::insert(std::int32_t id) {
    if (id == kFree) {
        const bool added = !holds_free_;
        holds_free_ = true;
        return added;
    }
    if ((count_ + 1) * 2 > slots_.size()) rehash(std::max<std::size_t>(16, slots_.size() * 2));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash_(id) & mask;; i = (i + 1) & mask) {
        if (slots_[i] == id) return false;
        if (slots_[i] == kFree) {
            slots_[i] = id;
            ++count_;
            return true;
        }
    }
}

void FlatIdSet::clear() noexcept {
    std::fill(slots_.begin(), slots_.end(), kFree);
    count_ = 0;
    holds_free_ = false;
}

void FlatIdSet::reserve(std::size_t n) {
    if (n * 2 > slots_.size()) rehash(std::max<std::size_t>(16, std::bit_ceil(n * 2)));
}

void FlatIdSet::rehash(std::size_t slots) {
    std::vector<std::int32_t> old(slots, kFree);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (std::int32_t id : old) {
        if (id == kFree) continue;
        std::size_t i = hash_(id) & mask;
        while (slots_[i] != kFree) i = (i + 1) & mask;
        slots_[i] = id;
    }
}

}  // namespace sablewick::hashing
