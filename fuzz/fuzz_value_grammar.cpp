// The value grammars of a condition leaf against plain references: the
// integer grammar against 128-bit accumulation, the float grammar against a
// grammar check followed by the C library's correctly rounded strtod, the
// list form against splitting by hand, and trimming against the White_Space
// table.

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "sablewick/condition/value_parser.hpp"
#include "sablewick/testing/value.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace {

namespace condition = sablewick::condition;
using Kind = condition::ast::ConditionValue::Kind;

bool digit(char c) { return c >= '0' && c <= '9'; }

std::optional<std::int32_t> reference_int(std::string_view t) {
    std::size_t i = 0;
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) negative = t[i++] == '-';
    if (i == t.size()) return std::nullopt;
    __int128 value = 0;
    for (; i < t.size(); ++i) {
        if (!digit(t[i])) return std::nullopt;
        if (value < (__int128{1} << 40)) value = value * 10 + (t[i] - '0');
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

bool same_word(std::string_view t, std::string_view word) {
    if (t.size() != word.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i] >= 'A' && t[i] <= 'Z' ? static_cast<char>(t[i] + 32) : t[i];
        if (c != word[i]) return false;
    }
    return true;
}

// Digits with at most one point (one digit at least), then an optional
// exponent with an optional sign and one digit at least.
bool decimal_grammar(std::string_view b) {
    std::size_t i = 0, digits = 0;
    bool point = false;
    for (; i < b.size() && (digit(b[i]) || (b[i] == '.' && !point)); ++i) {
        if (b[i] == '.')
            point = true;
        else
            ++digits;
    }
    if (digits == 0) return false;
    if (i == b.size()) return true;
    if (b[i] != 'e' && b[i] != 'E') return false;
    ++i;
    if (i < b.size() && (b[i] == '+' || b[i] == '-')) ++i;
    if (i == b.size()) return false;
    for (; i < b.size(); ++i) {
        if (!digit(b[i])) return false;
    }
    return true;
}

std::optional<double> reference_float(std::string_view t) {
    std::string_view body = t;
    bool negative = false;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    const double sign = negative ? -1.0 : 1.0;
    if (same_word(body, "inf") || same_word(body, "infinity")) return sign * INFINITY;
    if (same_word(body, "nan")) return std::copysign(NAN, sign);
    if (!decimal_grammar(body)) return std::nullopt;
    const std::string copy(body);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    FUZZ_EXPECT(end == copy.c_str() + copy.size());
    return sign * value;
}

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

// The White_Space characters, as UTF-8.
constexpr std::string_view kWhite[] = {"\t",     "\n",     "\v",     "\f",     "\r",     " ",      "\u0085",
                                       "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004",
                                       "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u2028",
                                       "\u2029", "\u202F", "\u205F", "\u3000"};

std::size_t white_prefix(std::string_view t) {
    for (std::string_view w : kWhite) {
        if (t.substr(0, w.size()) == w) return w.size();
    }
    return 0;
}

std::size_t white_suffix(std::string_view t) {
    for (std::string_view w : kWhite) {
        if (t.size() >= w.size() && t.substr(t.size() - w.size()) == w) {
            // A suffix that starts inside a longer UTF-8 sequence is no
            // character of its own: only continuation bytes may precede it
            // as part of one, and none of the table's lead bytes are those.
            return w.size();
        }
    }
    return 0;
}

std::string_view reference_trim(std::string_view t) {
    while (std::size_t n = white_prefix(t)) t.remove_prefix(n);
    while (std::size_t n = white_suffix(t)) t.remove_suffix(n);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::setlocale(LC_ALL, "C");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    FUZZ_EXPECT(condition::parse_int(text) == reference_int(text));

    const auto got_float = condition::parse_float(text);
    const auto want_float = reference_float(text);
    FUZZ_EXPECT(got_float.has_value() == want_float.has_value());
    if (got_float) FUZZ_EXPECT(same_double(*got_float, *want_float));

    const std::string_view v = sablewick::utf8::trim(text);
    FUZZ_EXPECT(v == reference_trim(text));

    const auto value = condition::parse_value(text);
    if (!v.empty() && v.front() == '[' && v.back() == ']') {
        std::vector<std::int32_t> ids;
        bool ok = true;
        std::string_view inner = v.substr(1, v.size() - 2);
        for (;;) {
            const std::size_t comma = inner.find(',');
            const auto id = reference_int(reference_trim(inner.substr(0, comma)));
            if (!id) {
                ok = false;
                break;
            }
            ids.push_back(*id);
            if (comma == std::string_view::npos) break;
            inner.remove_prefix(comma + 1);
        }
        if (!ok) {
            FUZZ_EXPECT(!value);
            FUZZ_EXPECT(value.error().message() == "Invalid condition: Invalid array: " + std::string(v));
        } else {
            FUZZ_EXPECT(value && value->kind() == Kind::Array && value->as_array() == ids);
        }
        return 0;
    }
    FUZZ_EXPECT(value.has_value());
    if (const auto n = reference_int(v)) {
        FUZZ_EXPECT(value->kind() == Kind::Int && value->as_int() == *n);
    } else if (const auto f = reference_float(v)) {
        FUZZ_EXPECT(value->kind() == Kind::Float && same_double(value->as_float(), *f));
    } else {
        FUZZ_EXPECT(value->kind() == Kind::Text && value->as_text() == v);
    }
    return 0;
}
