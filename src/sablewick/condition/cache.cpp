#include "sablewick/condition/cache.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "sablewick/condition/ast.hpp"
#include "sablewick/condition/parser.hpp"
#include "sablewick/condition/tokenizer.hpp"
#include "sablewick/condition/whitespace.hpp"
#include "sablewick/containers.hpp"
#include "sablewick/runtime/lifecycle.hpp"
#include "sablewick/runtime/shared_lock.hpp"

namespace sablewick::condition::cache {

namespace {

constexpr std::size_t kInitialSlots = 4096;

// Only the compiled form is kept: nothing reads a tree once it is compiled.
struct Entry {
    CompiledCondition compiled;
};

struct ConditionCache {
    ConditionCache() { map.reserve(kInitialSlots); }
    runtime::SharedLock mutex;
    StringMap<std::unique_ptr<const Entry>> map;
};

std::atomic<ConditionCache*> g_created{nullptr};

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
constexpr runtime::lifecycle::ForkHandlers kForkStep{&lock_before_fork, &unlock_in_parent, &fresh_lock_in_child};

// Heap-allocated and never destroyed: simulations on background threads may
// still use it while the process exits.
ConditionCache& CONDITION_CACHE() {
    static ConditionCache* cache = [] {
        auto* c = new ConditionCache;
        runtime::lifecycle::install(runtime::lifecycle::ForkStep::kConditionCache, kForkStep);
        g_created.store(c, std::memory_order_release);
        return c;
    }();
    return *cache;
}

const Entry* find(ConditionCache& cache, std::string_view condition) {
    std::shared_lock lock(cache.mutex);
    auto it = cache.map.find(condition);
    return it == cache.map.end() ? nullptr : it->second.get();
}

// Builds an entry outside any lock. Texts that parse take the one-pass
// compiler; a text it gives up on takes the exact road, which either parses
// it too or gives the failure's message.
Result<std::unique_ptr<Entry>> build(std::string_view condition) {
    const std::string_view trimmed = trim(condition);
    if (trimmed.empty()) return std::unexpected(SablewickError::invalid_condition("Empty condition"));
    auto entry = std::make_unique<Entry>();
    if (auto compiled = CompiledCondition::compile_text(trimmed)) {
        if (!*compiled) return std::unexpected(std::move(compiled->error()));
        entry->compiled = std::move(**compiled);
        return entry;
    }
    auto tokens = tokenize(trimmed);
    if (!tokens) return std::unexpected(std::move(tokens.error()));
    auto tree = parser::parse_tokens(*tokens);
    if (!tree) return std::unexpected(std::move(tree.error()));
    entry->compiled = CompiledCondition::compile(**tree);
    return entry;
}

}  // namespace

Result<const CompiledCondition*> resolve(std::string_view condition) {
    ConditionCache& cache = CONDITION_CACHE();
    if (const Entry* hit = find(cache, condition)) return &hit->compiled;
    auto built = build(condition);
    if (!built) return std::unexpected(std::move(built.error()));
    std::unique_lock lock(cache.mutex);
    // Two threads may race on one text; the first entry stays (its program
    // is equal), so pointers handed out before remain valid.
    auto it = cache.map.try_emplace(std::string(condition), std::move(*built)).first;
    return &it->second->compiled;
}

Result<bool> check_condition(std::string_view condition, const property::PropertyState& state) {
    if (condition.empty()) return true;
    auto compiled = resolve(condition);
    if (!compiled) return std::unexpected(std::move(compiled.error()));
    return (*compiled)->evaluate(state);
}

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
    return find(CONDITION_CACHE(), condition) != nullptr;
}

}  // namespace testing

}  // namespace sablewick::condition::cache
