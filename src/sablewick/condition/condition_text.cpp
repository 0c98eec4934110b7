#include "sablewick/condition/condition_text.hpp"

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/compiled.hpp"

namespace sablewick::condition {

ConditionText::ConditionText(std::string_view text) {
    if (!text.empty()) entry_ = cache::intern(text);
}

const std::string& ConditionText::text() const noexcept {
    static const std::string empty;
    return entry_ ? entry_->text() : empty;
}

const CompiledCondition* ConditionText::compiled() const {
    if (!entry_) return nullptr;
    const Result<CompiledCondition>& parsed = entry_->parsed();
    return parsed ? &*parsed : nullptr;
}

Outcome ConditionText::check(const property::PropertyState& state) const {
    if (!entry_) return Outcome::True;
    const CompiledCondition* program = compiled();
    if (!program) return Outcome::Invalid;
    return program->evaluate(state) ? Outcome::True : Outcome::False;
}

}  // namespace sablewick::condition
