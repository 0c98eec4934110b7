#pragma once
// Trimming by the Unicode White_Space property, on UTF-8 text.

#include <cstdint>
#include <string_view>

namespace sablewick::condition {

bool is_white_space(char32_t c) noexcept;

// Removes White_Space characters at both ends, never inside. Bytes that do
// not form a valid UTF-8 sequence count as ordinary characters.
std::string_view trim(std::string_view text) noexcept;

// Decodes one UTF-8 sequence at the start of `text` (non-empty). Sets
// `length` to the bytes used; an invalid sequence gives U+FFFD and length 1.
char32_t decode_utf8(std::string_view text, std::size_t& length) noexcept;

}  // namespace sablewick::condition
