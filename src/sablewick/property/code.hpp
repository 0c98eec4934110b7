#pragma once
// Property codes as an enumeration, so the engine and compiled conditions
// never match texts on the hot path.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "sablewick/property/properties.hpp"

namespace sablewick::property {

enum class Code : std::uint8_t {
// The properties (see properties.hpp), in its order.
#define SABLEWICK_CODE(name, start, host, range, value, year, effect) name,
    SABLEWICK_PROPERTIES(SABLEWICK_CODE)
#undef SABLEWICK_CODE
// Effective minima, then maxima, of the properties with a running range.
#define SABLEWICK_CODE(name, start, host, range, value, year, effect) SABLEWICK_IF(range, L##name, )
        SABLEWICK_PROPERTIES(SABLEWICK_CODE)
#undef SABLEWICK_CODE
#define SABLEWICK_CODE(name, start, host, range, value, year, effect) SABLEWICK_IF(range, H##name, )
            SABLEWICK_PROPERTIES(SABLEWICK_CODE)
#undef SABLEWICK_CODE
                SUM,
    // Id lists.
    TLT,
    EVT,
    AEVT,
    ATLT,
    // Random target of an effect; reads as 0 in a condition.
    RDM,
    // Any other text.
    Unknown,
};

// Exact byte match: no trimming, no case folding.
constexpr Code code_from_text(std::string_view text) noexcept {
    // Few codes and short texts: comparing them all is quick enough, and
    // the engine resolves each text once, when a condition is compiled.
#define SABLEWICK_CODE(name, start, host, range, value, year, effect) \
    if (text == #name) return Code::name;                             \
    SABLEWICK_IF(range, if (text == "L" #name) return Code::L##name; if (text == "H" #name) return Code::H##name;)
    SABLEWICK_PROPERTIES(SABLEWICK_CODE)
#undef SABLEWICK_CODE
    if (text == "SUM") return Code::SUM;
    if (text == "TLT") return Code::TLT;
    if (text == "EVT") return Code::EVT;
    if (text == "AEVT") return Code::AEVT;
    if (text == "ATLT") return Code::ATLT;
    if (text == "RDM") return Code::RDM;
    return Code::Unknown;
}

// The codes with a running minimum and maximum.
constexpr bool has_running_range(Code code) noexcept {
    switch (code) {
#define SABLEWICK_CODE(name, start, host, range, value, year, effect) SABLEWICK_IF(range, case Code::name:)
        SABLEWICK_PROPERTIES(SABLEWICK_CODE)
#undef SABLEWICK_CODE
        return true;
        default: return false;
    }
}

constexpr bool is_list(Code code) noexcept {
    return code == Code::TLT || code == Code::EVT || code == Code::AEVT || code == Code::ATLT;
}

}  // namespace sablewick::property
