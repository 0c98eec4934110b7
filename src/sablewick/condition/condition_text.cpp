#include "sablewick/condition/condition_text.hpp"

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/compiled.hpp"

namespace sablewick::condition {

namespace {
// Address that marks a text that does not parse; it fails the same way at
// every check, so the record can remember it.
constexpr char kInvalid = 0;
}  // namespace

Outcome ConditionText::check(const property::PropertyState& state) const {
    if (text_.empty()) return Outcome::True;
    const void* resolved = resolved_.load(std::memory_order_acquire);
    if (resolved == nullptr) {
        auto compiled = cache::resolve(text_);
        resolved = compiled ? static_cast<const void*>(*compiled) : static_cast<const void*>(&kInvalid);
        resolved_.store(resolved, std::memory_order_release);
    }
    if (resolved == &kInvalid) return Outcome::Invalid;
    return static_cast<const CompiledCondition*>(resolved)->evaluate(state) ? Outcome::True : Outcome::False;
}

}  // namespace sablewick::condition
