#include "sablewick/runtime/pool.hpp"

#include <cxxabi.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sablewick/base/debug_text.hpp"
#include "sablewick/process/lifecycle.hpp"

namespace sablewick::runtime::pool {

ThreadPool::ThreadPool(std::size_t keep_alive, std::chrono::nanoseconds idle_timeout, std::size_t max_threads)
    : keep_alive_(keep_alive), idle_timeout_(idle_timeout), max_threads_(std::max<std::size_t>(max_threads, 1)) {}

std::expected<TaskId, std::string> ThreadPool::submit(std::unique_ptr<Job>& job) {
    std::lock_guard lock(mutex_);
    queue_.push_back(Entry{next_id_, nullptr});  // may throw; the job stays with the caller
    const TaskId id = next_id_++;
    queue_.back().job = std::move(job);
    // Every idle thread takes one queued job when it wakes; start a thread
    // for the jobs beyond them.
    if (queue_.size() > idle_ && threads_ < max_threads_) {
        const int error = start_thread();
        if (error != 0 && threads_ == 0) {
            job = std::move(queue_.back().job);
            queue_.pop_back();
            return std::unexpected(spawn_error_text(error));
        }
        // Otherwise a running thread takes the job when it is free.
    }
    if (idle_ > 0) work_ready_.notify_one();
    return id;
}

PoolStats ThreadPool::stats() const {
    std::lock_guard lock(mutex_);
    return PoolStats{threads_, idle_, queue_.size()};
}

bool ThreadPool::backlogged(std::size_t jobs_per_thread) const {
    std::lock_guard lock(mutex_);
    return threads_ > 0 && queue_.size() >= jobs_per_thread * threads_;
}

int start_named_thread(void* (*entry)(void*), void* argument) {
    pthread_attr_t attributes;
    if (int error = pthread_attr_init(&attributes); error != 0) return error;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, kThreadStackBytes);  // keeps the default if refused
    pthread_t thread;
    const int error = pthread_create(&thread, &attributes, entry, argument);
    pthread_attr_destroy(&attributes);
    if (error != 0) return error;
    // Named here, so the name is visible once the caller goes on.
    char name[16] = {};
    std::string_view(kThreadName).copy(name, sizeof name - 1);
    pthread_setname_np(thread, name);
    return 0;
}

// Fixed interface text (pool.hpp).
std::string spawn_error_text(int error) {
    char buffer[256];
    // GNU strerror_r returns the text (maybe not in buffer).
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return "OS can't spawn worker thread: " + std::string(text) + " (os error " + std::to_string(error) + ")";
}

int ThreadPool::start_thread() {
    // Threads beyond the keep-alive count yield to the rest of the process.
    const bool kept = kept_ < keep_alive_;
    const int error = start_named_thread(kept ? &ThreadPool::kept_thread_main : &ThreadPool::lowered_thread_main, this);
    if (error == 0) {
        ++threads_;
        if (kept) ++kept_;
    }
    return error;
}

void* ThreadPool::kept_thread_main(void* self) {
    static_cast<ThreadPool*>(self)->work(true);
    return nullptr;
}

void* ThreadPool::lowered_thread_main(void* self) {
    // Linux keeps a nice value per thread; raising one's own needs no privilege.
    const auto tid = static_cast<id_t>(gettid());
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (errno == 0) setpriority(PRIO_PROCESS, tid, std::min(nice + kThreadNiceIncrement, 19));
    static_cast<ThreadPool*>(self)->work(false);
    return nullptr;
}

