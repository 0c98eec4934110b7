#pragma once
// Per-thread state that a thread may fail to get without ending the process.
//
// The module is loaded with dlopen. glibc makes room for such an object's
// thread_locals lazily, on a thread's first touch, and ends the process
// when that allocation fails; it ends it too when it cannot register the
// destructor of a thread_local object. So every thread_local here is a
// trivially destructible pointer or count, compiled in the initial-exec
// model (CMakeLists.txt): glibc lays those out with the thread's stack, and
// a thread it cannot lay out is one pthread_create refuses to start.
// Anything bigger lives on the heap, reached through a ThreadSlot: a
// failed allocation is a std::bad_alloc, and the object goes with its
// thread through a pthread key.

#include <pthread.h>

#include <cerrno>
#include <memory>
#include <new>
#include <system_error>

namespace sablewick::process {

template <class T>
class ThreadSlot {
public:
    // The calling thread's T, made on its first use. Throws std::bad_alloc
    // when there is no memory for it, or what T's constructor throws.
    static T& get() {
        if (T* held = held_) [[likely]]
            return *held;
        return make();
    }

private:
    static T& make() {
        const pthread_key_t key = release_key();
        auto made = std::make_unique<T>();
        if (pthread_setspecific(key, made.get()) != 0) throw std::bad_alloc();
        held_ = made.release();
        return *held_;
    }

    // Deletes the thread's T when the thread ends.
    static pthread_key_t release_key() {
        static const pthread_key_t key = [] {
            pthread_key_t created;
            if (const int error = pthread_key_create(&created, &release); error != 0) {
                if (error == ENOMEM) throw std::bad_alloc();
                throw std::system_error(error, std::generic_category(), "pthread_key_create");
            }
            return created;
        }();
        return key;
    }

    static void release(void* held) {
        held_ = nullptr;  // a later destructor on this thread makes a fresh one
        delete static_cast<T*>(held);
    }

    static inline thread_local T* held_ = nullptr;
};

}  // namespace sablewick::process
