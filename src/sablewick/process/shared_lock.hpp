#pragma once
// A reader-writer lock (pthread's) that a forked child can start over: for
// state that lives for the whole process, which a fork copies while other
// threads may hold its lock (lifecycle.hpp). Nothing takes one recursively.

#include <pthread.h>

namespace sablewick::process {

// Who goes first while readers hold the lock and a writer waits.
enum class Waiting { kReadersFirst, kWritersFirst };

template <Waiting kWaiting>
class BasicSharedLock {
public:
    BasicSharedLock() noexcept { init(); }
    ~BasicSharedLock() { pthread_rwlock_destroy(&lock_); }
    BasicSharedLock(const BasicSharedLock&) = delete;
    BasicSharedLock& operator=(const BasicSharedLock&) = delete;

    void lock() noexcept { pthread_rwlock_wrlock(&lock_); }
    void unlock() noexcept { pthread_rwlock_unlock(&lock_); }
    void lock_shared() noexcept { pthread_rwlock_rdlock(&lock_); }
    void unlock_shared() noexcept { pthread_rwlock_unlock(&lock_); }

    // Only in a forked child, where the threads that held the lock in the
    // parent are gone (or the forking thread took it before the fork):
    // starts over unlocked. The old state is overwritten, not destroyed:
    // destroying a held lock is undefined, and pthread_rwlock_init (glibc)
    // writes the whole object without reading what was there.
    void reset_after_fork() noexcept { init(); }

private:
    void init() noexcept {
        pthread_rwlockattr_t attributes;
        pthread_rwlockattr_init(&attributes);
        pthread_rwlockattr_setkind_np(&attributes, kWaiting == Waiting::kWritersFirst
                                                       ? PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP
                                                       : PTHREAD_RWLOCK_PREFER_READER_NP);
        pthread_rwlock_init(&lock_, &attributes);
        pthread_rwlockattr_destroy(&attributes);
    }

    pthread_rwlock_t lock_;
};

// New readers pass a waiting writer, as with std::shared_mutex here: for a
// lock held briefly on both sides (the condition cache).
using SharedLock = BasicSharedLock<Waiting::kReadersFirst>;

// A waiting writer holds back the readers that come after it: a reload waits
// for the simulations already running, not for every queued one that starts
// meanwhile (with readers first, a long queue of asynchronous lives could
// keep init_config, and with it the interpreter, waiting).
using WriterFirstLock = BasicSharedLock<Waiting::kWritersFirst>;

}  // namespace sablewick::process