// Catching the forced unwind of pthread_exit by reference trips UBSan's null
// check (the unwinder's exception has no object); the catch is still right.
__attribute__((no_sanitize("null"))) void ThreadPool::work(bool kept) {
    // Keeps the counts right when the thread is ended by forced unwinding
    // (pthread_exit from inside a job); a kept thread's place then goes to
    // the next thread started.
    struct Departure {
        ThreadPool& pool;
        bool kept;
        bool counted = false;
        ~Departure() {
            if (!counted) {
                std::lock_guard lock(pool.mutex_);
                --pool.threads_;
                if (kept) --pool.kept_;
            }
        }
    } departure{*this, kept};

    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty()) {
            const auto deadline = std::chrono::steady_clock::now() + idle_timeout_;
            ++idle_;
            bool timed_out = false;
            while (queue_.empty()) {
                if (work_ready_.wait_until(lock, deadline) == std::cv_status::timeout && queue_.empty()) {
                    timed_out = true;
                    break;
                }
            }
            --idle_;
            if (timed_out) {
                // Only the lowered threads leave: whichever threads finish
                // first, the ones that remain run at full priority.
                if (!kept) {
                    --threads_;
                    departure.counted = true;
                    return;
                }
                continue;
            }
        }
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        try {
            entry.job->run(entry.id);
        } catch (abi::__forced_unwind&) {
            throw;  // the thread is being ended; let it go
        } catch (...) {
            // A job's own failures are its business; the thread carries on.
        }
        entry.job.reset();
        lock.lock();
    }
}

// The refusals are fixed interface texts, the runtime's words (pool.hpp).
std::expected<std::size_t, std::string> keep_alive_from(const char* value, std::size_t cpus) {
    if (value == nullptr) return cpus;
    const std::string variable = "\"" + std::string(kWorkerThreadsVariable) + "\"";
    std::string_view text(value);
    const auto refuse = [&](std::string_view error) {
        return std::unexpected(variable + " must be usize, error: " + std::string(error) +
                               ", value: " + std::string(value));
    };
    if (text.empty()) return refuse("cannot parse integer from empty string");
    if (text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return refuse("invalid digit found in string");
    std::uint64_t count = 0;
    bool too_large = false;
    for (char c : text) {
        if (c < '0' || c > '9') return refuse("invalid digit found in string");
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (count > (UINT64_MAX - digit) / 10)
            too_large = true;
        else
            count = count * 10 + digit;
    }
    if (too_large) return refuse("number too large to fit in target type");
    if (count == 0) return std::unexpected(variable + " cannot be set to 0");
    return static_cast<std::size_t>(std::min<std::uint64_t>(count, kMaxThreads));
}

std::size_t available_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        if (int count = CPU_COUNT(&set); count > 0) return static_cast<std::size_t>(count);
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::size_t>(online) : 1;
}

std::size_t running_limit(std::size_t keep_alive, std::size_t cpus) {
    return std::min(std::max(keep_alive, cpus), kMaxThreads);
}

namespace {

std::atomic<ThreadPool*> the_pool{nullptr};
std::atomic<std::mutex*> creation_mutex{new std::mutex};

// The child has one thread and none of the parent's pool threads: abandon
// the parent's pool (its mutex may be held by a thread that is gone).
void forget_pool_in_child() {
    creation_mutex.store(new std::mutex, std::memory_order_relaxed);
    the_pool.store(nullptr, std::memory_order_release);
}
constexpr process::lifecycle::ForkHandlers kForkStep{.child = &forget_pool_in_child};

}  // namespace

std::expected<ThreadPool*, std::string> process_pool(bool* created) {
    if (ThreadPool* pool = the_pool.load(std::memory_order_acquire)) return pool;
    std::lock_guard lock(*creation_mutex.load(std::memory_order_relaxed));
    if (ThreadPool* pool = the_pool.load(std::memory_order_acquire)) return pool;
    process::lifecycle::install(process::lifecycle::ForkStep::kThreadPool, kForkStep);
    const std::size_t cpus = available_cpus();
    auto keep_alive = keep_alive_from(std::getenv(kWorkerThreadsVariable), cpus);
    if (!keep_alive) return std::unexpected(std::move(keep_alive.error()));
    // Never destroyed: its threads may outlive every static.
    auto* pool = new ThreadPool(*keep_alive, kIdleTimeout, running_limit(*keep_alive, cpus));
    the_pool.store(pool, std::memory_order_release);
    if (created) *created = true;
    return pool;
}

ThreadPool* existing_process_pool() noexcept { return the_pool.load(std::memory_order_acquire); }

// Fixed interface text (pool.hpp).
std::string describe_panic(TaskId id, const std::exception_ptr& failure) {
    std::string out = "task " + std::to_string(id) + " panicked";
    if (!failure) return out;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        out += " with message ";
        append_debug_quoted(out, e.what());
    } catch (...) {
    }
    return out;
}

}  // namespace sablewick::runtime::pool
