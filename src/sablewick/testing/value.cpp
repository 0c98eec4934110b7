#include "sablewick/testing/value.hpp"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sablewick/condition/messages.hpp"
#include "sablewick/condition/value_parser.hpp"

namespace sablewick::condition {

Result<ast::ConditionValue> parse_value(std::string_view text) {
    ValueSpec spec;
    std::vector<std::int32_t> ids;
    if (!classify_value(text, spec, ids)) return std::unexpected(messages::invalid_array(spec.text));
    return make_value(spec, std::move(ids));
}

}  // namespace sablewick::condition
