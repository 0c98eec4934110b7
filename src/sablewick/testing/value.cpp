#include "sablewick/testing/value.hpp"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sablewick/condition/value_parser.hpp"

namespace sablewick::condition {

Result<ast::ConditionValue> parse_value(std::string_view text) {
    ValueSpec spec;
    std::vector<std::int32_t> ids;
    if (!classify_value(text, spec, ids)) {
        return std::unexpected(SablewickError::invalid_condition("Invalid array: " + std::string(spec.text)));
    }
    switch (spec.kind) {
        case ast::ConditionValue::Kind::Int: return ast::ConditionValue::Int(spec.n);
        case ast::ConditionValue::Kind::Float: return ast::ConditionValue::Float(spec.f);
        case ast::ConditionValue::Kind::Array: return ast::ConditionValue::Array(std::move(ids));
        case ast::ConditionValue::Kind::Text: break;
    }
    return ast::ConditionValue::Text(std::string(spec.text));
}

}  // namespace sablewick::condition
