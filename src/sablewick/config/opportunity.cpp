// Which moment an achievement's opportunity text names. The text matches when
// its full Unicode upper-case form is exactly one of the four names; besides
// ASCII letters, only a few code points upper-case into pure ASCII.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sablewick/config/records.hpp"

namespace sablewick::config {

namespace {

// Longest name ("TRAJECTORY"); a longer upper-case form cannot match.
constexpr std::size_t kLongestName = 10;

// Next code point of valid UTF-8, or nullopt for a malformed sequence.
std::optional<char32_t> next_code_point(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (i + length > text.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return cp;
}

// Upper-case form of a non-ASCII code point when it is pure ASCII, else empty.
std::string_view ascii_upper_of(char32_t cp) {
    switch (cp) {
        case 0x00DF: return "SS";   // sharp s
        case 0x0131: return "I";    // dotless i
        case 0x017F: return "S";    // long s
        case 0xFB00: return "FF";
        case 0xFB01: return "FI";
        case 0xFB02: return "FL";
        case 0xFB03: return "FFI";
        case 0xFB04: return "FFL";
        case 0xFB05: return "ST";   // long s t ligature
        case 0xFB06: return "ST";   // st ligature
        default: return {};
    }
}

}  // namespace

std::optional<Opportunity> classify_opportunity(std::string_view text) {
    std::string upper;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::optional<char32_t> cp = next_code_point(text, i);
        if (!cp) return std::nullopt;
        if (*cp < 0x80) {
            const char c = static_cast<char>(*cp);
            upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        } else {
            const std::string_view mapped = ascii_upper_of(*cp);
            if (mapped.empty()) return std::nullopt;
            upper += mapped;
        }
        if (upper.size() > kLongestName) return std::nullopt;
    }
    if (upper == "START") return Opportunity::Start;
    if (upper == "TRAJECTORY") return Opportunity::Trajectory;
    if (upper == "SUMMARY") return Opportunity::Summary;
    if (upper == "END") return Opportunity::End;
    return std::nullopt;
}

}  // namespace sablewick::config
