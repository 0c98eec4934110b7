#include "sablewick/condition/condition_text.hpp"

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/compiled.hpp"

namespace sablewick::condition {

namespace {
// Address that marks a text that does not parse; it fails the same way at
// every check, so the record can remember it.
constexpr char kInvalid = 0;
}  // namespace

const CompiledCondition* ConditionText::compiled() const {
    const void* resolved = resolved_.load(std::memory_order_acquire);
    if (resolved == nullptr) {
        auto found = cache::resolve(text_);
        resolved = found ? static_cast<const void*>(*found) : static_cast<const void*>(&kInvalid);
        resolved_.store(resolved, std::memory_order_release);
    }
    return resolved == &kInvalid ? nullptr : static_cast<const CompiledCondition*>(resolved);
}

Outcome ConditionText::check(const property::PropertyState& state) const {
    if (text_.empty()) return Outcome::True;
    const CompiledCondition* program = compiled();
    if (!program) return Outcome::Invalid;
    return program->evaluate(state) ? Outcome::True : Outcome::False;
}

}  // namespace sablewick::condition
