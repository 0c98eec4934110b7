#include "sablewick/condition/value_parser.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "sablewick/utf8/utf8.hpp"

namespace sablewick::condition {

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view text, std::string_view word) noexcept {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != word[i]) return false;
    }
    return true;
}

// Checks the decimal grammar on an unsigned body and works out the decimal
// exponent of its leading non-zero digit (exponent part saturated), which
// tells an overflow from an underflow.
bool check_decimal(std::string_view body, std::int64_t& magnitude) noexcept {
    constexpr std::int64_t kSaturate = std::int64_t{1} << 40;
    std::size_t i = 0;
    std::int64_t digits = 0;          // digits so far, without the point
    std::int64_t integer_digits = 0;  // digits before the point
    std::int64_t first_nonzero = -1;  // index among the digits
    bool dot = false;
    for (; i < body.size(); ++i) {
        const char c = body[i];
        if (is_digit(c)) {
            if (c != '0' && first_nonzero < 0) first_nonzero = digits;
            ++digits;
            if (!dot) ++integer_digits;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    std::int64_t exponent = 0;
    if (i < body.size()) {
        if (body[i] != 'e' && body[i] != 'E') return false;
        ++i;
        bool negative = false;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
            negative = body[i] == '-';
            ++i;
        }
        if (i == body.size()) return false;
        for (; i < body.size(); ++i) {
            if (!is_digit(body[i])) return false;
            exponent = std::min(exponent * 10 + (body[i] - '0'), kSaturate);
        }
        if (negative) exponent = -exponent;
    }
    magnitude = first_nonzero < 0 ? 0 : integer_digits - 1 - first_nonzero + exponent;
    return true;
}

}  // namespace

std::optional<std::int32_t> parse_int(std::string_view text) noexcept {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;  // |min| of int32
    std::int64_t value = 0;
    // Up to 18 digits cannot overflow 64 bits: checked once at the end.
    const std::size_t quick_end = std::min(text.size(), i + 18);
    for (; i < quick_end; ++i) {
        const unsigned digit = static_cast<unsigned char>(text[i]) - static_cast<unsigned>('0');
        if (digit > 9) return std::nullopt;
        value = value * 10 + digit;
    }
    if (value > kLimit) value = kLimit + 1;
    for (; i < text.size(); ++i) {
        if (!is_digit(text[i])) return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit + 1;  // out of range; keep checking digits
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<double> parse_float(std::string_view text) noexcept {
    bool negative = false;
    std::string_view body = text;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    const double sign = negative ? -1.0 : 1.0;
    if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity")) {
        return sign * std::numeric_limits<double>::infinity();
    }
    if (equals_ignoring_case(body, "nan")) return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
    std::int64_t magnitude;
    if (!check_decimal(body, magnitude)) return std::nullopt;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || ptr != body.data() + body.size()) {
        return std::nullopt;  // the grammar above already excludes this
    }
    return sign * value;
}

bool classify_value(std::string_view text, ValueSpec& out, std::vector<std::int32_t>& ids) {
    using Kind = ast::ConditionValue::Kind;
    const std::string_view v = utf8::trim(text);
    out.text = v;
    if (!v.empty() && v.front() == '[' && v.back() == ']') {
        std::string_view inner = v.substr(1, v.size() - 2);
        ids.reserve(ids.size() + static_cast<std::size_t>(std::count(inner.begin(), inner.end(), ',')) + 1);
        for (;;) {
            const std::size_t comma = inner.find(',');
            const std::optional<std::int32_t> id = parse_int(utf8::trim(inner.substr(0, comma)));
            if (!id) return false;
            ids.push_back(*id);
            if (comma == std::string_view::npos) break;
            inner.remove_prefix(comma + 1);
        }
        out.kind = Kind::Array;
        return true;
    }
    if (const auto n = parse_int(v)) {
        out.kind = Kind::Int;
        out.n = *n;
    } else if (const auto f = parse_float(v)) {
        out.kind = Kind::Float;
        out.f = *f;
    } else {
        out.kind = Kind::Text;
    }
    return true;
}

ast::ConditionValue make_value(const ValueSpec& spec, std::vector<std::int32_t> ids) {
    switch (spec.kind) {
        case ast::ConditionValue::Kind::Int: return ast::ConditionValue::Int(spec.n);
        case ast::ConditionValue::Kind::Float: return ast::ConditionValue::Float(spec.f);
        case ast::ConditionValue::Kind::Array: return ast::ConditionValue::Array(std::move(ids));
        case ast::ConditionValue::Kind::Text: break;
    }
    return ast::ConditionValue::Text(std::string(spec.text));
}

}  // namespace sablewick::condition
