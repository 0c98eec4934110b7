#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "alloc_counter.hpp"
#include "sablewick/process/shared_lock.hpp"
#include "sablewick/runtime/handover_queue.hpp"
#include "sablewick/runtime/pool.hpp"

namespace {

using namespace std::chrono_literals;
namespace pool = sablewick::runtime::pool;

class FunctionJob : public pool::Job {
public:
    explicit FunctionJob(std::function<void(pool::TaskId)> body) : body_(std::move(body)) {}
    void run(pool::TaskId id) override { body_(id); }

private:
    std::function<void(pool::TaskId)> body_;
};

std::unique_ptr<pool::Job> job(std::function<void(pool::TaskId)> body) {
    return std::make_unique<FunctionJob>(std::move(body));
}

// A gate that jobs wait on until the test opens it.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int arrived = 0;
    int finished = 0;

    void pass() {
        std::unique_lock lock(mutex);
        ++arrived;
        changed.notify_all();
        changed.wait(lock, [&] { return open; });
        ++finished;
        changed.notify_all();
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    bool wait_for(int& counter, int value) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return counter >= value; });
    }
};

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

// Pools are never destroyed (idle threads wait on them), so neither are these.
// They stay reachable from here: a pool whose last thread has exited (after
// its idle time, while later tests run) is not a leak.
pool::ThreadPool& leaked_pool(std::size_t keep_alive, std::chrono::nanoseconds idle = 10s,
                              std::size_t max_threads = pool::kMaxThreads) {
    static auto* pools = new std::vector<pool::ThreadPool*>;
    pools->push_back(new pool::ThreadPool(keep_alive, idle, max_threads));
    return *pools->back();
}

void submit(pool::ThreadPool& threads, std::unique_ptr<pool::Job> work) {
    auto submitted = threads.submit(work);
    ASSERT_TRUE(submitted.has_value()) << submitted.error();
}

// Where a job ran: its thread and that thread's nice value.
struct Seat {
    std::atomic<pid_t> tid{0};
    std::atomic<int> nice{0};

    void take() {
        nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        tid = gettid();
    }
    bool taken() const { return tid.load() != 0; }
};

int own_nice() { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); }

TEST(AsyncPool, ThreadsCarryTheRuntimeName) {
    pool::ThreadPool& threads = leaked_pool(1);
    Gate gate;
    std::string name;
    submit(threads, job([&](pool::TaskId) {
               char buffer[32] = {};
               pthread_getname_np(pthread_self(), buffer, sizeof buffer);
               name = buffer;
               gate.pass();
           }));
    gate.release();
    ASSERT_TRUE(gate.wait_for(gate.finished, 1));
    EXPECT_EQ(name, "tokio-runtime-w");
}

TEST(AsyncPool, JobsBeyondTheThreadLimitWaitInTheQueue) {
    pool::ThreadPool& threads = leaked_pool(1, 10s, 2);
    Gate gate;
    for (int i = 0; i < 5; ++i) submit(threads, job([&](pool::TaskId) { gate.pass(); }));
    ASSERT_TRUE(gate.wait_for(gate.arrived, 2));
    pool::PoolStats stats = threads.stats();
    EXPECT_EQ(stats.threads, 2u);
    EXPECT_EQ(stats.queued, 3u);
    EXPECT_TRUE(threads.backlogged(1));
    EXPECT_FALSE(threads.backlogged(2));
    gate.release();
    ASSERT_TRUE(gate.wait_for(gate.finished, 5));
    EXPECT_EQ(threads.stats().threads, 2u);
}

TEST(AsyncPool, TaskIdsCountFromOne) {
    pool::ThreadPool& threads = leaked_pool(1);
    std::unique_ptr<pool::Job> first = job([](pool::TaskId) {});
    std::unique_ptr<pool::Job> second = job([](pool::TaskId) {});
    EXPECT_EQ(threads.submit(first).value(), 1u);
    EXPECT_EQ(threads.submit(second).value(), 2u);
}

