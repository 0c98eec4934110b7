// Which moment an achievement's opportunity text names. The text matches when
// its full Unicode upper-case form is exactly one of the four names; besides
// ASCII letters, only a few code points upper-case into pure ASCII.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sablewick/config/records.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace sablewick::config {

namespace {

// Longest name ("TRAJECTORY"); a longer upper-case form cannot match.
constexpr std::size_t kLongestName = 10;

// Upper-case form of a non-ASCII code point when it is pure ASCII, else empty.
std::string_view ascii_upper_of(char32_t cp) {
    switch (cp) {
        case 0x00DF: return "SS";  // sharp s
        case 0x0131: return "I";   // dotless i
        case 0x017F: return "S";   // long s
        case 0xFB00: return "FF";
        case 0xFB01: return "FI";
        case 0xFB02: return "FL";
        case 0xFB03: return "FFI";
        case 0xFB04: return "FFL";
        case 0xFB05: return "ST";  // long s t ligature
        case 0xFB06: return "ST";  // st ligature
        default: return {};
    }
}

}  // namespace

std::optional<Opportunity> classify_opportunity(std::string_view text) {
    std::string upper;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length;
        const char32_t cp = utf8::decode_utf8(text.substr(i), length);
        i += length;
        if (cp < 0x80) {
            const char c = static_cast<char>(cp);
            upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        } else {
            // A malformed sequence decodes to U+FFFD, which maps to nothing.
            const std::string_view mapped = ascii_upper_of(cp);
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
