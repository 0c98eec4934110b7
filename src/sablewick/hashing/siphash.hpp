#pragma once
// SipHash-1-3 (one compression round per 8-byte block, three finalization
// rounds), keyed with two 64-bit words. Maps keyed by host data hash with it
// so that neither their order nor a crafted set of keys can be predicted.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sablewick::hashing {

namespace detail {

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    constexpr SipState(std::uint64_t k0, std::uint64_t k1) noexcept
        : v0(k0 ^ 0x736f6d6570736575ULL),
          v1(k1 ^ 0x646f72616e646f6dULL),
          v2(k0 ^ 0x6c7967656e657261ULL),
          v3(k1 ^ 0x7465646279746573ULL) {}

    constexpr void round() noexcept {
        v0 += v1;
        v1 = std::rotl(v1, 13);
        v1 ^= v0;
        v0 = std::rotl(v0, 32);
        v2 += v3;
        v3 = std::rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = std::rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = std::rotl(v1, 17);
        v1 ^= v2;
        v2 = std::rotl(v2, 32);
    }

    constexpr void compress(std::uint64_t m) noexcept {
        v3 ^= m;
        round();
        v0 ^= m;
    }

    constexpr std::uint64_t finish() noexcept {
        v2 ^= 0xff;
        round();
        round();
        round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

}  // namespace detail

// SipHash-1-3 of `size` bytes at `data` under the key (k0, k1).
std::uint64_t siphash13(std::uint64_t k0, std::uint64_t k1, const void* data, std::size_t size) noexcept;

inline std::uint64_t siphash13(std::uint64_t k0, std::uint64_t k1, std::string_view bytes) noexcept {
    return siphash13(k0, k1, bytes.data(), bytes.size());
}

// The same as siphash13 over the 4 little-endian bytes of `value`, without
// the loop: the whole input fits in the final block.
constexpr std::uint64_t siphash13_u32(std::uint64_t k0, std::uint64_t k1, std::uint32_t value) noexcept {
    detail::SipState s(k0, k1);
    s.compress((std::uint64_t{4} << 56) | value);
    return s.finish();
}

}  // namespace sablewick::hashing