TEST(AsyncPool, IdleThreadsBeyondKeepAliveExit) {
    pool::ThreadPool& threads = leaked_pool(1, 50ms, 8);
    Gate gate;
    for (int i = 0; i < 4; ++i) submit(threads, job([&](pool::TaskId) { gate.pass(); }));
    ASSERT_TRUE(gate.wait_for(gate.arrived, 4));
    EXPECT_EQ(threads.stats().threads, 4u);
    gate.release();
    ASSERT_TRUE(eventually([&] { return threads.stats().threads == 1; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(threads.stats().threads, 1u);  // the kept thread stays

    // ...and serves the next job.
    std::atomic<bool> ran{false};
    submit(threads, job([&](pool::TaskId) { ran = true; }));
    EXPECT_TRUE(eventually([&] { return ran.load(); }));
}

TEST(AsyncPool, QueuedJobsStartInTheOrderTheyCame) {
    pool::ThreadPool& threads = leaked_pool(1, 10s, 1);
    Gate gate;
    submit(threads, job([&](pool::TaskId) { gate.pass(); }));
    ASSERT_TRUE(gate.wait_for(gate.arrived, 1));
    std::mutex mutex;
    std::vector<pool::TaskId> started;
    std::vector<pool::TaskId> expected;
    for (int i = 0; i < 50; ++i) {
        submit(threads, job([&](pool::TaskId id) {
                   std::lock_guard lock(mutex);
                   started.push_back(id);
               }));
        expected.push_back(static_cast<pool::TaskId>(i + 2));
    }
    gate.release();
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return started.size() == expected.size();
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(started, expected);
}

// The kept thread finishes first and idles longest; the lowered one is busy
// meanwhile. After the idle timeout the kept thread must be the one left,
// at the priority of the thread that started it.
TEST(AsyncPool, TheThreadLeftAfterAnIdleSpellIsTheKeptOneAtFullPriority) {
    constexpr auto idle = 50ms;
    pool::ThreadPool& threads = leaked_pool(1, idle, 2);
    Gate first, second;
    Seat kept, lowered, later;
    submit(threads, job([&](pool::TaskId) {
               kept.take();
               first.pass();
           }));
    ASSERT_TRUE(first.wait_for(first.arrived, 1));
    submit(threads, job([&](pool::TaskId) {
               lowered.take();
               second.pass();
           }));
    ASSERT_TRUE(second.wait_for(second.arrived, 1));
    const int own = own_nice();
    EXPECT_EQ(kept.nice.load(), own);
    EXPECT_EQ(lowered.nice.load(), std::min(own + pool::kThreadNiceIncrement, 19));

    first.release();
    ASSERT_TRUE(eventually([&] { return threads.stats().idle == 1; }));
    std::this_thread::sleep_for(idle * 10);  // well past the kept thread's timeout
    EXPECT_EQ(threads.stats().threads, 2u);
    second.release();
    ASSERT_TRUE(eventually([&] { return threads.stats().threads == 1; }));

    submit(threads, job([&](pool::TaskId) { later.take(); }));
    ASSERT_TRUE(eventually([&] { return later.taken(); }));
    EXPECT_EQ(later.tid.load(), kept.tid.load());
    EXPECT_EQ(later.nice.load(), own);
}

// A kept thread ended inside a job leaves its place to the next one started.
TEST(AsyncPool, AThreadStartedAfterAKeptOneEndedIsKeptInItsPlace) {
    pool::ThreadPool& threads = leaked_pool(1, 10s, 1);
    submit(threads, job([](pool::TaskId) { pthread_exit(nullptr); }));
    ASSERT_TRUE(eventually([&] { return threads.stats().threads == 0; }));
    Seat next;
    submit(threads, job([&](pool::TaskId) { next.take(); }));
    ASSERT_TRUE(eventually([&] { return next.taken(); }));
    EXPECT_EQ(next.nice.load(), own_nice());
}

TEST(AsyncPool, AThreadEndedByPthreadExitLeavesThePoolWorking) {
    pool::ThreadPool& threads = leaked_pool(0, 10s, 1);
    submit(threads, job([](pool::TaskId) { pthread_exit(nullptr); }));
    ASSERT_TRUE(eventually([&] { return threads.stats().threads == 0; }));
    std::atomic<bool> ran{false};
    submit(threads, job([&](pool::TaskId) { ran = true; }));
    EXPECT_TRUE(eventually([&] { return ran.load(); }));
}

TEST(AsyncPool, AThrowingJobDoesNotEndItsThread) {
    pool::ThreadPool& threads = leaked_pool(1, 10s, 1);
    submit(threads, job([](pool::TaskId) { throw std::runtime_error("boom"); }));
    std::atomic<bool> ran{false};
    submit(threads, job([&](pool::TaskId) { ran = true; }));
    EXPECT_TRUE(eventually([&] { return ran.load(); }));
    EXPECT_EQ(threads.stats().threads, 1u);
}

// The road of a reload between a call and the start of its job: the job
// waits in the queue behind a running one, the reload waits for the running
// one only, and the queued job, once it starts, waits for the reload and
// reads what it stored.
TEST(AsyncPool, AQueuedJobWaitsForAWaitingWriterAndReadsWhatItStored) {
    pool::ThreadPool& threads = leaked_pool(1, 10s, 1);
    sablewick::process::WriterFirstLock lock;
    int stored = 1;  // guarded by `lock`
    Gate running;
    std::atomic<int> seen{0};

    submit(threads, job([&](pool::TaskId) {
               std::shared_lock read(lock);
               running.pass();
           }));
    ASSERT_TRUE(running.wait_for(running.arrived, 1));
    submit(threads, job([&](pool::TaskId) {
               std::shared_lock read(lock);
               seen = stored;
           }));
    std::atomic<bool> writing{false};
    std::thread writer([&] {
        writing = true;
        std::unique_lock write(lock);
        stored = 2;
    });
    ASSERT_TRUE(eventually([&] { return writing.load(); }));
    std::this_thread::sleep_for(50ms);  // the writer is waiting now
    EXPECT_EQ(threads.stats().queued, 1u);
    running.release();
    writer.join();
    ASSERT_TRUE(eventually([&] { return seen.load() != 0; }));
    EXPECT_EQ(seen.load(), 2);
}

namespace completer = sablewick::runtime;

struct Finished {
    int id = 0;
    Finished* next_ready = nullptr;
};

// Hands its item over from a pool thread with the heap exhausted, as a
// finished life is handed to the completion thread.
class HandOverJob final : public pool::Job {
public:
    HandOverJob(completer::HandOverQueue<Finished>& queue, std::unique_ptr<Finished> item, std::atomic<int>& handed)
        : queue_(queue), item_(std::move(item)), handed_(handed) {}
    void run(pool::TaskId) override {
        {
            sablewick::bench::RefuseAllocations refuse;
            queue_.hand_over(std::move(item_));
        }
        ++handed_;
    }

private:
    completer::HandOverQueue<Finished>& queue_;
    std::unique_ptr<Finished> item_;
    std::atomic<int>& handed_;
};

TEST(AsyncPool, AHandOverWithTheHeapExhaustedLosesNothing) {
    pool::ThreadPool& threads = leaked_pool(1, 10s, 1);
    completer::HandOverQueue<Finished> queue;
    std::vector<int> received;
    std::thread completion([&] {
        completer::ReadyList<Finished> batch;
        for (;;) {
            queue.take_all(batch);
            while (std::unique_ptr<Finished> item = batch.pop_front()) {
                if (item->id < 0) return;
                received.push_back(item->id);
            }
        }
    });
    // Several of the blocks a growing queue would allocate.
    constexpr int kItems = 300;
    std::atomic<int> handed{0};
    std::vector<int> expected;
    for (int i = 1; i <= kItems; ++i) {
        submit(threads, std::make_unique<HandOverJob>(queue, std::make_unique<Finished>(i), handed));
        expected.push_back(i);
    }
    const bool all_handed = eventually([&] { return handed.load() == kItems; });
    queue.hand_over(std::make_unique<Finished>(-1));  // ends the completion thread
    completion.join();
    EXPECT_TRUE(all_handed) << handed.load();
    EXPECT_EQ(received, expected);

    // ...and the pool goes on.
    std::atomic<bool> ran{false};
    submit(threads, job([&](pool::TaskId) { ran = true; }));
    EXPECT_TRUE(eventually([&] { return ran.load(); }));
    EXPECT_EQ(threads.stats().threads, 1u);
}

TEST(AsyncPool, KeepAliveCountFromTheEnvironmentText) {
    struct Case {
        const char* text;
        std::size_t expected;  // 0: refused with `error`
        const char* error;
    };
    const char* usize = "\"TOKIO_WORKER_THREADS\" must be usize, error: ";
    const Case cases[] = {
        {nullptr, 6, ""},
        {"4", 4, ""},
        {"+3", 3, ""},
        {"0004", 4, ""},
        {"18446744073709551615", pool::kMaxThreads, ""},
        {"0", 0, "\"TOKIO_WORKER_THREADS\" cannot be set to 0"},
        {"", 0, "cannot parse integer from empty string, value: "},
        {"+", 0, "invalid digit found in string, value: +"},
        {"-1", 0, "invalid digit found in string, value: -1"},
        {" 4", 0, "invalid digit found in string, value:  4"},
        {"1.5", 0, "invalid digit found in string, value: 1.5"},
        {"99999999999999999999999", 0, "number too large to fit in target type, value: 99999999999999999999999"},
    };
    for (const Case& c : cases) {
        const auto got = pool::keep_alive_from(c.text, 6);
        const char* shown = c.text ? c.text : "(unset)";
        if (c.expected != 0) {
            ASSERT_TRUE(got.has_value()) << shown;
            EXPECT_EQ(*got, c.expected) << shown;
        } else {
            ASSERT_FALSE(got.has_value()) << shown;
            const std::string error = c.error;
            EXPECT_EQ(got.error(), error.starts_with('"') ? error : usize + error) << shown;
        }
    }
}

TEST(AsyncPool, PanicDescriptionNamesTheTaskAndQuotesTheMessage) {
    struct Case {
        std::exception_ptr failure;
        std::string expected;
    };
    const Case cases[] = {
        {std::make_exception_ptr(std::bad_alloc()), R"(task 17 panicked with message "std::bad_alloc")"},
        {std::make_exception_ptr(std::runtime_error("say \"hi\"\n\\")),
         R"(task 17 panicked with message "say \"hi\"\n\\")"},
        {std::make_exception_ptr(42), "task 17 panicked"},
        {nullptr, "task 17 panicked"},
    };
    for (const Case& c : cases) EXPECT_EQ(pool::describe_panic(17, c.failure), c.expected);
}

TEST(AsyncPool, AForkedChildGetsAFreshProcessPool) {
    pool::ThreadPool& parent = **pool::process_pool();
    Gate gate;
    submit(parent, job([&](pool::TaskId) { gate.pass(); }));  // busy while forking
    ASSERT_TRUE(gate.wait_for(gate.arrived, 1));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // No thread of the parent's pool exists here; a job must still run.
        pool::ThreadPool& fresh = **pool::process_pool();
        int code = fresh.stats().threads == 0 ? 0 : 10;
        std::atomic<bool> ran{false};
        std::unique_ptr<pool::Job> work = job([&](pool::TaskId) { ran = true; });
        if (!fresh.submit(work)) code = 11;
        for (int i = 0; i < 1000 && !ran; ++i) usleep(5000);
        if (!ran) code = 12;
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    gate.release();
    ASSERT_TRUE(gate.wait_for(gate.finished, 1));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
