#pragma once
// The hashers of every map and set keyed by host data: SipHash-1-3 under keys
// that each hasher takes when it is made (so when its map is made).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sablewick/hashing/siphash.hpp"

namespace sablewick::hashing {

struct HashKeys {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

// Keys for a new hasher. Each thread takes 128 bits from the OS once (again
// in a forked child) and hands out k0 + n, k1 for its n-th hasher, so making
// a map costs no system call.
HashKeys fresh_hash_keys();

class KeyedHash {
public:
    KeyedHash() : keys_(fresh_hash_keys()) {}
    explicit KeyedHash(HashKeys keys) noexcept : keys_(keys) {}
    HashKeys keys() const noexcept { return keys_; }

protected:
    HashKeys keys_;
};

// Integer ids: their 4 little-endian bytes.
struct IdHash : KeyedHash {
    using KeyedHash::KeyedHash;
    std::size_t operator()(std::int32_t id) const noexcept {
        return static_cast<std::size_t>(siphash13_u32(keys_.k0, keys_.k1, static_cast<std::uint32_t>(id)));
    }
};

// Text keys: their UTF-8 bytes. Transparent, so a std::string_view looks a
// std::string key up without allocating.
struct StringHash : KeyedHash {
    using KeyedHash::KeyedHash;
    using is_transparent = void;
    // Not noexcept on purpose: libstdc++ then keeps each node's hash, so
    // growing a table or walking a bucket never hashes a string again.
    std::size_t operator()(std::string_view text) const {
        return static_cast<std::size_t>(siphash13(keys_.k0, keys_.k1, text));
    }
};

}  // namespace sablewick::hashing
