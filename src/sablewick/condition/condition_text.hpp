#pragma once
// A condition text as a record carries it. The text is parsed once per
// process (through the condition cache); the record keeps a handle to the
// parsed form so that a check on the hot path neither hashes nor locks.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace sablewick::property {
class PropertyState;
}

namespace sablewick::condition {

class CompiledCondition;

enum class Outcome : std::uint8_t { False, True, Invalid };

class ConditionText {
public:
    ConditionText() = default;
    explicit ConditionText(std::string text) : text_(std::move(text)) {}
    ConditionText(const ConditionText& other) : text_(other.text_) {}
    ConditionText& operator=(const ConditionText& other) {
        if (this != &other) {
            text_ = other.text_;
            resolved_.store(nullptr, std::memory_order_relaxed);
        }
        return *this;
    }
    ConditionText(ConditionText&& other) noexcept : text_(std::move(other.text_)) {}
    ConditionText& operator=(ConditionText&& other) noexcept {
        text_ = std::move(other.text_);
        resolved_.store(nullptr, std::memory_order_relaxed);
        return *this;
    }

    const std::string& text() const noexcept { return text_; }

    // True, False, or Invalid when the text does not tokenize or parse.
    // Same answer as condition::cache::check_condition on text().
    Outcome check(const property::PropertyState& state) const;

    // The cache's compiled form of a non-empty text (resolved once per
    // record), or null when the text does not parse.
    const CompiledCondition* compiled() const;

private:
    std::string text_;
    // Resolved on first check: the cache's immutable compiled form, or a
    // marker for a text that does not parse.
    mutable std::atomic<const void*> resolved_{nullptr};
};

}  // namespace sablewick::condition
