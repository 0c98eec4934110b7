#pragma once
// A condition text as a record carries it: a handle to the text's entry in
// the condition cache, shared with every other record (of any configuration
// in force) that carries the same text. The text is stored and parsed once
// per entry, and leaves the cache with the last record that carries it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sablewick::property {
class PropertyState;
}

namespace sablewick::condition {

class CompiledCondition;
namespace cache {
class Entry;
}

enum class Outcome : std::uint8_t { False, True, Invalid };

class ConditionText {
public:
    ConditionText() = default;
    // The empty text takes no entry (and never creates the cache).
    explicit ConditionText(std::string_view text);

    const std::string& text() const noexcept;

    // True, False, or Invalid when the text does not tokenize or parse.
    // Same answer as condition::cache::check_condition on text().
    Outcome check(const property::PropertyState& state) const;

    // The compiled form of a non-empty text, valid while this record or
    // another holder of the text lives; null when the text does not parse.
    const CompiledCondition* compiled() const;

private:
    std::shared_ptr<const cache::Entry> entry_;
};

}  // namespace sablewick::condition
