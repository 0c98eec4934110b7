#pragma once
// The debug form of a text, as token lists and task failures show it:
// quoted, with '"' and '\' behind a backslash; tab, CR, LF and NUL written
// \t \r \n \0; other control characters (U+0001..U+001F, U+007F,
// U+0080..U+009F) as \u{hex}; a byte that is not valid UTF-8 as U+FFFD, so
// the result is valid UTF-8; everything else unchanged.

#include <string>
#include <string_view>

namespace sablewick {

void append_debug_quoted(std::string& out, std::string_view text);

}  // namespace sablewick
