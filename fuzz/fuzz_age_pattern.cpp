// The talent pattern scan: the default of max_triggers found by a linear
// scan for AGE\?\[([0-9,]+)\] must equal a plain leftmost-match search that
// tries every start position.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "fuzz_check.hpp"
#include "sablewick/config/records.hpp"

namespace {

bool in_group(char c) { return (c >= '0' && c <= '9') || c == ','; }

// Leftmost match; the group is greedy and cannot hold ']', so at each start
// only the longest run can be followed by ']'.
std::int64_t reference(std::string_view text) {
    constexpr std::string_view opening = "AGE?[";
    for (std::size_t start = 0; start + opening.size() <= text.size(); ++start) {
        if (text.substr(start, opening.size()) != opening) continue;
        std::size_t end = start + opening.size();
        std::int64_t commas = 0;
        while (end < text.size() && in_group(text[end])) commas += text[end++] == ',';
        if (end > start + opening.size() && end < text.size() && text[end] == ']') return commas + 1;
    }
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int64_t expected = reference(text);
    const std::int32_t got = sablewick::config::default_max_triggers(text);
    FUZZ_EXPECT(got >= 1);
    FUZZ_EXPECT(got == (expected > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                                            : expected));
    return 0;
}
