#pragma once
// Property codes as an enumeration, so the engine and compiled conditions
// never match texts on the hot path.

#include <cstdint>
#include <cstring>
#include <string_view>

namespace sablewick::property {

enum class Code : std::uint8_t {
    // Scalars with a running minimum and maximum (in this order).
    AGE, CHR, INT, STR, MNY, SPR,
    // Other scalars.
    LIF, TMS, CACHV,
    // Effective minima and maxima, in the order of their base codes.
    LAGE, LCHR, LINT, LSTR, LMNY, LSPR,
    HAGE, HCHR, HINT, HSTR, HMNY, HSPR,
    SUM,
    // Id lists.
    TLT, EVT, AEVT, ATLT,
    // Random target of an effect; reads as 0 in a condition.
    RDM,
    // Any other text.
    Unknown,
};

namespace detail {
constexpr std::uint32_t pack(const char* s, std::size_t n) noexcept {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[i])) << (8 * i);
    return v;
}
}  // namespace detail

// Exact byte match: no trimming, no case folding.
constexpr Code code_from_text(std::string_view text) noexcept {
    using detail::pack;
    const std::size_t n = text.size();
    if (n == 5) return text == "CACHV" ? Code::CACHV : Code::Unknown;
    if (n != 3 && n != 4) return Code::Unknown;
    const std::uint32_t key = pack(text.data(), n);
    if (n == 3) {
        switch (key) {
            case pack("AGE", 3): return Code::AGE;
            case pack("CHR", 3): return Code::CHR;
            case pack("INT", 3): return Code::INT;
            case pack("STR", 3): return Code::STR;
            case pack("MNY", 3): return Code::MNY;
            case pack("SPR", 3): return Code::SPR;
            case pack("LIF", 3): return Code::LIF;
            case pack("TMS", 3): return Code::TMS;
            case pack("SUM", 3): return Code::SUM;
            case pack("TLT", 3): return Code::TLT;
            case pack("EVT", 3): return Code::EVT;
            case pack("RDM", 3): return Code::RDM;
            default: return Code::Unknown;
        }
    }
    switch (key) {
        case pack("LAGE", 4): return Code::LAGE;
        case pack("LCHR", 4): return Code::LCHR;
        case pack("LINT", 4): return Code::LINT;
        case pack("LSTR", 4): return Code::LSTR;
        case pack("LMNY", 4): return Code::LMNY;
        case pack("LSPR", 4): return Code::LSPR;
        case pack("HAGE", 4): return Code::HAGE;
        case pack("HCHR", 4): return Code::HCHR;
        case pack("HINT", 4): return Code::HINT;
        case pack("HSTR", 4): return Code::HSTR;
        case pack("HMNY", 4): return Code::HMNY;
        case pack("HSPR", 4): return Code::HSPR;
        case pack("AEVT", 4): return Code::AEVT;
        case pack("ATLT", 4): return Code::ATLT;
        default: return Code::Unknown;
    }
}

// AGE, CHR, INT, STR, MNY, SPR: the codes with a running minimum and maximum.
constexpr bool has_running_range(Code code) noexcept {
    return static_cast<std::uint8_t>(code) <= static_cast<std::uint8_t>(Code::SPR);
}

constexpr bool is_list(Code code) noexcept {
    return code == Code::TLT || code == Code::EVT || code == Code::AEVT || code == Code::ATLT;
}

}  // namespace sablewick::property
