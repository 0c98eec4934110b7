#pragma once
// Heap allocations of the benchmark binary, counted by replacing the global
// operator new and delete. Counts are process-wide and relaxed: read them
// around single-threaded work only. The C++ tests link it too, to make
// allocations fail on demand.

#include <cstdint>

namespace sablewick::bench {

struct AllocStats {
    std::uint64_t allocations = 0;  // calls of operator new
    std::uint64_t frees = 0;        // calls of operator delete with a pointer
    std::int64_t live_bytes = 0;    // usable bytes held now
};

AllocStats alloc_stats() noexcept;

// While one is alive, every operator new on the thread that made it fails
// as if the heap were exhausted: the throwing forms throw std::bad_alloc,
// the nothrow forms return null.
class RefuseAllocations {
public:
    RefuseAllocations() noexcept;
    ~RefuseAllocations();
    RefuseAllocations(const RefuseAllocations&) = delete;
    RefuseAllocations& operator=(const RefuseAllocations&) = delete;
};

// Allocations and live-byte change between construction and now.
class AllocScope {
public:
    AllocScope() noexcept : start_(alloc_stats()) {}
    std::uint64_t allocations() const noexcept { return alloc_stats().allocations - start_.allocations; }
    std::int64_t live_bytes() const noexcept { return alloc_stats().live_bytes - start_.live_bytes; }

private:
    AllocStats start_;
};

}  // namespace sablewick::bench
