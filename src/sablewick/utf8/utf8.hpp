#pragma once
// Trimming by the Unicode White_Space property, on UTF-8 text.

#include <cstdint>
#include <string_view>

namespace sablewick::utf8 {

bool is_white_space(char32_t c) noexcept;

namespace detail {
// An ASCII byte that is not white space ends trimming on its side at once.
inline bool plain_ascii(char c) noexcept {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x80 && b != 0x20 && (b < 0x09 || b > 0x0D);
}
std::string_view trim_slow(std::string_view text) noexcept;
}  // namespace detail

// Removes White_Space characters at both ends, never inside. Bytes that do
// not form a valid UTF-8 sequence count as ordinary characters.
inline std::string_view trim(std::string_view text) noexcept {
    // Most texts start and end with a plain ASCII character.
    if (text.empty() || (detail::plain_ascii(text.front()) && detail::plain_ascii(text.back()))) return text;
    return detail::trim_slow(text);
}

// Decodes one UTF-8 sequence at the start of `text` (non-empty). Sets
// `length` to the bytes used; an invalid sequence gives U+FFFD and length 1.
char32_t decode_utf8(std::string_view text, std::size_t& length) noexcept;

}  // namespace sablewick::utf8
