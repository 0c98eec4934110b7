#include "sablewick/utf8/utf8.hpp"

namespace sablewick::utf8 {

bool is_white_space(char32_t c) noexcept {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85) return false;
    switch (c) {
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000: return true;
        default: return c >= 0x2000 && c <= 0x200A;
    }
}

char32_t decode_utf8(std::string_view text, std::size_t& length) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(0);
    length = 1;
    if (b0 < 0x80) return b0;
    std::size_t n;
    char32_t c;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2;
        c = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3;
        c = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4;
        c = b0 & 0x07;
        min = 0x10000;
    } else
        return 0xFFFD;
    if (text.size() < n) return 0xFFFD;
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
    length = n;
    return c;
}

namespace {

// Byte length of a White_Space character starting at `text`, else 0.
std::size_t leading_space(std::string_view text) noexcept {
    std::size_t length;
    const char32_t c = decode_utf8(text, length);
    return is_white_space(c) && c != 0xFFFD ? length : 0;
}

// Byte length of a White_Space character ending `text`, else 0.
std::size_t trailing_space(std::string_view text) noexcept {
    // A sequence is at most four bytes; try each start that could end here.
    const std::size_t n = text.size();
    for (std::size_t len = 1; len <= 4 && len <= n; ++len) {
        const std::size_t start = n - len;
        const unsigned char b = static_cast<unsigned char>(text[start]);
        if ((b & 0xC0) == 0x80) continue;  // continuation byte: look further back
        std::size_t used;
        const char32_t c = decode_utf8(text.substr(start), used);
        return used == len && is_white_space(c) ? len : 0;
    }
    return 0;
}

}  // namespace

std::string_view detail::trim_slow(std::string_view text) noexcept {
    while (!text.empty()) {
        const std::size_t n = leading_space(text);
        if (n == 0) break;
        text.remove_prefix(n);
    }
    while (!text.empty()) {
        const std::size_t n = trailing_space(text);
        if (n == 0) break;
        text.remove_suffix(n);
    }
    return text;
}

}  // namespace sablewick::utf8
