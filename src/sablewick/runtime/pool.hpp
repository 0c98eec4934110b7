#pragma once
// The background thread pool that asynchronous simulations run on. No Python
// in here: the bridge to asyncio is the module's (src/python/simulate/bridge
// and completer); pool threads never take the interpreter lock.
//
// Threads are raw pthreads (a job that ends its thread with pthread_exit
// leaves the pool intact), started on demand up to the pool's limit; further
// jobs wait in a queue and start in the order they came. The first
// keep-alive-count threads stay for good; the others leave after
// kIdleTimeout without work.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <expected>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace sablewick::runtime::pool {

// Most threads a pool may have; further jobs are queued.
inline constexpr std::size_t kMaxThreads = 512;
// How long a thread beyond the keep-alive count waits for work before it exits.
inline constexpr std::chrono::milliseconds kIdleTimeout{10'000};
// Stack of each pool thread (the size of an interpreter thread's default).
inline constexpr std::size_t kThreadStackBytes = std::size_t{8} << 20;
// Threads started beyond the keep-alive count run at a lower scheduling
// priority (a larger nice value) than the threads that start jobs, so that
// the host's own threads come first; the kept threads run at the starting
// thread's priority, and they are the ones that remain after an idle spell.
inline constexpr int kThreadNiceIncrement = 10;
// Fixed interface texts: the thread name and the variable keep the names of
// the runtime hosts know (tools and settings look for them), and the
// messages below keep that runtime's wording, though no Tokio runs here.
// The kernel keeps the first 15 bytes: "tokio-runtime-w".
inline constexpr const char* kThreadName = "tokio-runtime-worker";
// Names the keep-alive count; read once, when the process pool is created.
inline constexpr const char* kWorkerThreadsVariable = "TOKIO_WORKER_THREADS";

using TaskId = std::uint64_t;

class Job {
public:
    virtual ~Job() = default;
    // Runs on a pool thread. Must not throw: an escaping exception is dropped.
    // May be ended by forced unwinding (pthread_exit); the pool survives it.
    virtual void run(TaskId id) = 0;
};

struct PoolStats {
    std::size_t threads = 0;  // started and not yet exited
    std::size_t idle = 0;     // waiting for work
    std::size_t queued = 0;   // jobs not yet taken by a thread
};

class ThreadPool {
public:
    ThreadPool(std::size_t keep_alive, std::chrono::nanoseconds idle_timeout = kIdleTimeout,
               std::size_t max_threads = kMaxThreads);
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Queues the job and wakes or starts a thread for it. Fails (and hands
    // the job back through `job`) only when no thread exists and none could
    // be started; the error is the OS's description. On std::bad_alloc the
    // job also stays with the caller.
    std::expected<TaskId, std::string> submit(std::unique_ptr<Job>& job);

    PoolStats stats() const;
    // At least `jobs_per_thread` jobs wait in the queue for each thread.
    bool backlogged(std::size_t jobs_per_thread) const;
    std::size_t keep_alive() const noexcept { return keep_alive_; }

private:
    struct Entry {
        TaskId id;
        std::unique_ptr<Job> job;
    };
    static void* kept_thread_main(void* self);
    static void* lowered_thread_main(void* self);
    // `kept`: one of the keep-alive threads, which never leave when idle.
    void work(bool kept);
    // With mutex_ held. Returns 0 or the error number of pthread_create.
    int start_thread();

    const std::size_t keep_alive_;
    const std::chrono::nanoseconds idle_timeout_;
    const std::size_t max_threads_;

    mutable std::mutex mutex_;
    std::condition_variable work_ready_;
    std::deque<Entry> queue_;
    std::size_t threads_ = 0;
    std::size_t kept_ = 0;  // of threads_, the keep-alive ones
    std::size_t idle_ = 0;
    TaskId next_id_ = 1;
};

// Starts a detached thread of the pool's stack size and name running
// entry(argument). 0, or the error number of pthread_create.
int start_named_thread(void* (*entry)(void*), void* argument);
// The runtime's words for a thread that could not be started (fixed):
// "OS can't spawn worker thread: <strerror> (os error N)".
std::string spawn_error_text(int error);

// Keep-alive count from the variable's text: `cpus` when unset, else a
// positive decimal integer (an optional '+', capped at kMaxThreads). Any
// other text is refused with the runtime's own description (fixed), e.g.
// "TOKIO_WORKER_THREADS" must be usize, error: invalid digit found in string, value: 4x
std::expected<std::size_t, std::string> keep_alive_from(const char* value, std::size_t cpus);
// Processors this process may run on (at least 1).
std::size_t available_cpus();

// Most lives the process pool simulates at once: the processors, or the
// keep-alive count when it asks for more, within kMaxThreads. Simulations
// are CPU-bound, so a runnable simulating thread beyond the processors
// finishes nothing sooner and only makes every other thread (the host's
// event loop above all) wait longer for a processor.
std::size_t running_limit(std::size_t keep_alive, std::size_t cpus);

// The process-wide pool, created on first use (never destroyed). `created`
// is set to true for the call that created it. In a child after fork the
// parent's pool is abandoned (its queued jobs dropped without running, its
// state left untouched) and the next call creates a fresh one. Fails, and
// creates nothing, while TOKIO_WORKER_THREADS holds a refused text.
std::expected<ThreadPool*, std::string> process_pool(bool* created = nullptr);
// The process-wide pool if it was created (in this process), else nullptr.
ThreadPool* existing_process_pool() noexcept;

// The runtime's description of a job that ended without a result (fixed):
// `task 17 panicked with message "std::bad_alloc"`, or `task 17 panicked`
// when the failure carries no text.
std::string describe_panic(TaskId id, const std::exception_ptr& failure);

}  // namespace sablewick::runtime::pool
