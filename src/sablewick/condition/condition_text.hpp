#pragma once
// A condition text as a record carries it: a handle to the text's entry in
// the condition cache, shared with every other record (of any configuration
// in force) that carries the same text. The text is stored and parsed once
// per entry, and leaves the cache with the last record that carries it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace sablewick::condition {

class CompiledCondition;
namespace cache {
class Entry;
}

class ConditionText {
public:
    ConditionText() = default;
    // The empty text takes no entry (and never creates the cache).
    explicit ConditionText(std::string_view text);
    ConditionText(const ConditionText& other) : entry_(other.entry_), resolved_(other.resolved()) {}
    ConditionText& operator=(const ConditionText& other) {
        entry_ = other.entry_;
        resolved_.store(other.resolved(), std::memory_order_relaxed);
        return *this;
    }
    ConditionText(ConditionText&& other) noexcept : entry_(std::move(other.entry_)), resolved_(other.resolved()) {}
    ConditionText& operator=(ConditionText&& other) noexcept {
        entry_ = std::move(other.entry_);
        resolved_.store(other.resolved(), std::memory_order_relaxed);
        return *this;
    }

    const std::string& text() const noexcept;
    bool empty() const noexcept { return !entry_; }

    // The compiled form of a non-empty text, valid while this record or
    // another holder of the text lives; null when the text does not parse.
    const CompiledCondition* compiled() const;

private:
    const void* resolved() const noexcept { return resolved_.load(std::memory_order_acquire); }

    std::shared_ptr<const cache::Entry> entry_;
    // The entry's compiled form (or a marker for a text that does not
    // parse) once asked for, kept here so that binding a configuration
    // reads the record alone.
    mutable std::atomic<const void*> resolved_{nullptr};
};

}  // namespace sablewick::condition
