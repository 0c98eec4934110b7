// The C++ runtime's per-thread exception state, in static thread-local
// storage.
//
// The module carries its own copy of libstdc++ (CMakeLists.txt). The
// library's version of these two functions keeps the state in dynamic
// thread-local storage, which glibc allocates on a thread's first throw and
// ends the process when it cannot: the first std::bad_alloc on a fresh
// thread, just when memory ran out, would do that. Defined here, they keep
// the library's archive member out of the link (a duplicate would fail it),
// and the state is laid out with the thread like every thread_local of the
// module (process/thread_slot.hpp).

#if defined(__arm__)
#error "the ARM EABI unwinder keeps a third field in this state"
#endif

namespace {

// The Itanium C++ ABI's __cxa_eh_globals: the caught exceptions (a stack
// of the runtime's records) and the count of those thrown and not yet caught.
struct ExceptionGlobals {
    void* caught_exceptions = nullptr;
    unsigned int uncaught_exceptions = 0;
};

thread_local ExceptionGlobals exception_globals;

}  // namespace

// Declared here rather than through <cxxabi.h>, whose declarations are
// visible to other objects: the library's code in the module must reach
// these, never those of a shared libstdc++ in the global scope.
extern "C" __attribute__((visibility("hidden"))) void* __cxa_get_globals() noexcept { return &exception_globals; }

extern "C" __attribute__((visibility("hidden"))) void* __cxa_get_globals_fast() noexcept { return &exception_globals; }
