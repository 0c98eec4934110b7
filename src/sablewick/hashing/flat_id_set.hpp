#pragma once
// A set of int32 ids in one array: open addressing with linear probing,
// hashed by a keyed IdHash, so ids picked to share a slot gain nothing. An
// insert is one hash and, now and then, a doubling of the array: no
// allocation per id, which keeps a set of tens of thousands of ids about as
// cheap to fill as a bitset.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "sablewick/hashing/keyed_hash.hpp"

namespace sablewick::hashing {

class FlatIdSet {
public:
    bool contains(std::int32_t id) const noexcept {
        if (id == kFree) return holds_free_;
        if (slots_.empty()) return false;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash_(id) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == id) return true;
            if (slots_[i] == kFree) return false;
        }
    }

    // True when added, false when it was there already.
    bool insert(std::int32_t id);

    // Room for `n` ids in all without a further doubling.
    void reserve(std::size_t n);

    // Empties the set; the array is kept.
    void clear() noexcept;

    std::size_t size() const noexcept { return count_ + (holds_free_ ? 1 : 0); }
    bool empty() const noexcept { return size() == 0; }

private:
    // The id that marks a free slot; when held, it is kept aside instead.
    static constexpr std::int32_t kFree = std::numeric_limits<std::int32_t>::min();

    // An array of `slots` slots (a power of two, more than twice the ids),
    // every id placed again.
    void rehash(std::size_t slots);

    IdHash hash_;
    // Empty, or a power of two long and at most half full, so a probe
    // always meets a free slot.
    std::vector<std::int32_t> slots_;
    std::size_t count_ = 0;  // ids in slots_
    bool holds_free_ = false;
};

}  // namespace sablewick::hashing
