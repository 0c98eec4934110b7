#pragma once
// The store's reader-writer lock. A writer that waits holds back readers
// that come after it: a reload waits for the simulations already running,
// not for every queued one that starts meanwhile (libstdc++'s shared_mutex
// lets new readers pass a waiting writer, so a long queue of asynchronous
// lives could keep init_config, and with it the interpreter, waiting).
// Nothing reads recursively: one simulation takes the read lock once.

#include <pthread.h>

namespace sablewick::runtime {

class ConfigLock {
public:
    ConfigLock() noexcept { init(); }
    ~ConfigLock() { pthread_rwlock_destroy(&lock_); }
    ConfigLock(const ConfigLock&) = delete;
    ConfigLock& operator=(const ConfigLock&) = delete;

    void lock() noexcept { pthread_rwlock_wrlock(&lock_); }
    void unlock() noexcept { pthread_rwlock_unlock(&lock_); }
    void lock_shared() noexcept { pthread_rwlock_rdlock(&lock_); }
    void unlock_shared() noexcept { pthread_rwlock_unlock(&lock_); }

    // In a forked child, where the threads that held it in the parent are
    // gone: starts over unlocked (the old state is abandoned, not destroyed).
    void reset_after_fork() noexcept { init(); }

private:
    void init() noexcept {
        pthread_rwlockattr_t attributes;
        pthread_rwlockattr_init(&attributes);
        pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
        pthread_rwlock_init(&lock_, &attributes);
        pthread_rwlockattr_destroy(&attributes);
    }

    pthread_rwlock_t lock_;
};

}  // namespace sablewick::runtime
