#include "sablewick/condition/cache.hpp"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sablewick/condition/ast.hpp"
#include "sablewick/condition/messages.hpp"
#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/tokenizer.hpp"
#include "sablewick/hashing/keyed_hash.hpp"
#include "sablewick/process/lifecycle.hpp"
#include "sablewick/process/shared_lock.hpp"
#include "sablewick/utf8/utf8.hpp"

namespace sablewick::condition::cache {

namespace {

constexpr std::size_t kInitialSlots = 4096;

// The map points at the entries without owning them: its keys view the
// entries' own texts, so a text is stored once. An entry whose last handle
// is going may still be found here until its destructor takes the lock; a
// look-up then sees it expired and treats it as a miss.
struct Slot {
    const Entry* entry;
    std::weak_ptr<const Entry> weak;
};

struct ConditionCache {
    ConditionCache() { map.reserve(kInitialSlots); }
    process::SharedLock mutex;
    std::unordered_map<std::string_view, Slot, hashing::StringHash, std::equal_to<>> map;
    // Texts the tests' one-off checks keep (testing::keep_for_good): under
    // this lock, whose fork step covers them.
    std::unordered_map<const Entry*, Handle> kept;
};

std::atomic<ConditionCache*> g_created{nullptr};
std::atomic<std::size_t> g_parses{0};

// A fork while another thread holds the lock would leave it held forever in
// the child: the fork waits for the lock, so the map is consistent in the
// child, which starts the lock over (the child's thread has another id, so
// it could not unlock the parent's writer lock). The parent releases only
// what its prepare step took: another thread may create the cache meanwhile.
thread_local ConditionCache* locked_for_fork = nullptr;

void lock_before_fork() {
    locked_for_fork = g_created.load(std::memory_order_acquire);
    if (locked_for_fork) locked_for_fork->mutex.lock();
}
void unlock_in_parent() {
    if (locked_for_fork) locked_for_fork->mutex.unlock();
    locked_for_fork = nullptr;
}
void fresh_lock_in_child() {
    if (ConditionCache* c = g_created.load(std::memory_order_acquire)) c->mutex.reset_after_fork();
    locked_for_fork = nullptr;
}
constexpr process::lifecycle::ForkHandlers kForkStep{&lock_before_fork, &unlock_in_parent, &fresh_lock_in_child};

// Heap-allocated and never destroyed: simulations on background threads may
// still use it while the process exits, and entries held by objects that
// outlive it release themselves into it.
ConditionCache& CONDITION_CACHE() {
    static ConditionCache* cache = [] {
        auto* c = new ConditionCache;
        process::lifecycle::install(process::lifecycle::ForkStep::kConditionCache, kForkStep);
        g_created.store(c, std::memory_order_release);
        return c;
    }();
    return *cache;
}

// Under the lock: the held entry of `text`, or null.
Handle alive(const ConditionCache& cache, std::string_view text) {
    auto it = cache.map.find(text);
    return it == cache.map.end() ? Handle() : it->second.weak.lock();
}

// Texts that parse take the one-pass parser; a text it gives up on takes the
// splitting parser, which either parses it too or gives the failure's
// message.
Result<CompiledCondition> build(std::string_view condition) {
    g_parses.fetch_add(1, std::memory_order_relaxed);
    const std::string_view trimmed = utf8::trim(condition);
    if (trimmed.empty()) return std::unexpected(messages::empty_condition());
    if (auto compiled = CompiledCondition::compile_text(trimmed)) return std::move(*compiled);
    auto tokens = tokenize(trimmed);
    if (!tokens) return std::unexpected(std::move(tokens.error()));
    auto tree = parser::parse_tokens(*tokens);
    if (!tree) return std::unexpected(std::move(tree.error()));
    return CompiledCondition::compile(**tree);
}

}  // namespace

// Runs when the last handle goes, never with the cache's lock held: the
// entry leaves the map unless a newer entry of the same text took its place
// meanwhile. Until then a look-up may still find it, expired.
Entry::~Entry() {
    ConditionCache& cache = CONDITION_CACHE();
    {
        std::unique_lock lock(cache.mutex);
        auto it = cache.map.find(std::string_view(text_));
        if (it != cache.map.end() && it->second.entry == this) cache.map.erase(it);
    }
    delete parsed_.load(std::memory_order_acquire);
}

const Result<CompiledCondition>& Entry::parsed() const {
    if (const auto* done = parsed_.load(std::memory_order_acquire)) return *done;
    // Built outside any lock; of two threads racing here the first answer
    // stays (they are equal), so references handed out remain valid.
    auto made = std::make_unique<const Result<CompiledCondition>>(build(text_));
    const Result<CompiledCondition>* first = nullptr;
    if (parsed_.compare_exchange_strong(first, made.get(), std::memory_order_acq_rel, std::memory_order_acquire)) {
        return *made.release();
    }
    return *first;
}

Handle intern(std::string_view text) {
    ConditionCache& cache = CONDITION_CACHE();
    {
        std::shared_lock lock(cache.mutex);
        if (Handle found = alive(cache, text)) return found;
    }
    // Made outside the lock; dropped after it when another thread's entry
    // of the text won, so its release never runs under the lock.
    Handle made = std::make_shared<Entry>(std::string(text));
    Handle found;
    {
        std::unique_lock lock(cache.mutex);
        auto [it, added] = cache.map.try_emplace(std::string_view(made->text()), Slot{made.get(), made});
        if (!added) {
            found = it->second.weak.lock();
            if (!found) {
                // An expired entry whose destructor has not removed it yet:
                // this one takes its place (the key views the old text).
                cache.map.erase(it);
                cache.map.emplace(std::string_view(made->text()), Slot{made.get(), made});
            }
        }
    }
    return found ? found : made;
}

Result<std::shared_ptr<const CompiledCondition>> resolve(std::string_view condition) {
    Handle entry = intern(condition);
    const Result<CompiledCondition>& parsed = entry->parsed();
    if (!parsed) return std::unexpected(parsed.error());
    return std::shared_ptr<const CompiledCondition>(std::move(entry), &*parsed);
}

// Probes for tests, declared in testing/condition_checks.hpp: they read the
// cache's own state, which nothing outside this file sees.
namespace testing {

bool exists() noexcept { return g_created.load(std::memory_order_acquire) != nullptr; }

std::size_t size() {
    if (!exists()) return 0;
    ConditionCache& cache = CONDITION_CACHE();
    std::shared_lock lock(cache.mutex);
    return cache.map.size();
}

bool contains(std::string_view condition) {
    if (!exists()) return false;
    ConditionCache& cache = CONDITION_CACHE();
    Handle found;
    {
        std::shared_lock lock(cache.mutex);
        found = alive(cache, condition);
    }
    return found && found->has_program();
}

std::size_t parses() noexcept { return g_parses.load(std::memory_order_relaxed); }

void keep_for_good(const Handle& entry) {
    ConditionCache& cache = CONDITION_CACHE();
    std::unique_lock lock(cache.mutex);
    cache.kept.try_emplace(entry.get(), entry);
}

}  // namespace testing

}  // namespace sablewick::condition::cache
