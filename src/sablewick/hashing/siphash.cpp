#include "sablewick/hashing/siphash.hpp"

#include <cstring>

namespace sablewick::hashing {

namespace {

std::uint64_t load_le64(const unsigned char* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = std::byteswap(v);
    return v;
}

}  // namespace

std::uint64_t siphash13(std::uint64_t k0, std::uint64_t k1, const void* data, std::size_t size) noexcept {
    const auto* p = static_cast<const unsigned char*>(data);
    detail::SipState s(k0, k1);
    const std::size_t whole = size & ~std::size_t{7};
    for (std::size_t i = 0; i < whole; i += 8) s.compress(load_le64(p + i));
    // The last block: the remaining bytes, little-endian, and the length's
    // low byte on top.
    std::uint64_t last = static_cast<std::uint64_t>(size) << 56;
    for (std::size_t i = whole; i < size; ++i) last |= std::uint64_t{p[i]} << (8 * (i - whole));
    s.compress(last);
    return s.finish();
}

}  // namespace sablewick::hashing
