#include "sablewick/testing/condition_checks.hpp"

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/bound_program.hpp"

namespace sablewick::condition {

Outcome check(const ConditionText& record, const property::PropertyState& state) {
    if (record.empty()) return Outcome::True;
    const CompiledCondition* program = record.compiled();
    if (!program) return Outcome::Invalid;
    return program->evaluate(state) ? Outcome::True : Outcome::False;
}

namespace cache {

Result<bool> check_condition(std::string_view condition, const property::PropertyState& state) {
    if (condition.empty()) return true;
    Handle entry = intern(condition);
    const Result<CompiledCondition>& parsed = entry->parsed();
    if (!parsed) return std::unexpected(parsed.error());
    testing::keep_for_good(entry);
    return parsed->evaluate(state);
}

}  // namespace cache
}  // namespace sablewick::condition
