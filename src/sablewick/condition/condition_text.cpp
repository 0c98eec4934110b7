#include "sablewick/condition/condition_text.hpp"

#include "sablewick/condition/cache.hpp"
#include "sablewick/condition/program.hpp"

namespace sablewick::condition {

namespace {
// Address that marks a text that does not parse.
constexpr char kInvalid = 0;
}  // namespace

ConditionText::ConditionText(std::string_view text) {
    if (text.empty()) return;
    entry_ = cache::intern(text);
    // A text a configuration in force holds was parsed already: taken now,
    // while the entry is at hand, binding does not have to reach it.
    if (const Result<CompiledCondition>* parsed = entry_->parsed_if_done()) {
        resolved_.store(*parsed ? static_cast<const void*>(&**parsed) : static_cast<const void*>(&kInvalid),
                        std::memory_order_relaxed);
    }
}

const std::string& ConditionText::text() const noexcept {
    static const std::string empty;
    return entry_ ? entry_->text() : empty;
}

const CompiledCondition* ConditionText::compiled() const {
    if (!entry_) return nullptr;
    const void* resolved = resolved_.load(std::memory_order_acquire);
    if (resolved == nullptr) {
        const Result<CompiledCondition>& parsed = entry_->parsed();
        resolved = parsed ? static_cast<const void*>(&*parsed) : static_cast<const void*>(&kInvalid);
        resolved_.store(resolved, std::memory_order_release);
    }
    return resolved == &kInvalid ? nullptr : static_cast<const CompiledCondition*>(resolved);
}

}  // namespace sablewick::condition
