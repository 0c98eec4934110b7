#pragma once
// The process-wide cache CONDITION_CACHE of condition texts: each distinct
// text is held once, by whatever uses it (the records of the configurations
// in force), and parsed once, on first use; when its last holder lets go,
// the text and its program leave the cache. A text that does not parse keeps
// its failure the same way, so it is not parsed again while it is held.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "sablewick/base/error.hpp"
#include "sablewick/condition/program.hpp"

namespace sablewick::condition::cache {

// One text and, once asked for, its parsed form or the failure.
class Entry {
public:
    explicit Entry(std::string text) : text_(std::move(text)) {}
    ~Entry();
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    const std::string& text() const noexcept { return text_; }
    // The text trimmed, tokenized, parsed and compiled on the first call;
    // that answer stays (two threads that race on the first call may both
    // parse, and the first answer stays).
    const Result<CompiledCondition>& parsed() const;
    // The parsed form if the text was parsed already, else null.
    const Result<CompiledCondition>* parsed_if_done() const noexcept { return parsed_.load(std::memory_order_acquire); }
    // Whether the text was parsed already and holds a program.
    bool has_program() const noexcept {
        const auto* done = parsed_if_done();
        return done && done->has_value();
    }

private:
    std::string text_;
    mutable std::atomic<const Result<CompiledCondition>*> parsed_{nullptr};
};

// Shared ownership of an entry: the cache keeps no entry alive by itself.
using Handle = std::shared_ptr<const Entry>;

// The entry of `text` exactly as passed (untrimmed key), shared with every
// other holder of that text; made, unparsed, on a miss.
Handle intern(std::string_view text);

// The cache's compiled form of a text, or its failure; the program stays
// valid while the returned pointer (or another holder of the text) lives.
Result<std::shared_ptr<const CompiledCondition>> resolve(std::string_view condition);

}  // namespace sablewick::condition::cache
